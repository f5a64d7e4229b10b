// The link's measuring and painting: where the link lies in the control, and the label drawn in the
// colour and font of its state over the parent's background.
#include "ui/hyper_link_ex.h"

#include "base/handle.h"
#include "base/text.h"
#include "ui/window_impl_ex.h"

namespace quillan {
namespace {

UINT Alignment(HWND window) {
  LONG_PTR type = ::GetWindowLongPtrW(window, GWL_STYLE) & SS_TYPEMASK;
  if (type == SS_CENTER) return DT_CENTER;
  if (type == SS_RIGHT) return DT_RIGHT;
  return DT_LEFT;
}

// Where tag starts in text at or after start, ignoring the case of A-Z; npos when it is missing.
size_t FindTag(const std::wstring& text, const wchar_t* tag, size_t start) { return LowerAZ(text).find(tag, start); }

}  // namespace

void CHyperLinkEx::CalcLinkRect() {
  if (!IsWindow() || (label_.empty() && target_.empty())) return;
  RECT client = {};
  ::GetClientRect(m_hWnd, &client);
  WindowDc dc(m_hWnd);
  if (!dc) return;
  if (!(extendedStyle_ & kUseTags)) {
    SelectObjectScope font(dc.get(), linkFont_.get());  // without a link font the DC keeps its own
    const UINT align = Alignment(m_hWnd);
    RECT rect = client;
    ::DrawTextW(dc.get(), Text().c_str(), -1, &rect, DT_CALCRECT | DT_WORDBREAK | align);
    const int width = rect.right - rect.left;
    const int freeWidth = (client.right - client.left) - width;
    const int dx = align == DT_CENTER ? freeWidth / 2 : align == DT_RIGHT ? freeWidth : 0;
    linkRect_ = RECT{client.left + dx, client.top, client.left + dx + width, client.top + (rect.bottom - rect.top)};
    return;
  }
  std::wstring before, link, after;
  SplitTags(&before, &link, &after);
  int left = client.left;
  if (!before.empty()) {
    SelectObjectScope font(dc.get(), normalFont_);
    RECT rect = client;
    ::DrawTextW(dc.get(), before.c_str(), -1, &rect, DT_CALCRECT | DT_WORDBREAK | DT_LEFT);
    left = rect.right;
  }
  SelectObjectScope font(dc.get(), linkFont_ ? linkFont_.get() : normalFont_);
  RECT rect = {left, client.top, client.right, client.bottom};
  ::DrawTextW(dc.get(), link.c_str(), -1, &rect, DT_CALCRECT | DT_WORDBREAK | DT_LEFT);
  linkRect_ = rect;
}

void CHyperLinkEx::SplitTags(std::wstring* before, std::wstring* link, std::wstring* after) const {
  const std::wstring& text = Text();
  const size_t open = FindTag(text, L"<a>", 0);
  const size_t close = open == std::wstring::npos ? std::wstring::npos : FindTag(text, L"</a>", open + 3);
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

void CHyperLinkEx::EraseBackground(HDC dc, const RECT& client) {
  HWND parent = ::GetParent(m_hWnd);
  if (!parent ||
      ::SendMessageW(parent, WM_EX_DRAWBKGND, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(m_hWnd))) {
    return;
  }
  auto brush = reinterpret_cast<HBRUSH>(
      ::SendMessageW(parent, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(m_hWnd)));
  if (brush) ::FillRect(dc, &client, brush);
}

void CHyperLinkEx::Paint(HDC dc) {
  RECT client = {};
  ::GetClientRect(m_hWnd, &client);
  EraseBackground(dc, client);
  // The link colour and font of the state: the hover look with a link font (always, or only under the
  // pointer for the underline-on-hover style), the plain look otherwise.
  const bool hoverLook = linkFont_ && (!(extendedStyle_ & kUnderlineHover) || hover_);
  COLORREF color = hoverLook ? (visited_ ? hoverVisitedColor_ : hoverColor_) : (visited_ ? visitedColor_ : linkColor_);
  if (!::IsWindowEnabled(m_hWnd)) color = ::GetSysColor(COLOR_GRAYTEXT);
  const HFONT font = hoverLook ? linkFont_.get() : normalFont_;
  if (extendedStyle_ & kUseTags) {
    PaintTagged(dc, client, color, font);
    return;
  }
  TextStyleScope style(dc, color);
  SelectObjectScope selected(dc, font);
  RECT rect = linkRect_;
  ::DrawTextW(dc, Text().c_str(), -1, &rect, DT_WORDBREAK | Alignment(m_hWnd));
}

void CHyperLinkEx::PaintTagged(HDC dc, const RECT& client, COLORREF color, HFONT font) {
  std::wstring before, link, after;
  SplitTags(&before, &link, &after);
  const COLORREF plain = ::IsWindowEnabled(m_hWnd) ? ::GetTextColor(dc) : ::GetSysColor(COLOR_GRAYTEXT);
  TextStyleScope style(dc, plain);
  if (!before.empty()) {
    SelectObjectScope normal(dc, normalFont_);
    RECT rect = client;
    ::DrawTextW(dc, before.c_str(), -1, &rect, DT_WORDBREAK);
  }
  {
    style.SetColor(color);
    SelectObjectScope selected(dc, font);
    RECT rect = linkRect_;
    ::DrawTextW(dc, link.c_str(), -1, &rect, DT_WORDBREAK);
  }
  if (!after.empty()) {
    style.SetColor(plain);
    SelectObjectScope normal(dc, normalFont_);
    RECT rect = {linkRect_.right, linkRect_.top, client.right, client.bottom};
    ::DrawTextW(dc, after.c_str(), -1, &rect, DT_WORDBREAK);
  }
}

}  // namespace quillan
