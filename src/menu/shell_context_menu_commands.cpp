// The context menu's commands (InvokeCommand) and their verbs and help texts (GetCommandString).
#include "menu/shell_context_menu.h"

#include <shlwapi.h>

#include <algorithm>
#include <iterator>
#include <optional>

#include "base/text.h"
#include "ipc/main_window.h"
#include "ipc/records.h"

namespace quillan {

namespace {

constexpr HRESULT kInsufficientBuffer = HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);  // 0x8007007A
// The bounded copy refuses sizes that do not fit a signed 32-bit count.
constexpr UINT kMaxCopyChars = 0x7FFFFFFF;

// Verbs in the order they are matched: the first equal one wins.
constexpr MenuItemKey kVerbOrder[] = {
    CShellContextMenu::ItemRoot,       CShellContextMenu::ItemUploadFirst, CShellContextMenu::ItemShare,
    CShellContextMenu::ItemHistory,    CShellContextMenu::ItemWebVersion,  CShellContextMenu::ItemRecycleBin,
    CShellContextMenu::ItemSyncTo};

// Equal when the texts differ at most in the case of A-Z; no allocation.
bool SameVerb(const wchar_t* a, const wchar_t* b) noexcept {
  for (; *a && *b; ++a, ++b) {
    if (LowerAZ(*a) != LowerAZ(*b)) return false;
  }
  return *a == *b;
}

// Copies at most cchMax - 1 characters and a zero; the text is cut when it does not fit.
template <typename Char>
HRESULT BoundedCopy(Char* out, UINT cchMax, const Char* text, size_t length) {
  if (cchMax == 0 || cchMax > kMaxCopyChars) {
    if (cchMax > kMaxCopyChars && out) out[0] = 0;
    return E_INVALIDARG;
  }
  if (!out) return E_INVALIDARG;
  const size_t copied = std::min<size_t>(length, cchMax - 1);
  std::copy(text, text + copied, out);
  out[copied] = 0;
  return copied < length ? kInsufficientBuffer : S_OK;
}

}  // namespace

// ---- InvokeCommand

HRESULT STDMETHODCALLTYPE CShellContextMenu::InvokeCommand(CMINVOKECOMMANDINFO* pici) {
  if (!pici) return E_INVALIDARG;
  MenuItemKey key = 0;
  const ULONG_PTR verb = reinterpret_cast<ULONG_PTR>(pici->lpVerb);
  if ((verb >> 16) == 0) {
    const auto command = commandTable.find(static_cast<uint32_t>(verb & 0xFFFF));
    if (command == commandTable.end()) return E_INVALIDARG;
    key = command->second;
  } else {
    // No verb is longer than this; a text that does not convert into it matches none of them.
    wchar_t wide[32];
    const int chars = ::MultiByteToWideChar(CP_ACP, 0, pici->lpVerb, -1, wide, ARRAYSIZE(wide));
    if (chars <= 0) return E_INVALIDARG;
    const auto match = std::find_if(std::begin(kVerbOrder), std::end(kVerbOrder),
                                    [&](MenuItemKey k) { return SameVerb(wide, Label(k)); });
    if (match == std::end(kVerbOrder)) return E_INVALIDARG;
    key = *match;
  }
  return RunCommand(key);
}

HRESULT CShellContextMenu::RunCommand(MenuItemKey key) const {
  switch (key) {
    case ItemRoot:
      return S_OK;  // the submenu's parent does nothing

    case ItemShare:
    case ItemSyncTo:
    case ItemUploadFirst: {
      if (selectedPaths.empty()) return E_FAIL;
      if (!FindMainWindow()) return S_OK;  // the application went away since the menu was built
      std::optional<Record> record;
      try {
        record = key == ItemShare ? BuildShareRecord(ownerWindow, selectedPaths)
                                  : BuildPathListRecord(key == ItemSyncTo ? to_main::kSyncTo : to_main::kUploadFirst,
                                                        selectedPaths);
      } catch (...) {
        return S_OK;  // out of memory: nothing is sent
      }
      // The outcome is not reported: a busy application is no fault of the command.
      if (record) SendToMainWindow(*record);
      return S_OK;
    }

    case ItemHistory: {
      if (selectedPaths.empty() || !FindMainWindow()) return E_FAIL;
      std::optional<Record> record;
      try {
        record = BuildHistoryRecord(selectedPaths.front());
      } catch (...) {
        return S_OK;  // out of memory: nothing is sent
      }
      if (!record || SendToMainWindow(*record)) return S_OK;
      DWORD error = ::GetLastError();
      if (error == 0) error = ERROR_TIMEOUT;
      return static_cast<HRESULT>(0x80070000u | (error & 0xFFFFu));
    }

    case ItemWebVersion:
    case ItemRecycleBin:
      if (!FindMainWindow()) return E_FAIL;
      // The outcome is not reported: the application shows the page or not.
      SendToMainWindow(BuildEmptyRecord(key == ItemWebVersion ? to_main::kWebVersion : to_main::kRecycleBin));
      return S_OK;

    default:
      return E_INVALIDARG;
  }
}

// ---- GetCommandString

HRESULT STDMETHODCALLTYPE CShellContextMenu::GetCommandString(UINT_PTR idCmd, UINT uType, UINT* /*pReserved*/,
                                                              CHAR* pszName, UINT cchMax) {
  if (idCmd > 0xFFFFFFFFu) return E_INVALIDARG;
  const auto command = commandTable.find(static_cast<uint32_t>(idCmd));
  if (command == commandTable.end()) return E_INVALIDARG;
  const auto item = itemTable.find(command->second);
  if (item == itemTable.end()) return E_INVALIDARG;
  const std::wstring& label = item->second.label;

  switch (uType) {
    case GCS_VERBW:
    case GCS_HELPTEXTW:
      return BoundedCopy(reinterpret_cast<wchar_t*>(pszName), cchMax, label.c_str(), label.size());
    case GCS_VERBA:
    case GCS_HELPTEXTA: {
      // Labels are a few characters: a fixed buffer spares an allocation.
      char ansi[64];
      const int bytes = ::WideCharToMultiByte(CP_ACP, 0, label.c_str(), static_cast<int>(label.size()), ansi,
                                              sizeof ansi, nullptr, nullptr);
      if (bytes <= 0) {
        if (pszName && cchMax > 0 && cchMax <= kMaxCopyChars) pszName[0] = '\0';
        return E_FAIL;
      }
      return BoundedCopy(pszName, cchMax, ansi, static_cast<size_t>(bytes));
    }
    default:
      return E_INVALIDARG;  // the validate requests included
  }
}

}  // namespace quillan
