// A bar as the host window makes it: created hidden in a parent window, given an avatar and an
// account, then placed across the parent at 39 pixels times the scale and shown.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>

#include "test_support.h"
#include "ui/dpi_scale.h"
#include "ui/top_band.h"
#include "ui_test_support.h"

namespace quillan::test {

// The dialog items: avatar, name, status icon, message, login link.
inline constexpr int kBandItems[] = {1002, 1003, 1004, 1000, 1001};

class BandTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(DpiScale::Init()); }
  void TearDown() override {
    band_.reset();
    ::DestroyWindow(parent_);
  }

  void Open(int width, bool loggedIn = false) {
    band_ = std::make_unique<CTopBand>();
    band_->SetHostWindow(host_.hwnd());
    ASSERT_TRUE(band_->Create(parent_));
    ::ShowWindow(band(), SW_HIDE);
    band_->SetAvatar(L"");
    band_->SetAccountInfo(L"user", L"Nick", L"Enterprise", L"uid-1", L"eid-1", loggedIn, true);
    Place(width);
  }
  void Place(int width) {
    ::SetWindowPos(band(), HWND_TOP, 0, 0, width, height(), SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
  }
  HWND band() const { return band_->m_hWnd; }
  HWND Item(int id) const { return ::GetDlgItem(band(), id); }
  int height() const { return DpiScale::Scaled(39); }
  // Whether the printed bar shows the colour somewhere inside the item.
  bool Shows(int id, COLORREF color) const {
    Canvas canvas(800, height());
    PrintWindowTree(band(), &canvas);
    return canvas.Contains(RectInParent(Item(id)), color);
  }

  HWND parent_ = CreateTestParent(800, 120);
  RecordingWindow host_{L"QuillanTestHost", WS_POPUP};
  std::unique_ptr<CTopBand> band_;
};

}  // namespace quillan::test
