// Bars that were taken away while a window of another process lived in them.
//
// Destroying a window destroys its children, and a child that belongs to another thread is destroyed
// by that thread: while the desktop application does not answer, DestroyWindow on its bar would wait
// for as long as the application sleeps. So a bar whose foreign children do not all answer at once is
// hidden, moved into a hidden window of this thread (off Explorer's window tree, so that closing the
// Explorer window does not reach it either) and destroyed later, once its foreign children answer or
// are gone. Until then the bar is a live window of this module, which keeps the module loaded.
#pragma once

#include <windows.h>

#include <memory>
#include <vector>

#include "base/window_impl_base.h"
#include "ui/top_band.h"

namespace quillan {

class RetiredBars : public CWindowImplBase {
 public:
  static constexpr UINT_PTR kSweepTimer = 1;
  static constexpr UINT kSweepPeriodMs = 500;
  // How long a window of another thread may take to answer before it counts as not answering.
  static constexpr UINT kFirstProbeMs = 50;
  static constexpr UINT kSweepProbeMs = 20;

  RetiredBars() = default;
  ~RetiredBars() override;

  // Takes the bar away: destroyed now when every foreign child answers, otherwise kept here. The bar's
  // timers stop and it sends no more records either way. bar is empty afterwards.
  void Retire(std::unique_ptr<CTopBand>& bar);
  // Bars still waiting for their foreign children.
  size_t Count() const { return bars_.size(); }

  BOOL ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

  // True when every child window of another thread inside window answers within timeoutMs (a child
  // the system already counts as hung is not asked).
  static bool ForeignChildrenAnswer(HWND window, UINT timeoutMs);

 private:
  void Sweep();

  std::vector<std::unique_ptr<CTopBand>> bars_;
};

// The retired bars of the calling thread (one lot per Explorer thread).
RetiredBars& ThreadRetiredBars();

}  // namespace quillan
