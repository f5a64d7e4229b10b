#include "ui/top_band.h"

#include <shlwapi.h>

#include "base/module.h"
#include "base/text.h"
#include "ipc/main_window.h"
#include "ipc/pipe_client.h"
#include "ipc/records.h"
#include "ui/images.h"
#include "ui/dpi_scale.h"
#include "ui/system_version.h"

namespace quillan {
namespace {

const int kAvatarSize = 30;
const int kStatusIconSize = 14;
const int kNameChars = 13;
const UINT kSizeOnly = SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE;
const UINT kMoveAndShow = SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW;
const UINT kRaise = SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_SHOWWINDOW;

HFONT CreateNameFont() {
  LOGFONTW font = {};
  WindowDc screen(nullptr);
  const int dpi = screen ? ::GetDeviceCaps(screen.get(), LOGPIXELSY) : 96;
  font.lfHeight = -::MulDiv(10, dpi, 72);
  font.lfWeight = FW_BOLD;
  // "微软雅黑" where the system has it (Vista and later), Tahoma before.
  lstrcpynW(font.lfFaceName, IsVistaOrLater() ? L"\x5FAE\x8F6F\x96C5\x9ED1" : L"Tahoma", LF_FACESIZE);
  return ::CreateFontIndirectW(&font);
}

HBITMAP LoadBitmapResource(UINT id) {
  return static_cast<HBITMAP>(
      ::LoadImageW(ThisModule(), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
}

std::wstring LoadResourceString(UINT id) {
  const wchar_t* text = nullptr;
  int length = ::LoadStringW(ThisModule(), id, reinterpret_cast<LPWSTR>(&text), 0);
  return length > 0 && text ? std::wstring(text, static_cast<size_t>(length)) : std::wstring();
}

// The name as the bar shows it: nickname or else user name, cut before the first '@', compacted
// to at most 13 characters, put into the name format ("%s  ").
std::wstring DisplayName(const std::wstring& nickname, const std::wstring& userName) {
  std::wstring name = nickname.empty() ? userName : nickname;
  size_t at = name.find(L'@');
  if (at != std::wstring::npos) name.resize(at);
  wchar_t compact[kNameChars + 1] = {};
  if (!::PathCompactPathExW(compact, name.c_str(), kNameChars + 1, 0)) {
    // Should the platform refuse, a plain cut keeps the promise of 13 characters.
    lstrcpynW(compact, name.c_str(), kNameChars + 1);
  }
  std::wstring format = LoadResourceString(IDS_NAME_FORMAT);
  size_t slot = format.find(L"%s");
  if (slot == std::wstring::npos) return compact;
  // Substituted rather than printf-formatted: the name is data, never a format.
  return format.substr(0, slot) + compact + format.substr(slot + 2);
}

bool IsLegacyBarModule(HWND window) {
  auto instance = reinterpret_cast<HMODULE>(::GetWindowLongPtrW(window, GWLP_HINSTANCE));
  const std::wstring path = ModuleFileName(instance, 520);
  if (path.empty()) return false;
  const std::wstring name = ::PathFindFileNameW(path.c_str());
  return EqualsNoCaseAZ(name, L"VelQuillanBar.dll") || EqualsNoCaseAZ(name, L"VelQuillanBar64.dll");
}

struct LegacySearch {
  HWND band;
  HWND parent;
  HWND found;
};

BOOL CALLBACK FindLegacyBar(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<LegacySearch*>(param);
  if (window != search->band && ::GetParent(window) == search->parent && IsLegacyBarModule(window) &&
      ::IsWindowVisible(window)) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

// The application's window belongs to another thread: showing or hiding it synchronously would wait
// for that thread, however long it does not answer.
void ShowChild(HWND window, int command) {
  if (::GetWindowThreadProcessId(window, nullptr) == ::GetCurrentThreadId()) {
    ::ShowWindow(window, command);
  } else {
    ::ShowWindowAsync(window, command);
  }
}

}  // namespace

CTopBand::CTopBand()
    : background_(LoadBitmapResource(IDB_BAND_BACKGROUND)),
      avatarPlaceholder_(LoadBitmapResource(IDB_AVATAR_PLACEHOLDER)),
      statusBitmap_(LoadStatusBitmap()),
      nameFont_(CreateNameFont()) {}

CTopBand::~CTopBand() {
  // While the object is whole, so that WM_DESTROY runs this class's handler.
  if (IsWindow()) ::DestroyWindow(m_hWnd);
}

void CTopBand::ResetIfDestroyed() {
  if (m_hWnd && ::IsWindow(m_hWnd)) return;
  ForgetIfDestroyed();
  avatar_.ForgetIfDestroyed();
  name_.ForgetIfDestroyed();
  statusIcon_.ForgetIfDestroyed();
  message_.ForgetIfDestroyed();
  loginLink_.ForgetIfDestroyed();
  externalWindow_ = nullptr;
}

void CTopBand::SetAvatar(const std::wstring& path) {
  avatarPath_ = path;
  if (!avatar_.IsWindow()) return;
  avatar_.SetBackgroundBitmap(avatarPlaceholder_.get());
  if (!path.empty() && ::PathFileExistsW(path.c_str())) {
    RECT noMargins = {0, 0, 0, 0};
    avatar_.SetPictureSource(path, &noMargins);
  } else {
    // Drops a picture loaded for an earlier path.
    avatar_.SetPictureSource(std::wstring(), nullptr);
  }
}

void CTopBand::SetAccountInfo(const std::wstring& userName, const std::wstring& nickname,
                              const std::wstring& enterpriseName, const std::wstring& userId,
                              const std::wstring& enterpriseId, bool loggedIn, bool relayout) {
  userName_ = userName;
  nickname_ = nickname;
  enterpriseName_ = enterpriseName;  // kept for the application; no control shows it
  userId_ = userId;
  enterpriseId_ = enterpriseId;
  loggedIn_ = loggedIn;

  if (loggedIn_) {
    ShowOwnControls(false);
  } else if (IsWindow()) {
    ::KillTimer(m_hWnd, kLegacyBarTimer);  // fails harmlessly when it was not running
  }

  if (!name_.IsWindow() || !message_.IsWindow()) return;
  name_.SetText(DisplayName(nickname_, userName_));
  name_.SetTextColor(kNameColor);
  message_.SetText(loggedIn_ ? std::wstring() : LoadResourceString(IDS_LOGIN_PROMPT));
  message_.SetTextColor(kMessageColor);
  for (CStaticEx* control : {&name_, &message_}) {
    SIZE size = {};
    // An empty or unmeasurable text keeps the control's previous size.
    if (control->MeasureText(&size) && size.cx != 0 && size.cy != 0) {
      ::SetWindowPos(control->m_hWnd, nullptr, 0, 0, size.cx, size.cy, kSizeOnly);
    }
  }
  if (relayout) {
    SIZE client = ClientSize();
    LayoutControls(client.cx, client.cy);
  }
}

void CTopBand::AttachExternalWindow(HWND window) {
  // A handle that names no window detaches, like none.
  if (window && ::IsWindow(window)) {
    if (externalWindow_ && externalWindow_ != window && ::IsWindow(externalWindow_)) {
      ShowChild(externalWindow_, SW_HIDE);
    }
    externalWindow_ = window;
    ShowChild(window, SW_SHOW);
    if (loggedIn_) {
      RaiseAboveLegacyBar();
      if (IsWindow()) ::SetTimer(m_hWnd, kLegacyBarTimer, kLegacyBarPeriodMs, nullptr);
    }
    ShowOwnControls(false);
  } else {
    if (IsWindow()) ::KillTimer(m_hWnd, kLegacyBarTimer);
    ShowOwnControls(!loggedIn_);
    if (externalWindow_ && ::IsWindow(externalWindow_)) ShowChild(externalWindow_, SW_HIDE);
    externalWindow_ = nullptr;
    if (loggedIn_ && IsWindow()) ::ShowWindow(m_hWnd, SW_HIDE);
  }
  SIZE client = ClientSize();
  LayoutControls(client.cx, client.cy);
}

bool CTopBand::CheckExternalWindow() {
  if (externalWindow_ && m_hWnd && ::IsWindow(externalWindow_) && ::GetParent(externalWindow_) == m_hWnd) {
    return true;
  }
  if (externalWindow_) AttachExternalWindow(nullptr);
  return false;
}

void CTopBand::LayoutControls(int cx, int cy) {
  if (externalWindow_ && ::IsWindow(externalWindow_)) {
    SendBarSize(cx, cy);
    return;
  }
  if (loggedIn_) {
    ShowOwnControls(false);
    return;
  }
  if (!AllControlsExist()) return;

  const float s = DpiScale::Scale();
  RECT r = ChildRect(avatar_.m_hWnd);
  int avatarW = r.right - r.left;
  int avatarX = static_cast<int>(4.0f * s);
  ::SetWindowPos(avatar_.m_hWnd, nullptr, avatarX, (cy - (r.bottom - r.top)) / 2, 0, 0, kMoveAndShow);

  r = ChildRect(name_.m_hWnd);
  int nameX = static_cast<int>(8.0f * s + static_cast<float>(avatarW) + static_cast<float>(avatarX));
  int nameY = static_cast<int>(s + static_cast<float>((cy - (r.bottom - r.top)) / 2));
  ::SetWindowPos(name_.m_hWnd, nullptr, nameX, nameY, 0, 0, kMoveAndShow);

  r = ChildRect(statusIcon_.m_hWnd);
  int iconW = r.right - r.left;
  int iconX = static_cast<int>(165.0f * s);
  ::SetWindowPos(statusIcon_.m_hWnd, nullptr, iconX, (cy - (r.bottom - r.top)) / 2, 0, 0, kMoveAndShow);

  r = ChildRect(message_.m_hWnd);
  int messageW = r.right - r.left;
  int messageX = static_cast<int>(8.0f * s + static_cast<float>(iconW) + static_cast<float>(iconX));
  ::SetWindowPos(message_.m_hWnd, nullptr, messageX, (cy - (r.bottom - r.top)) / 2, 0, 0, kMoveAndShow);

  r = ChildRect(loginLink_.m_hWnd);
  int linkX = static_cast<int>(7.0f * s + static_cast<float>(messageW) + static_cast<float>(messageX));
  ::SetWindowPos(loginLink_.m_hWnd, nullptr, linkX, (cy - (r.bottom - r.top)) / 2, 0, 0, kMoveAndShow);

  MarkDirty();
  ::InvalidateRect(m_hWnd, nullptr, FALSE);
}

void CTopBand::RaiseAboveLegacyBar() {
  if (!loggedIn_ || !IsWindow()) return;
  if (!IsLegacyUiActive()) return;
  HWND parent = ::GetParent(m_hWnd);
  if (!parent) return;
  LegacySearch search = {m_hWnd, parent, nullptr};
  ::EnumChildWindows(parent, FindLegacyBar, reinterpret_cast<LPARAM>(&search));
  if (search.found) ::SetWindowPos(m_hWnd, HWND_TOP, 0, 0, 0, 0, kRaise);
}

BOOL CTopBand::ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  switch (message) {
    case WM_INITDIALOG:
      OnInitDialog();
      result = FALSE;  // the bar takes no focus
      return TRUE;
    case WM_DESTROY:
      OnDestroy();
      result = 0;
      return TRUE;
    case WM_TIMER:
      if (wParam != kLegacyBarTimer) break;
      RaiseAboveLegacyBar();
      result = 0;
      return TRUE;
    case WM_SIZE:
      LayoutControls(static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)));
      result = 0;
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) != IDC_LOGIN_LINK) break;
      if (hostWindow_ && ::IsWindow(hostWindow_)) {
        ::SendMessageW(hostWindow_, WM_BAND_LOGIN, 0, reinterpret_cast<LPARAM>(m_hWnd));
      }
      result = 0;
      return TRUE;
    default:
      break;
  }
  if (CCtlColored<CTopBand, 255>::ProcessWindowMessage(window, message, wParam, lParam, result)) return TRUE;
  return CWindowImplEx<CTopBand>::ProcessWindowMessage(window, message, wParam, lParam, result);
}

