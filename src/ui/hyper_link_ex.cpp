#include "ui/hyper_link_ex.h"

#include <commctrl.h>
#include <shellapi.h>

#include <cwchar>

#include "base/module.h"
#include "base/text.h"

namespace quillan {
namespace {

const UINT_PTR kToolId = 1;

// Static types that show no text: icons, rectangles, frames, owner-drawn, bitmaps, metafiles.
bool IsPictureStatic(LONG_PTR style) {
  const unsigned kPictureTypes = 1u << 3 | 1u << 4 | 1u << 5 | 1u << 6 | 1u << 7 | 1u << 8 | 1u << 9 | 1u << 13 |
                                 1u << 14 | 1u << 15;
  return (kPictureTypes >> (style & SS_TYPEMASK)) & 1u;
}

POINT PointOf(LPARAM lParam) { return POINT{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))}; }

// "r,g,b" in decimal; false without two commas.
bool ParseColor(const wchar_t* text, COLORREF* color) {
  const wchar_t* first = std::wcschr(text, L',');
  const wchar_t* second = first ? std::wcschr(first + 1, L',') : nullptr;
  if (!second) return false;
  long red = std::wcstol(text, nullptr, 10);
  long green = std::wcstol(first + 1, nullptr, 10);
  long blue = std::wcstol(second + 1, nullptr, 10);
  *color = RGB(static_cast<BYTE>(red), static_cast<BYTE>(green), static_cast<BYTE>(blue));
  return true;
}

// One colour value of the user's Internet settings; color is left alone when the value is missing
// or malformed (too long, odd length, not terminated, not three numbers).
void ReadColorValue(HKEY key, const wchar_t* name, COLORREF* color) {
  wchar_t text[12] = {};
  DWORD type = 0;
  DWORD size = sizeof(text);
  if (::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) != ERROR_SUCCESS) return;
  if (type != REG_SZ || size < sizeof(wchar_t) || (size & 1) != 0) return;
  if (text[size / sizeof(wchar_t) - 1] != L'\0') return;
  ParseColor(text, color);
}

TTTOOLINFOW Tool(HWND window, const std::wstring& text) {
  TTTOOLINFOW tool = {};
  tool.cbSize = TTTOOLINFOW_V2_SIZE;  // understood by every comctl32 version
  tool.hwnd = window;                 // pointer messages reach the tooltip by relaying, not by its own subclass
  tool.uId = kToolId;
  tool.lpszText = const_cast<wchar_t*>(text.c_str());
  return tool;
}

}  // namespace

HWND CHyperLinkEx::Create(HWND parent, const RECT& rect, const wchar_t* text, DWORD style, UINT id) {
  static const WindowClassInfo kClass = {L"QuillanHyperLinkEx", CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS, nullptr, nullptr};
  return CWindowImplBase::Create(kClass, parent, rect, text, style, 0, id);
}

void CHyperLinkEx::Init() {
  if (!IsWindow()) return;
  BecomeNotifying();
  cursor_ = ::LoadCursorW(nullptr, IDC_HAND);
  if (paintLabel_) MakeLinkFont();
  MakeToolTip();
  if (label_.empty()) label_ = WindowText(m_hWnd);
  CalcLinkRect();
  if (target_.empty() && !(extendedStyle_ & kCommandButton)) {
    target_ = label_;
  } else {
    AddToolTipTool();
  }
  if (paintLabel_) ReadAnchorColors();
}

void CHyperLinkEx::BecomeNotifying() {
  wchar_t className[16] = {};
  if (!::GetClassNameW(m_hWnd, className, 16) || !EqualsNoCaseAZ(className, L"static")) return;
  LONG_PTR style = ::GetWindowLongPtrW(m_hWnd, GWL_STYLE);
  ::SetWindowLongPtrW(m_hWnd, GWL_STYLE, style | SS_NOTIFY);
  if (IsPictureStatic(style)) paintLabel_ = false;
}

void CHyperLinkEx::MakeLinkFont() {
  HWND parent = ::GetParent(m_hWnd);
  normalFont_ = parent ? reinterpret_cast<HFONT>(::SendMessageW(parent, WM_GETFONT, 0, 0)) : nullptr;
  if (!normalFont_) normalFont_ = static_cast<HFONT>(::GetStockObject(SYSTEM_FONT));
  LOGFONTW font = {};
  if (linkFont_ || ::GetObjectW(normalFont_, sizeof(font), &font) != sizeof(font)) return;
  if ((extendedStyle_ & kUseTagsBold) == kUseTagsBold) {
    font.lfWeight = FW_BOLD;
  } else if (!(extendedStyle_ & kNotUnderlined)) {
    font.lfUnderline = TRUE;
  }
  linkFont_.reset(::CreateFontIndirectW(&font));
}

