#include "ui/hyper_link_ex.h"

#include <commctrl.h>
#include <shellapi.h>

#include <cwchar>

#include "base/handle.h"
#include "base/module.h"
#include "base/text.h"
#include "ui/window_impl_ex.h"

namespace quillan {
namespace {

const UINT_PTR kToolId = 1;

// Static types that show no text: icons, rectangles, frames, owner-drawn, bitmaps, metafiles.
bool IsPictureStatic(LONG_PTR style) {
  const unsigned kPictureTypes = 1u << 3 | 1u << 4 | 1u << 5 | 1u << 6 | 1u << 7 | 1u << 8 | 1u << 9 | 1u << 13 |
                                 1u << 14 | 1u << 15;
  return (kPictureTypes >> (style & SS_TYPEMASK)) & 1u;
}

UINT Alignment(HWND window) {
  LONG_PTR type = ::GetWindowLongPtrW(window, GWL_STYLE) & SS_TYPEMASK;
  if (type == SS_CENTER) return DT_CENTER;
  if (type == SS_RIGHT) return DT_RIGHT;
  return DT_LEFT;
}

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

// The part of text between start and the first occurrence of tag at or after it, ignoring the case
// of A-Z; npos when the tag is missing.
size_t FindTag(const std::wstring& text, const wchar_t* tag, size_t start) {
  std::wstring lower = LowerAZ(text);
  return lower.find(tag, start);
}

}  // namespace

CHyperLinkEx::CHyperLinkEx() = default;

CHyperLinkEx::~CHyperLinkEx() {
  DestroyToolTip();
  if (ownsLinkFont_ && linkFont_) ::DeleteObject(linkFont_);
}

HWND CHyperLinkEx::Create(HWND parent, const RECT& rect, const wchar_t* text, DWORD style, UINT id) {
  static const WindowClassInfo kClass = {L"QuillanHyperLinkEx", CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS, nullptr, nullptr};
  return CWindowImplBase::Create(kClass, parent, rect, text, style, 0, id);
}

void CHyperLinkEx::Init() {
  if (!IsWindow()) return;
  wchar_t className[16] = {};
  if (::GetClassNameW(m_hWnd, className, 16) && EqualsNoCaseAZ(className, L"static")) {
    LONG_PTR style = ::GetWindowLongPtrW(m_hWnd, GWL_STYLE);
    ::SetWindowLongPtrW(m_hWnd, GWL_STYLE, style | SS_NOTIFY);
    if (IsPictureStatic(style)) paintLabel_ = false;
  }
  cursor_ = ::LoadCursorW(nullptr, IDC_HAND);

  if (paintLabel_) {
    HWND parent = ::GetParent(m_hWnd);
    normalFont_ = parent ? reinterpret_cast<HFONT>(::SendMessageW(parent, WM_GETFONT, 0, 0)) : nullptr;
    if (!normalFont_) normalFont_ = static_cast<HFONT>(::GetStockObject(SYSTEM_FONT));
    if (!linkFont_) {
      LOGFONTW font = {};
      if (::GetObjectW(normalFont_, sizeof(font), &font) == sizeof(font)) {
        if ((extendedStyle_ & kUseTagsBold) == kUseTagsBold) {
          font.lfWeight = FW_BOLD;
        } else if (!(extendedStyle_ & kNotUnderlined)) {
          font.lfUnderline = TRUE;
        }
        linkFont_ = ::CreateFontIndirectW(&font);
        ownsLinkFont_ = linkFont_ != nullptr;
      }
    }
  }

  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_WIN95_CLASSES};
  ::InitCommonControlsEx(&controls);  // the tooltip class; already there in Explorer
  // A tooltip that went with an earlier window of this object (destroyed without messages, e.g. with
  // its thread) is no tooltip; neither is the hover look of that window.
  if (toolTip_ && !::IsWindow(toolTip_)) toolTip_ = nullptr;
  hover_ = false;
  if (!toolTip_) {
    toolTip_ = ::CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                                 CW_USEDEFAULT, CW_USEDEFAULT, m_hWnd, nullptr, ThisModule(), nullptr);
  }

  if (label_.empty()) label_ = WindowText(m_hWnd);
  CalcLinkRect();

  if (target_.empty() && !(extendedStyle_ & kCommandButton)) {
    target_ = label_;
  } else if (toolTip_) {
    ::SendMessageW(toolTip_, TTM_ACTIVATE, TRUE, 0);
    TTTOOLINFOW tool = {};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;  // understood by every comctl32 version
    tool.hwnd = m_hWnd;                 // pointer messages reach the tooltip by relaying, not by its own subclass
    tool.uId = kToolId;
    tool.rect = linkRect_;
    tool.lpszText = const_cast<wchar_t*>(target_.c_str());
    ::SendMessageW(toolTip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  }

  if (paintLabel_) ReadAnchorColors();
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
  TTTOOLINFOW tool = {};
  tool.cbSize = TTTOOLINFOW_V2_SIZE;
  tool.hwnd = m_hWnd;
  tool.uId = kToolId;
  tool.lpszText = const_cast<wchar_t*>(target_.c_str());
  ::SendMessageW(toolTip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
  return true;
}

BOOL CHyperLinkEx::ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  if (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST && toolTip_ && !(extendedStyle_ & kNoToolTip)) {
    MSG msg = {window, message, wParam, lParam, static_cast<DWORD>(::GetMessageTime()), {}};
    DWORD pos = ::GetMessagePos();
    msg.pt = POINT{static_cast<short>(LOWORD(pos)), static_cast<short>(HIWORD(pos))};
    ::SendMessageW(toolTip_, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&msg));
  }
  result = 0;
  switch (message) {
    case WM_CREATE:
      Init();
      SetLinkColors(kBandLinkColor, kBandLinkColor, kBandHoverColor, kBandHoverColor);
      return FALSE;
    case WM_PAINT:
    case WM_PRINTCLIENT:
      if (!paintLabel_) return FALSE;
      if (wParam) {
        Paint(reinterpret_cast<HDC>(wParam));
      } else {
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(window, &ps);
        if (dc) Paint(dc);
        ::EndPaint(window, &ps);
      }
      return TRUE;
    case WM_ERASEBKGND:
      result = 1;
      return TRUE;
    case WM_MOUSEMOVE:
      OnMouseMove(lParam);
      return FALSE;
    case WM_MOUSELEAVE:
      LeaveHover();
      return TRUE;
    case WM_LBUTTONDOWN: {
      POINT point = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
      if (IsInLink(point)) ::SetCapture(window);
      return TRUE;  // the link never takes the focus
    }
    case WM_LBUTTONUP:
      OnLButtonUp(lParam);
      return TRUE;
    case WM_LBUTTONDBLCLK:
      // The second press of a double-click activates nothing: passed on, the static control would send
      // STN_DBLCLK under the link's id, which the bar takes for a second click.
      return TRUE;
    case WM_CHAR:
      if (wParam == VK_RETURN || wParam == VK_SPACE) {
        Navigate();
        return TRUE;
      }
      return FALSE;
    case WM_GETDLGCODE:
      result = DLGC_WANTCHARS;
      return TRUE;
    case WM_SETCURSOR:
      if (!OnSetCursor()) return FALSE;
      result = TRUE;
      return TRUE;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      // Default processing only does the focus bookkeeping: the static control sends no notification.
      if (paintLabel_) ::InvalidateRect(window, nullptr, TRUE);
      return FALSE;
    case WM_ENABLE:
      // Not passed on: with SS_NOTIFY the static control would send the parent STN_ENABLE/STN_DISABLE
      // under the link's id, which the bar takes for a click, and paint over the link with its brush.
      ::InvalidateRect(window, nullptr, TRUE);
      ::UpdateWindow(window);
      return TRUE;
    case WM_SETFONT:
      normalFont_ = reinterpret_cast<HFONT>(wParam);
      if (lParam) {
        ::InvalidateRect(window, nullptr, TRUE);
        ::UpdateWindow(window);
      }
      return TRUE;
    case WM_GETFONT:
      result = reinterpret_cast<LRESULT>(normalFont_);
      return TRUE;
    case WM_UPDATEUISTATE:
      return TRUE;
    case WM_SIZE:
      CalcLinkRect();
      ::InvalidateRect(window, nullptr, TRUE);
      return FALSE;
    case WM_DESTROY:
      DestroyToolTip();
      return FALSE;
    default:
      return FALSE;
  }
}