void CTopBand::OnFinalMessage(HWND) { ForgetBorrowedFont(); }

void CTopBand::OnInitDialog() {
  LONG_PTR exStyle = ::GetWindowLongPtrW(m_hWnd, GWL_EXSTYLE);
  if (exStyle & WS_EX_LAYOUTRTL) ::SetWindowLongPtrW(m_hWnd, GWL_EXSTYLE, exStyle & ~WS_EX_LAYOUTRTL);

  if (!avatar_.m_hWnd) avatar_.SubclassWindow(::GetDlgItem(m_hWnd, IDC_AVATAR));
  if (!name_.m_hWnd) name_.SubclassWindow(::GetDlgItem(m_hWnd, IDC_NAME));
  if (!message_.m_hWnd) message_.SubclassWindow(::GetDlgItem(m_hWnd, IDC_MESSAGE));
  if (!statusIcon_.m_hWnd) statusIcon_.SubclassWindow(::GetDlgItem(m_hWnd, IDC_STATUS_ICON));
  if (!loginLink_.m_hWnd && loginLink_.SubclassWindow(::GetDlgItem(m_hWnd, IDC_LOGIN_LINK))) {
    loginLink_.Init();
    loginLink_.SetLinkColors(CHyperLinkEx::kBandLinkColor, CHyperLinkEx::kBandLinkColor, CHyperLinkEx::kBandHoverColor,
                             CHyperLinkEx::kBandHoverColor);
  }

  SetBackgroundBitmap(background_.get(), DpiScale::Scaled(kLeftSegment));

  if (avatar_.IsWindow()) {
    DpiScale::ScaledPlace(avatar_.m_hWnd, nullptr, 0, 0, kAvatarSize, kAvatarSize, kSizeOnly);
  }
  if (statusIcon_.IsWindow()) {
    DpiScale::ScaledPlace(statusIcon_.m_hWnd, nullptr, 0, 0, kStatusIconSize, kStatusIconSize, kSizeOnly);
  }

  BITMAP icon = {};
  if (statusBitmap_ && ::GetObjectW(statusBitmap_.get(), sizeof(icon), &icon) != sizeof(icon)) icon = BITMAP{};
  statusIcon_.SetAlphaIcon(true);
  statusIcon_.SetIconBitmap(statusBitmap_.get(), icon.bmWidth, icon.bmHeight, 0, 0);

  name_.SetFont(nameFont_.get());
}

