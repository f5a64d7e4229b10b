#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include "base/handle.h"
#include "test_support.h"
#include "ui/dpi_scale.h"
#include "ui/hyper_link_ex.h"
#include "ui/static_ex.h"
#include "ui_test_support.h"

namespace quillan {
namespace {

class ControlTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(DpiScale::InitFromDpi(96)); }
  HWND Static(const wchar_t* text, int width, int height, DWORD style = SS_LEFT) {
    return ::CreateWindowExW(0, L"STATIC", text, WS_CHILD | WS_VISIBLE | style, 0, 0, width, height, parent_.hwnd(),
                             reinterpret_cast<HMENU>(7), nullptr, nullptr);
  }
  COLORREF Render(HWND control, int x, int y, test::Canvas* canvas = nullptr) {
    RECT r;
    ::GetClientRect(control, &r);
    test::Canvas own(r.right, r.bottom, RGB(1, 1, 1));
    test::Canvas* target = canvas ? canvas : &own;
    ::SendMessageW(control, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(target->dc()), PRF_CLIENT);
    return target->Pixel(x, y);
  }
  // A parent that does not lend its background: controls fall back to its static colour brush.
  test::RecordingWindow parent_{L"QuillanControlParent"};
};

TEST_F(ControlTest, StaticGradientLinesAndTextColours) {
  CStaticEx control;
  ASSERT_TRUE(control.SubclassWindow(Static(L"", 40, 20)));
  COLORREF fallback = Render(control.m_hWnd, 5, 5);
  EXPECT_NE(fallback, RGB(1, 1, 1));  // the parent's brush was used

  control.SetGradient(RGB(200, 0, 0), CLR_INVALID);
  EXPECT_EQ(Render(control.m_hWnd, 5, 5), fallback);
  control.SetGradient(RGB(0, 0, 0), RGB(0, 0, 250));
  EXPECT_EQ(Render(control.m_hWnd, 5, 0), RGB(0, 0, 0));
  EXPECT_GT(GetBValue(Render(control.m_hWnd, 5, 19)), 200);

  control.SetBottomLines(RGB(1, 2, 3), CLR_INVALID);
  EXPECT_EQ(Render(control.m_hWnd, 5, 18), Render(control.m_hWnd, 6, 18));  // one colour: no lines
  control.SetBottomLines(RGB(1, 2, 3), RGB(4, 5, 6));
  EXPECT_EQ(Render(control.m_hWnd, 0, 18), RGB(1, 2, 3));
  EXPECT_EQ(Render(control.m_hWnd, 39, 19), RGB(4, 5, 6));

  // Text in its colour, grey when disabled.
  control.SetGradient(RGB(255, 255, 255), RGB(255, 255, 255));
  control.SetBottomLines(CLR_INVALID, CLR_INVALID);
  control.SetTextColor(RGB(200, 30, 40));
  control.SetText(L"WWW");
  test::Canvas canvas(40, 20);
  Render(control.m_hWnd, 0, 0, &canvas);
  EXPECT_TRUE(canvas.Contains(RECT{0, 0, 40, 20}, RGB(200, 30, 40)));
  ::EnableWindow(control.m_hWnd, FALSE);
  test::Canvas grey(40, 20);
  Render(control.m_hWnd, 0, 0, &grey);
  EXPECT_TRUE(grey.Contains(RECT{0, 0, 40, 20}, ::GetSysColor(COLOR_GRAYTEXT)));
  EXPECT_FALSE(grey.Contains(RECT{0, 0, 40, 20}, RGB(200, 30, 40)));

  SIZE size;
  EXPECT_TRUE(control.MeasureText(&size));
  EXPECT_GT(size.cx, 0);
  control.SetText(L"");
  EXPECT_FALSE(control.MeasureText(&size));
  EXPECT_EQ(size.cx, 0);
}