void CHyperLinkEx::MakeToolTip() {
  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_WIN95_CLASSES};
  ::InitCommonControlsEx(&controls);  // the tooltip class; already there in Explorer
  // A tooltip that went with an earlier window of this object (destroyed without messages, e.g. with
  // its thread) is no tooltip; neither is the hover look of that window.
  if (toolTip_ && !::IsWindow(toolTip_.get())) toolTip_.release();
  hover_ = false;
  if (toolTip_) return;
  toolTip_.reset(::CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                                   CW_USEDEFAULT, CW_USEDEFAULT, m_hWnd, nullptr, ThisModule(), nullptr));
}

void CHyperLinkEx::AddToolTipTool() {
  if (!toolTip_) return;
  ::SendMessageW(toolTip_.get(), TTM_ACTIVATE, TRUE, 0);
  TTTOOLINFOW tool = Tool(m_hWnd, target_);
  tool.rect = linkRect_;
  ::SendMessageW(toolTip_.get(), TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void CHyperLinkEx::SetLinkColors(COLORREF link, COLORREF visited, COLORREF hover, COLORREF hoverVisited) {
  linkColor_ = link;
  visitedColor_ = visited;
  hoverColor_ = hover;
  hoverVisitedColor_ = hoverVisited;
}

bool CHyperLinkEx::SetLabel(const std::wstring& label) {
  label_ = label;
  CalcLinkRect();
  return IsWindow() && ::SetWindowTextW(m_hWnd, label_.c_str()) != FALSE;
}

bool CHyperLinkEx::SetHyperLink(const std::wstring& target) {
  target_ = target;
  if (label_.empty()) CalcLinkRect();
  if (!toolTip_) return true;
  TTTOOLINFOW tool = Tool(m_hWnd, target_);
  ::SendMessageW(toolTip_.get(), TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
  return true;
}

BOOL CHyperLinkEx::ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  RelayToToolTip(window, message, wParam, lParam);
  result = 0;
  switch (message) {
    case WM_CREATE:
      Init();
      SetLinkColors(kBandLinkColor, kBandLinkColor, kBandHoverColor, kBandHoverColor);
      return FALSE;
    case WM_PAINT:
    case WM_PRINTCLIENT:
      if (!paintLabel_) return FALSE;
      PaintInto(window, wParam, [this](HDC dc) { Paint(dc); });
      return TRUE;
    case WM_ERASEBKGND:
      result = 1;
      return TRUE;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      // Default processing only does the focus bookkeeping: the static control sends no notification.
      if (paintLabel_) Repaint(false);
      return FALSE;
    case WM_ENABLE:
      // Not passed on: with SS_NOTIFY the static control would send the parent STN_ENABLE/STN_DISABLE
      // under the link's id, which the bar takes for a click, and paint over the link with its brush.
      Repaint(true);
      return TRUE;
    case WM_SETFONT:
      OnSetFont(reinterpret_cast<HFONT>(wParam), lParam != 0);
      return TRUE;
    case WM_GETFONT:
      result = reinterpret_cast<LRESULT>(normalFont_);
      return TRUE;
    case WM_UPDATEUISTATE:
      return TRUE;
    case WM_SIZE:
      CalcLinkRect();
      Repaint(false);
      return FALSE;
    case WM_DESTROY:
      toolTip_.reset();
      return FALSE;
    default:
      return ProcessInputMessage(message, wParam, lParam, result);
  }
}

BOOL CHyperLinkEx::ProcessInputMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  switch (message) {
    case WM_MOUSEMOVE:
      OnMouseMove(lParam);
      return FALSE;
    case WM_MOUSELEAVE:
      LeaveHover();
      return TRUE;
    case WM_LBUTTONDOWN:
      OnLButtonDown(lParam);
      return TRUE;  // the link never takes the focus
    case WM_LBUTTONUP:
      OnLButtonUp(lParam);
      return TRUE;
    case WM_LBUTTONDBLCLK:
      // The second press of a double-click activates nothing: passed on, the static control would send
      // STN_DBLCLK under the link's id, which the bar takes for a second click.
      return TRUE;
    case WM_CHAR:
      if (wParam != VK_RETURN && wParam != VK_SPACE) return FALSE;
      Navigate();
      return TRUE;
    case WM_GETDLGCODE:
      result = DLGC_WANTCHARS;
      return TRUE;
    case WM_SETCURSOR:
      result = TRUE;
      return OnSetCursor();
    default:
      return FALSE;
  }
}

void CHyperLinkEx::RelayToToolTip(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message < WM_MOUSEFIRST || message > WM_MOUSELAST || !toolTip_ || (extendedStyle_ & kNoToolTip)) return;
  MSG msg = {window, message, wParam, lParam, static_cast<DWORD>(::GetMessageTime()), {}};
  msg.pt = PointOf(static_cast<LPARAM>(::GetMessagePos()));
  ::SendMessageW(toolTip_.get(), TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&msg));
}