void CTopBand::PrepareToClose() {
  if (closing_) return;
  if (IsWindow()) {
    ::KillTimer(m_hWnd, kLegacyBarTimer);  // fails harmlessly when it was not running
    if (externalWindow_ && ::IsWindow(externalWindow_)) SendBarClosing();
  }
  closing_ = true;
  hostWindow_ = nullptr;
}

void CTopBand::OnDestroy() {
  ::KillTimer(m_hWnd, kLegacyBarTimer);  // fails harmlessly when it was not running
  if (!closing_ && externalWindow_ && ::IsWindow(externalWindow_)) SendBarClosing();
  userName_.clear();
  nickname_.clear();
  enterpriseName_.clear();
  avatarPath_.clear();
  externalWindow_ = nullptr;
}

void CTopBand::SendBarSize(int cx, int cy) {
  if (closing_ || !FindMainWindow()) return;
  // Dropped when the application does not answer in time: the next layout sends it again.
  SendToMainWindow(BuildBarSizeRecord(userId_, enterpriseId_, externalWindow_, cx, cy));
}

void CTopBand::SendBarClosing() {
  if (!FindMainWindow() || !hostWindow_ || !::IsWindow(hostWindow_) || !IsWindow()) return;
  // Nothing to do when it fails: the bar is going either way.
  SendToMainWindow(BuildBarClosingRecord(hostWindow_, m_hWnd, externalWindow_));
}

bool CTopBand::AllControlsExist() const {
  return avatar_.IsWindow() && name_.IsWindow() && statusIcon_.IsWindow() && message_.IsWindow() &&
         loginLink_.IsWindow();
}

void CTopBand::ShowOwnControls(bool show) {
  for (CWindowImplBase* control :
       std::initializer_list<CWindowImplBase*>{&avatar_, &name_, &statusIcon_, &message_, &loginLink_}) {
    if (control->IsWindow()) ::ShowWindow(control->m_hWnd, show ? SW_SHOW : SW_HIDE);
  }
}

RECT CTopBand::ChildRect(HWND child) const {
  RECT rect = {};
  ::GetWindowRect(child, &rect);
  ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

SIZE CTopBand::ClientSize() const {
  RECT client = {};
  if (!m_hWnd || !::GetClientRect(m_hWnd, &client)) return SIZE{0, 0};
  return SIZE{client.right, client.bottom};
}

}  // namespace quillan
