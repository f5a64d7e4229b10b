#include "explorer/selection_reporter.h"

#include <shellapi.h>
#include <shlwapi.h>

#include <algorithm>
#include <climits>

#include "base/com_ptr.h"
#include "base/shell_drop.h"
#include "ipc/main_window.h"

namespace quillan {

namespace {

// A check that was posted but never arrived (its window went away) does not block the next forever.
constexpr DWORD kStalePostMs = 2000;

bool Failed(SendOutcome outcome) { return outcome != SendOutcome::kDelivered && outcome != SendOutcome::kNoWindow; }

}  // namespace

int32_t SelectionReporter::processKind = 0;

int QuerySelection(IShellBrowser* browser, std::vector<std::wstring>* paths) {
  if (paths) paths->clear();
  if (!browser) return 0;
  ComPtr<IShellView> view;
  if (FAILED(browser->QueryActiveShellView(view.Put())) || !view) return 0;
  ComPtr<IDataObject> data;
  // Explorer has no data object for an empty selection.
  if (FAILED(view->GetItemObject(SVGIO_SELECTION, IID_IDataObject, data.PutVoid())) || !data) return 0;
  LockedDrop drop(data.Get());
  std::vector<std::wstring> found;
  if (!DropListPaths(drop.get(), &found)) return 0;  // no list, or no memory for it: no selection
  const int count = static_cast<int>(std::min<size_t>(found.size(), INT_MAX));
  if (paths) *paths = std::move(found);
  return count;
}

void SelectionReporter::Post(HWND host) {
  if (posted_ && ::GetTickCount() - postedTick_ < kStalePostMs) return;
  // A full queue only loses this check; the next input brings another.
  posted_ = host && ::IsWindow(host) && ::PostMessageW(host, WM_HOST_CHECKSELECTION, 0, 0);
  postedTick_ = ::GetTickCount();
}

void SelectionReporter::Reset() {
  lastCount_ = -1;
  reported_ = false;
  checked_ = false;
}

void SelectionReporter::Check(const Context& context) {
  posted_ = false;
  std::vector<std::wstring> paths;
  const int count = QuerySelection(context.browser, &paths);
  int32_t kind = kSelectionItems;
  if (paths.empty()) {
    kind = kSelectionNone;
  } else if (paths.size() == 1 && !::PathIsDirectoryW(paths[0].c_str())) {
    kind = kSelectionOneFile;
  }
  if (context.list.IsSelectionExcluded(paths)) kind &= ~kSelectionFlagBit;

  const bool changed = !reported_ || paths != paths_ || kind != processKind;
  paths_ = std::move(paths);
  HWND main = context.frame ? FindMainWindow() : nullptr;
  // Sends happen only towards an application that runs, for a window that has a frame.
  bool failed = false;
  if (changed && main) {
    if (kind & kSelectionFlagBit) {
      failed = Failed(SendToMain(main, BuildSelectionFlagRecord(true)));
    } else if (processKind & kSelectionFlagBit) {
      failed = Failed(SendToMain(main, BuildSelectionFlagRecord(false)));
    }
  }
  processKind = kind;

  if (count != lastCount_) {
    const bool due = lastCount_ == -1 || (count != 0) != (lastCount_ != 0);
    if (due && main) {
      // After one send that the application did not take, a second would only wait again: the
      // count stays unreported for the next check.
      if (!failed) {
        failed = Failed(SendToMain(main, BuildSelectionStateRecord(context.userId, context.enterpriseId,
                                                                   context.frame, static_cast<uint32_t>(count))));
      }
      if (!failed) lastCount_ = count;
    } else {
      lastCount_ = count;
    }
  }
  reported_ = !failed;
  checked_ = true;
}

}  // namespace quillan