void CHyperLinkEx::Repaint(bool update) {
  ::InvalidateRect(m_hWnd, nullptr, TRUE);
  if (update) ::UpdateWindow(m_hWnd);
}

void CHyperLinkEx::OnSetFont(HFONT font, bool redraw) {
  normalFont_ = font;
  if (redraw) Repaint(true);
}

bool CHyperLinkEx::HasAction() const { return !target_.empty() || (extendedStyle_ & kCommandButton); }

bool CHyperLinkEx::IsInLink(POINT point) const { return ::PtInRect(&linkRect_, point) != FALSE; }

void CHyperLinkEx::ReadAnchorColors() {
  UniqueKey key;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Internet Explorer\\Settings", 0, KEY_READ,
                      key.put()) != ERROR_SUCCESS) {
    return;  // no settings: the colours stay
  }
  ReadColorValue(key.get(), L"Anchor Color", &linkColor_);
  ReadColorValue(key.get(), L"Anchor Color Visited", &visitedColor_);
}

void CHyperLinkEx::Navigate() {
  if (!IsWindow()) return;
  HWND parent = ::GetParent(m_hWnd);
  int id = ::GetDlgCtrlID(m_hWnd);
  if ((extendedStyle_ & kNotifyButton) == kNotifyButton) {
    NMHDR header = {m_hWnd, static_cast<UINT_PTR>(id), static_cast<UINT>(NM_CLICK)};
    ::SendMessageW(parent, WM_NOTIFY, static_cast<WPARAM>(id), reinterpret_cast<LPARAM>(&header));
  } else if (extendedStyle_ & kCommandButton) {
    ::SendMessageW(parent, WM_COMMAND, MAKEWPARAM(id, 0), reinterpret_cast<LPARAM>(m_hWnd));
  } else {
    auto code =
        reinterpret_cast<INT_PTR>(::ShellExecuteW(nullptr, L"open", target_.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    if (code > 32) {
      visited_ = true;
      if (IsWindow()) ::InvalidateRect(m_hWnd, nullptr, TRUE);
    }
  }
}

void CHyperLinkEx::LeaveHover() {
  if (!(extendedStyle_ & kUnderlineHover) || !hover_) return;
  hover_ = false;
  if (!IsWindow()) return;
  ::InvalidateRect(m_hWnd, &linkRect_, TRUE);
  ::UpdateWindow(m_hWnd);
}

void CHyperLinkEx::OnLButtonDown(LPARAM lParam) {
  if (IsInLink(PointOf(lParam))) ::SetCapture(m_hWnd);
}

void CHyperLinkEx::OnMouseMove(LPARAM lParam) {
  if (!HasAction() || !IsInLink(PointOf(lParam))) {
    LeaveHover();
    return;
  }
  ::SetCursor(cursor_);
  if (!(extendedStyle_ & kUnderlineHover) || hover_) return;
  hover_ = true;
  ::InvalidateRect(m_hWnd, &linkRect_, TRUE);
  ::UpdateWindow(m_hWnd);
  TRACKMOUSEEVENT track = {sizeof(track), TME_LEAVE, m_hWnd, 0};
  ::TrackMouseEvent(&track);  // without it the hover look only ends with the next move
}

void CHyperLinkEx::OnLButtonUp(LPARAM lParam) {
  if (::GetCapture() == m_hWnd) {
    ::ReleaseCapture();
    // The parent may destroy this window while it handles the click.
    if (IsInLink(PointOf(lParam))) Navigate();
  }
  if (!hover_) return;
  hover_ = false;
  if (!IsWindow()) return;
  ::InvalidateRect(m_hWnd, &linkRect_, TRUE);
  ::UpdateWindow(m_hWnd);
}

bool CHyperLinkEx::OnSetCursor() {
  if (!HasAction()) return false;
  POINT point = {};
  if (!::GetCursorPos(&point) || !::ScreenToClient(m_hWnd, &point) || !IsInLink(point)) return false;
  ::SetCursor(cursor_);
  return true;
}

}  // namespace quillan