bool CHyperLinkEx::HasAction() const { return !target_.empty() || (extendedStyle_ & kCommandButton); }

bool CHyperLinkEx::IsInLink(POINT point) const { return ::PtInRect(&linkRect_, point) != FALSE; }

void CHyperLinkEx::CalcLinkRect() {
  if (!IsWindow() || (label_.empty() && target_.empty())) return;
  RECT client = {};
  ::GetClientRect(m_hWnd, &client);
  HDC dc = ::GetDC(m_hWnd);
  if (!dc) return;
  HGDIOBJ oldFont = ::GetCurrentObject(dc, OBJ_FONT);
  if (!(extendedStyle_ & kUseTags)) {
    const std::wstring& text = label_.empty() ? target_ : label_;
    // Without a link font the DC keeps its own font.
    if (linkFont_) ::SelectObject(dc, linkFont_);
    UINT align = Alignment(m_hWnd);
    RECT rect = client;
    ::DrawTextW(dc, text.c_str(), -1, &rect, DT_CALCRECT | DT_WORDBREAK | align);
    int width = rect.right - rect.left;
    int freeWidth = (client.right - client.left) - width;
    int dx = align == DT_CENTER ? freeWidth / 2 : align == DT_RIGHT ? freeWidth : 0;
    linkRect_ = RECT{client.left + dx, client.top, client.left + dx + width, client.top + (rect.bottom - rect.top)};
  } else {
    std::wstring before, link, after;
    SplitTags(&before, &link, &after);
    int left = client.left;
    if (!before.empty()) {
      if (normalFont_) ::SelectObject(dc, normalFont_);
      RECT rect = client;
      ::DrawTextW(dc, before.c_str(), -1, &rect, DT_CALCRECT | DT_WORDBREAK | DT_LEFT);
      left = rect.right;
    }
    ::SelectObject(dc, linkFont_ ? linkFont_ : (normalFont_ ? normalFont_ : static_cast<HFONT>(oldFont)));
    RECT rect = {left, client.top, client.right, client.bottom};
    ::DrawTextW(dc, link.c_str(), -1, &rect, DT_CALCRECT | DT_WORDBREAK | DT_LEFT);
    linkRect_ = rect;
  }
  ::SelectObject(dc, oldFont);
  ::ReleaseDC(m_hWnd, dc);
}