TEST_F(ControlTest, PicturesFillTheirBoxAndIconsTheirScaledSize) {
  test::TempDir dir;
  ASSERT_TRUE(test::Canvas(40, 40, RGB(255, 0, 0)).Save(dir / L"red.bmp", true));
  CStaticEx control;
  ASSERT_TRUE(control.SubclassWindow(Static(L"", 60, 40)));
  RECT margins = {5, 5, 5, 5};
  control.SetPictureSource(dir / L"red.bmp", &margins, 20, 10);
  ASSERT_TRUE(test::PumpUntil([&] { return control.HasPicture(); }, 3000));
  // A 20 x 10 box centred in the 50 x 30 inner area, counted from the client origin.
  EXPECT_EQ(Render(control.m_hWnd, 15, 10), RGB(255, 0, 0));
  EXPECT_EQ(Render(control.m_hWnd, 34, 19), RGB(255, 0, 0));
  EXPECT_NE(Render(control.m_hWnd, 14, 10), RGB(255, 0, 0));
  EXPECT_NE(Render(control.m_hWnd, 35, 20), RGB(255, 0, 0));
  control.SetPictureSource(L"", nullptr);
  test::PumpFor(50);
  EXPECT_FALSE(control.HasPicture());

  // A 14-pixel alpha icon at 1.25 covers 17 x 17 pixels; transparent pixels keep what is under them.
  BITMAPINFO info = {};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), 14, -14, 1, 32, BI_RGB};
  void* raw = nullptr;
  UniqueBitmap icon(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &raw, nullptr, 0));
  auto* bits = static_cast<DWORD*>(raw);
  for (int i = 0; i < 14 * 14; ++i) bits[i] = 0xFF0000FF;  // opaque blue, premultiplied
  bits[0] = 0;                                             // one transparent pixel
  ASSERT_TRUE(DpiScale::InitFromDpi(120));
  control.SetAlphaIcon(true);
  control.SetIconBitmap(icon.get(), 14, 14, 2, 3);
  EXPECT_EQ(Render(control.m_hWnd, 2 + 16, 3 + 16), RGB(0, 0, 255));
  EXPECT_NE(Render(control.m_hWnd, 2 + 17, 3 + 17), RGB(0, 0, 255));
  EXPECT_NE(Render(control.m_hWnd, 2, 3), RGB(0, 0, 255));
  // Without alpha the icon keeps its size and RGB(255,0,255) is transparent.
  for (int i = 0; i < 14 * 14; ++i) bits[i] = 0x00FF00FF;
  bits[14 * 5 + 5] = 0x0000FF00;
  ::GdiFlush();
  control.SetAlphaIcon(false);
  EXPECT_EQ(Render(control.m_hWnd, 2 + 5, 3 + 5), RGB(0, 255, 0));
  EXPECT_NE(Render(control.m_hWnd, 2 + 6, 3 + 6), RGB(255, 0, 255));
}

class RegistryValue {
 public:
  RegistryValue(const wchar_t* name, const wchar_t* text) : name_(name) {
    ::RegSetKeyValueW(HKEY_CURRENT_USER, kKey, name, REG_SZ, text,
                      static_cast<DWORD>((wcslen(text) + 1) * sizeof(wchar_t)));
  }
  ~RegistryValue() { ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kKey, name_); }

 private:
  static constexpr const wchar_t* kKey = L"Software\\Microsoft\\Internet Explorer\\Settings";
  const wchar_t* name_;
};

TEST_F(ControlTest, LinkColoursComeFromTheUsersInternetSettings) {
  {
    RegistryValue color(L"Anchor Color", L"0,128,255");
    RegistryValue visited(L"Anchor Color Visited", L"1,2");  // not three numbers: skipped
    CHyperLinkEx link;
    ASSERT_TRUE(link.SubclassWindow(Static(L"Example", 80, 20)));
    link.Init();
    EXPECT_EQ(link.LinkColor(), RGB(0, 128, 255));
    EXPECT_EQ(link.VisitedColor(), RGB(128, 0, 128));
  }
  {
    RegistryValue color(L"Anchor Color", L"000000000255,0,0");  // longer than 24 bytes: skipped
    RegistryValue visited(L"Anchor Color Visited", L"9,8,7");
    CHyperLinkEx link;
    ASSERT_TRUE(link.SubclassWindow(Static(L"Example", 80, 20)));
    link.Init();
    EXPECT_EQ(link.LinkColor(), RGB(0, 0, 255));
    EXPECT_EQ(link.VisitedColor(), RGB(9, 8, 7));
  }
}

