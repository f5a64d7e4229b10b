#include "menu_picture.h"

#include <algorithm>
#include <vector>

#include "base/handle.h"
#include "dib_pixels.h"

namespace quillan::standin {

namespace {

struct Item {
  std::wstring text;
  bool separator = false;
  HMENU submenu = nullptr;
  HBITMAP bitmap = nullptr;
  int top = 0;
  int height = 0;
};

struct Popup {
  std::vector<Item> items;
  RECT rect = {};
  int opened = -1;  // the item whose submenu is shown beside this menu
};

// Sizes of the classic look at 96 DPI, scaled to the screen's.
struct Metrics {
  int border, padding, checkWidth, arrowWidth, gap, separatorHeight, textHeight;
};

std::vector<Item> ReadItems(HMENU menu) {
  std::vector<Item> items;
  int count = ::GetMenuItemCount(menu);
  for (int pos = 0; pos < count; ++pos) {
    MENUITEMINFOW info = {};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE | MIIM_SUBMENU | MIIM_CHECKMARKS | MIIM_BITMAP | MIIM_STRING;
    if (!::GetMenuItemInfoW(menu, static_cast<UINT>(pos), TRUE, &info)) continue;  // drawn as absent
    Item item;
    item.separator = (info.fType & MFT_SEPARATOR) != 0;
    item.submenu = info.hSubMenu;
    // Values below 12 are the predefined menu bitmaps (HBMMENU_*), which this drawing leaves out.
    HBITMAP own = reinterpret_cast<UINT_PTR>(info.hbmpItem) >= 12 ? info.hbmpItem : nullptr;
    item.bitmap = own ? own : info.hbmpUnchecked;
    if (info.cch > 0) {
      // Asked for alone: a request with the other fields clears them under Wine.
      std::wstring text(info.cch + 1, L'\0');
      MENUITEMINFOW label = {};
      label.cbSize = sizeof label;
      label.fMask = MIIM_STRING;
      label.dwTypeData = &text[0];
      label.cch = info.cch + 1;
      if (::GetMenuItemInfoW(menu, static_cast<UINT>(pos), TRUE, &label)) item.text.assign(text.c_str(), label.cch);
    }
    items.push_back(std::move(item));
  }
  return items;
}

SIZE BitmapSize(HBITMAP bitmap) {
  BITMAP info = {};
  if (!bitmap || !::GetObjectW(bitmap, sizeof info, &info)) return SIZE{0, 0};
  return SIZE{info.bmWidth, info.bmHeight};
}

// Places the items of one menu with its top-left corner at (x, y).
void Layout(HDC dc, const Metrics& m, int x, int y, Popup* popup) {
  int checkWidth = m.checkWidth, textWidth = 0, itemHeight = m.textHeight + 2 * m.padding;
  for (const Item& item : popup->items) {
    SIZE bitmap = BitmapSize(item.bitmap);
    checkWidth = std::max(checkWidth, static_cast<int>(bitmap.cx));
    itemHeight = std::max(itemHeight, static_cast<int>(bitmap.cy) + 2 * m.padding);
    SIZE text = {};
    if (!item.text.empty() && ::GetTextExtentPoint32W(dc, item.text.c_str(), static_cast<int>(item.text.size()), &text)) {
      textWidth = std::max(textWidth, static_cast<int>(text.cx));
    }
  }
  int top = y + m.border;
  for (Item& item : popup->items) {
    item.top = top;
    item.height = item.separator ? m.separatorHeight : itemHeight;
    top += item.height;
  }
  int width = 2 * m.border + 2 * m.padding + checkWidth + m.gap + textWidth + m.gap + m.arrowWidth;
  popup->rect = RECT{x, y, x + width, top + m.border};
}

void Fill(HDC dc, const RECT& rect, int colorIndex) {
  ::FillRect(dc, &rect, ::GetSysColorBrush(colorIndex));
}

void DrawBitmap(HDC dc, HBITMAP bitmap, int x, int y) {
  BITMAP info = {};
  if (!::GetObjectW(bitmap, sizeof info, &info)) return;
  UniqueMemoryDc source(::CreateCompatibleDC(dc));
  if (!source) return;
  HGDIOBJ old = ::SelectObject(source.get(), bitmap);
  if (info.bmBitsPixel == 32) {
    // The product's images carry premultiplied alpha, as menus on Vista and later draw them.
    BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    ::AlphaBlend(dc, x, y, info.bmWidth, info.bmHeight, source.get(), 0, 0, info.bmWidth, info.bmHeight, blend);
  } else {
    ::BitBlt(dc, x, y, info.bmWidth, info.bmHeight, source.get(), 0, 0, SRCCOPY);
  }
  ::SelectObject(source.get(), old);
}

void Draw(HDC dc, const Metrics& m, const Popup& popup) {
  RECT frame = popup.rect;
  Fill(dc, frame, COLOR_MENU);
  ::DrawEdge(dc, &frame, EDGE_RAISED, BF_RECT);
  int checkWidth = m.checkWidth;
  for (const Item& item : popup.items) checkWidth = std::max(checkWidth, static_cast<int>(BitmapSize(item.bitmap).cx));
  for (size_t i = 0; i < popup.items.size(); ++i) {
    const Item& item = popup.items[i];
    RECT row = {frame.left + m.border, item.top, frame.right - m.border, item.top + item.height};
    if (item.separator) {
      RECT line = {row.left + 1, row.top + item.height / 2 - 1, row.right - 1, row.top + item.height / 2 + 1};
      ::DrawEdge(dc, &line, EDGE_ETCHED, BF_TOP);
      continue;
    }
    bool highlighted = static_cast<int>(i) == popup.opened;
    if (highlighted) Fill(dc, row, COLOR_HIGHLIGHT);
    SIZE bitmap = BitmapSize(item.bitmap);
    if (item.bitmap) {
      DrawBitmap(dc, item.bitmap, row.left + m.padding + (checkWidth - bitmap.cx) / 2, row.top + (item.height - bitmap.cy) / 2);
    }
    ::SetTextColor(dc, ::GetSysColor(highlighted ? COLOR_HIGHLIGHTTEXT : COLOR_MENUTEXT));
    RECT text = {row.left + m.padding + checkWidth + m.gap, row.top, row.right - m.arrowWidth, row.bottom};
    ::DrawTextW(dc, item.text.c_str(), static_cast<int>(item.text.size()), &text, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    if (item.submenu) {
      // The submenu arrow: a small solid triangle pointing right.
      int size = std::max(3, m.arrowWidth / 4), cx = row.right - m.arrowWidth / 2 - size / 2, cy = (row.top + row.bottom) / 2;
      POINT points[] = {{cx, cy - size}, {cx + size, cy}, {cx, cy + size}};
      HBRUSH brush = ::GetSysColorBrush(highlighted ? COLOR_HIGHLIGHTTEXT : COLOR_MENUTEXT);
      HGDIOBJ oldBrush = ::SelectObject(dc, brush);
      HGDIOBJ oldPen = ::SelectObject(dc, ::GetStockObject(NULL_PEN));
      ::Polygon(dc, points, 3);
      ::SelectObject(dc, oldPen);
      ::SelectObject(dc, oldBrush);
    }
  }
}

}  // namespace

bool SaveMenuPicture(HMENU menu, const std::wstring& path, SIZE* size, int* menus, std::wstring* error) {
  if (!::IsMenu(menu)) {
    *error = L"no menu";
    return false;
  }
  UniqueMemoryDc dc(::CreateCompatibleDC(nullptr));
  NONCLIENTMETRICSW metrics = {};
  metrics.cbSize = sizeof metrics;
  if (!dc || !::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
    *error = L"no menu font";
    return false;
  }
  UniqueFont font(::CreateFontIndirectW(&metrics.lfMenuFont));
  HGDIOBJ oldFont = ::SelectObject(dc.get(), font.get());
  TEXTMETRICW text = {};
  ::GetTextMetricsW(dc.get(), &text);
  const int dpi = ::GetDeviceCaps(dc.get(), LOGPIXELSY);
  auto scaled = [dpi](int pixels) { return ::MulDiv(pixels, dpi, 96); };
  const Metrics m = {scaled(3), scaled(2), ::GetSystemMetrics(SM_CXMENUCHECK), scaled(16), scaled(4), scaled(9),
                     static_cast<int>(text.tmHeight)};

  // The root menu, then each first submenu beside its parent, its top at the parent item's.
  std::vector<Popup> popups;
  for (HMENU current = menu; current && popups.size() < 8;) {
    Popup popup;
    popup.items = ReadItems(current);
    int x = popups.empty() ? 0 : static_cast<int>(popups.back().rect.right) - m.border;
    int y = popups.empty() ? 0 : popups.back().items[static_cast<size_t>(popups.back().opened)].top - m.border;
    Layout(dc.get(), m, x, y, &popup);
    current = nullptr;
    for (size_t i = 0; i < popup.items.size() && !current; ++i) {
      if (popup.items[i].submenu) {
        popup.opened = static_cast<int>(i);
        current = popup.items[i].submenu;
      }
    }
    popups.push_back(std::move(popup));
  }
  RECT bounds = {0, 0, 0, 0};
  for (const Popup& popup : popups) ::UnionRect(&bounds, &bounds, &popup.rect);
  // A margin of the window behind, white as a folder view's.
  const int margin = scaled(8);
  const int width = bounds.right + 2 * margin, height = bounds.bottom + 2 * margin;
  void* bits = nullptr;
  UniqueBitmap canvas = CreateTopDownBitmap(width, height, &bits);
  if (!canvas) {
    ::SelectObject(dc.get(), oldFont);
    *error = L"no canvas";
    return false;
  }
  HGDIOBJ oldCanvas = ::SelectObject(dc.get(), canvas.get());
  RECT all = {0, 0, width, height};
  ::FillRect(dc.get(), &all, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
  ::SetViewportOrgEx(dc.get(), margin, margin, nullptr);
  ::SetBkMode(dc.get(), TRANSPARENT);
  for (const Popup& popup : popups) Draw(dc.get(), m, popup);
  ::GdiFlush();
  ::SelectObject(dc.get(), oldCanvas);
  ::SelectObject(dc.get(), oldFont);
  if (!SavePixels(bits, width, height, path, L"image/png", error)) return false;
  *size = SIZE{width, height};
  *menus = static_cast<int>(popups.size());
  return true;
}

}  // namespace quillan::standin