void CHyperLinkEx::SplitTags(std::wstring* before, std::wstring* link, std::wstring* after) const {
  const std::wstring& text = label_.empty() ? target_ : label_;
  size_t open = FindTag(text, L"<a>", 0);
  size_t close = open == std::wstring::npos ? std::wstring::npos : FindTag(text, L"</a>", open + 3);
  if (open == std::wstring::npos || close == std::wstring::npos) {
    // Without a complete pair the whole text is the link.
    before->clear();
    *link = text;
    after->clear();
    return;
  }
  *before = text.substr(0, open);
  *link = text.substr(open + 3, close - open - 3);
  *after = text.substr(close + 4);
}

void CHyperLinkEx::ReadAnchorColors() {
  HKEY raw = nullptr;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Internet Explorer\\Settings", 0, KEY_READ, &raw) !=
      ERROR_SUCCESS) {
    return;  // no settings: the colours stay
  }
  UniqueKey key(raw);
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

void CHyperLinkEx::OnMouseMove(LPARAM lParam) {
  POINT point = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
  if (HasAction() && IsInLink(point)) {
    ::SetCursor(cursor_);
    if ((extendedStyle_ & kUnderlineHover) && !hover_) {
      hover_ = true;
      ::InvalidateRect(m_hWnd, &linkRect_, TRUE);
      ::UpdateWindow(m_hWnd);
      TRACKMOUSEEVENT track = {sizeof(track), TME_LEAVE, m_hWnd, 0};
      ::TrackMouseEvent(&track);  // without it the hover look only ends with the next move
    }
  } else {
    LeaveHover();
  }
}