TEST_F(ControlTest, LinkActivationByStyle) {
  auto click = [](CHyperLinkEx& link) {
    RECT r = link.LinkRect();
    LPARAM point = MAKELPARAM(r.left + 1, r.top + 1);
    ::SendMessageW(link.m_hWnd, WM_LBUTTONDOWN, MK_LBUTTON, point);
    ::SendMessageW(link.m_hWnd, WM_LBUTTONUP, 0, point);
  };
  CHyperLinkEx notify;
  notify.SetExtendedStyle(CHyperLinkEx::kNotifyButton);
  ASSERT_TRUE(notify.SubclassWindow(Static(L"Notify me", 120, 20)));
  notify.Init();
  EXPECT_TRUE(::GetWindowLongPtrW(notify.m_hWnd, GWL_STYLE) & SS_NOTIFY);
  EXPECT_TRUE(notify.LinkFont());
  click(notify);
  auto notes = parent_.Received(WM_NOTIFY);
  ASSERT_EQ(notes.size(), 1u);
  const auto* header = reinterpret_cast<const NMHDR*>(notes[0].payload.data());
  EXPECT_EQ(header->hwndFrom, notify.m_hWnd);
  EXPECT_EQ(header->idFrom, 7u);
  EXPECT_EQ(header->code, static_cast<UINT>(NM_CLICK));
  EXPECT_TRUE(parent_.Received(WM_COMMAND).empty());

  CHyperLinkEx command;  // the default style: underline on hover, command button
  ASSERT_TRUE(command.SubclassWindow(Static(L"Do it", 120, 20)));
  command.Init();
  EXPECT_EQ(command.HyperLink(), L"");  // a command button keeps no target
  click(command);
  auto commands = parent_.Received(WM_COMMAND);
  ASSERT_EQ(commands.size(), 1u);
  EXPECT_EQ(commands[0].wParam, MAKEWPARAM(7, 0));
  EXPECT_EQ(commands[0].lParam, reinterpret_cast<LPARAM>(command.m_hWnd));

  // A plain link takes its label as its target; with tags only the tagged part is the link.
  CHyperLinkEx plain;
  plain.SetExtendedStyle(CHyperLinkEx::kUseTags);
  ASSERT_TRUE(plain.SubclassWindow(Static(L"Go <A>there</a> now", 200, 20)));
  plain.Init();
  EXPECT_EQ(plain.HyperLink(), L"Go <A>there</a> now");
  EXPECT_GT(plain.LinkRect().left, 0);
  CHyperLinkEx whole;
  ASSERT_TRUE(whole.SubclassWindow(Static(L"there", 200, 20)));
  whole.Init();
  EXPECT_EQ(plain.LinkRect().right - plain.LinkRect().left, whole.LinkRect().right - whole.LinkRect().left);

  // Picture statics are left to the platform's painting.
  CHyperLinkEx frame;
  ASSERT_TRUE(frame.SubclassWindow(Static(L"", 20, 20, SS_BLACKFRAME)));
  frame.Init();
  EXPECT_FALSE(frame.PaintsLabel());
  // Without a link font the link is measured in the DC's own font, not in the control's font.
  EXPECT_EQ(frame.LinkFont(), nullptr);
  UniqueFont tall(::CreateFontW(-40, 0, 0, 0, FW_NORMAL, 0, 0, 0, 0, 0, 0, 0, 0, L"Tahoma"));
  ::SendMessageW(frame.m_hWnd, WM_SETFONT, reinterpret_cast<WPARAM>(tall.get()), FALSE);
  frame.SetLabel(L"Tall");
  HDC dc = ::GetDC(frame.m_hWnd);
  RECT own = {0, 0, 20, 20};
  ::DrawTextW(dc, L"Tall", -1, &own, DT_CALCRECT | DT_WORDBREAK);
  ::ReleaseDC(frame.m_hWnd, dc);
  EXPECT_EQ(frame.LinkRect().bottom - frame.LinkRect().top, own.bottom - own.top);
  EXPECT_LT(own.bottom - own.top, 40);
}

TEST_F(ControlTest, ANewLinkWindowInitialisesItself) {
  CHyperLinkEx link;
  RECT rect = {0, 0, 100, 20};
  ASSERT_TRUE(link.Create(parent_.hwnd(), rect, L"Create", WS_CHILD | WS_VISIBLE, 9));
  EXPECT_EQ(link.Label(), L"Create");
  EXPECT_EQ(link.LinkColor(), CHyperLinkEx::kBandLinkColor);
  EXPECT_EQ(link.HoverColor(), CHyperLinkEx::kBandHoverColor);
  EXPECT_TRUE(::IsWindow(link.ToolTipWindow()));
  HWND tip = link.ToolTipWindow();
  link.DestroyWindow();
  EXPECT_FALSE(::IsWindow(tip));
}

}  // namespace
}  // namespace quillan
