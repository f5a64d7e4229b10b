// A bar as the host window makes it: created hidden in a parent window, given an avatar and an
// account, then placed across the parent at 39 pixels times the scale and shown.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>

#include "ui/dpi_scale.h"
#include "ui/top_band.h"
#include "ui_test_support.h"

namespace quillan::test {

class BandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    parent_ = CreateTestParent(800, 120);
    ASSERT_TRUE(parent_);
  }
  void TearDown() override {
    band_.reset();
    if (::IsWindow(parent_)) ::DestroyWindow(parent_);
  }

  void Open(int width, bool loggedIn = false, const std::wstring& nickname = L"Nick",
            const std::wstring& userName = L"user") {
    band_ = std::make_unique<CTopBand>();
    band_->SetHostWindow(host_.hwnd());
    ASSERT_TRUE(band_->Create(parent_));
    ::ShowWindow(band(), SW_HIDE);
    band_->SetAvatar(L"");
    band_->SetAccountInfo(userName, nickname, L"Enterprise", L"uid-1", L"eid-1", loggedIn, true);
    Place(width);
  }
  void Place(int width) {
    ::SetWindowPos(band(), HWND_TOP, 0, 0, width, DpiScale::Scaled(39), SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
  }
  HWND band() const { return band_->m_hWnd; }
  int height() const { return DpiScale::Scaled(39); }
  std::wstring Text(HWND window) const {
    wchar_t text[256] = {};
    ::GetWindowTextW(window, text, 256);
    return text;
  }

  HWND parent_ = nullptr;
  RecordingWindow host_{L"QuillanTestHost", WS_POPUP};
  std::unique_ptr<CTopBand> band_;
};

}  // namespace quillan::test