void CHyperLinkEx::OnLButtonUp(LPARAM lParam) {
  if (::GetCapture() == m_hWnd) {
    ::ReleaseCapture();
    POINT point = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    // The parent may destroy this window while it handles the click.
    if (IsInLink(point)) Navigate();
  }
  if (hover_) {
    hover_ = false;
    if (IsWindow()) {
      ::InvalidateRect(m_hWnd, &linkRect_, TRUE);
      ::UpdateWindow(m_hWnd);
    }
  }
}

bool CHyperLinkEx::OnSetCursor() {
  if (!HasAction()) return false;
  POINT point = {};
  if (!::GetCursorPos(&point) || !::ScreenToClient(m_hWnd, &point) || !IsInLink(point)) return false;
  ::SetCursor(cursor_);
  return true;
}

void CHyperLinkEx::DestroyToolTip() {
  if (toolTip_ && ::IsWindow(toolTip_)) ::DestroyWindow(toolTip_);
  toolTip_ = nullptr;
}

void CHyperLinkEx::Paint(HDC dc) {
  RECT client = {};
  ::GetClientRect(m_hWnd, &client);
  HWND parent = ::GetParent(m_hWnd);
  if (parent &&
      !::SendMessageW(parent, WM_EX_DRAWBKGND, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(m_hWnd))) {
    auto brush = reinterpret_cast<HBRUSH>(
        ::SendMessageW(parent, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(m_hWnd)));
    if (brush) ::FillRect(dc, &client, brush);
  }

  COLORREF color;
  HFONT font;
  if (!linkFont_) {
    color = visited_ ? visitedColor_ : linkColor_;
    font = normalFont_;
  } else if (!(extendedStyle_ & kUnderlineHover) || hover_) {
    color = visited_ ? hoverVisitedColor_ : hoverColor_;
    font = linkFont_;
  } else {
    color = visited_ ? visitedColor_ : linkColor_;
    font = normalFont_;
  }
  if (!::IsWindowEnabled(m_hWnd)) color = ::GetSysColor(COLOR_GRAYTEXT);

  int oldMode = ::SetBkMode(dc, TRANSPARENT);
  COLORREF oldColor = ::GetTextColor(dc);
  HGDIOBJ oldFont = ::GetCurrentObject(dc, OBJ_FONT);
  if (!(extendedStyle_ & kUseTags)) {
    const std::wstring& text = label_.empty() ? target_ : label_;
    ::SetTextColor(dc, color);
    if (font) ::SelectObject(dc, font);
    UINT align = Alignment(m_hWnd);
    RECT rect = linkRect_;
    ::DrawTextW(dc, text.c_str(), -1, &rect, DT_WORDBREAK | align);
  } else {
    std::wstring before, link, after;
    SplitTags(&before, &link, &after);
    COLORREF plain = ::IsWindowEnabled(m_hWnd) ? oldColor : ::GetSysColor(COLOR_GRAYTEXT);
    if (normalFont_) ::SelectObject(dc, normalFont_);
    if (!before.empty()) {
      RECT rect = client;
      ::SetTextColor(dc, plain);
      ::DrawTextW(dc, before.c_str(), -1, &rect, DT_WORDBREAK);
    }
    ::SetTextColor(dc, color);
    if (font) ::SelectObject(dc, font);
    RECT linkRect = linkRect_;
    ::DrawTextW(dc, link.c_str(), -1, &linkRect, DT_WORDBREAK);
    if (!after.empty()) {
      ::SetTextColor(dc, plain);
      if (normalFont_) ::SelectObject(dc, normalFont_);
      RECT rect = {linkRect_.right, linkRect_.top, client.right, client.bottom};
      ::DrawTextW(dc, after.c_str(), -1, &rect, DT_WORDBREAK);
    }
  }
  ::SelectObject(dc, oldFont);
  ::SetTextColor(dc, oldColor);
  ::SetBkMode(dc, oldMode);
}

}  // namespace quillan
