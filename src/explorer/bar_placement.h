// Where the bar sits in an Explorer window: the three windows it lives with (found by the view-window
// search), the bar across the top of the pane with the folder view pushed down by its height, and the
// subclasses that keep Explorer from moving the view back under the bar and that turn the items
// window's input into selection checks.
#pragma once

#include <windows.h>
#include <shobjidl.h>

#include <cstdint>

#include "explorer/view_window_search.h"

namespace quillan {

class BarPlacement {
 public:
  // What the subclasses need of the host.
  class Owner {
   public:
    virtual HWND BarWindow() const = 0;
    // The items window got input that may have changed the selection.
    virtual void OnItemsInput() = 0;

   protected:
    ~Owner() = default;
  };

  static constexpr int32_t kDesignHeight = 39;  // at 96 DPI

  explicit BarPlacement(Owner& owner) : owner_(owner) {}
  ~BarPlacement() { StopWatch(); }
  BarPlacement(const BarPlacement&) = delete;
  BarPlacement& operator=(const BarPlacement&) = delete;

  // The fast path from the active view alone, or the full search of the Explorer frame's tree.
  static bool FindFast(IShellBrowser* browser, ViewWindows* found);
  static bool FindFull(IShellBrowser* browser, ViewWindows* found);

  const ViewWindows& windows() const { return windows_; }
  void SetWindows(const ViewWindows& windows) { windows_ = windows; }
  void SetItems(HWND items) { windows_.items = items; }
  // Forgets the windows and the pane's last size.
  void Clear();
  // The pane, the view and the items window all exist.
  bool WindowsExist() const;

  int32_t height() const { return height_; }
  void SetHeight(int32_t height) { height_ = height; }
  // The next placement moves the bar even when the pane kept its size.
  void ForgetPaneSize() { lastPaneRect_ = RECT{}; }

  // Puts the bar across the top of the pane and pushes the view down, when force is set or the pane
  // changed its size since the last placement. False when the pane cannot be measured.
  bool ShowBar(HWND bar, bool force);
  // Hides the bar and gives the view its full height back.
  bool HideBar(HWND bar);

  // Subclasses the view and items windows (on the systems whose window trees the search knows).
  void StartWatch();
  void StopWatch();

 private:
  static LRESULT CALLBACK ViewProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                   DWORD_PTR refData);
  static LRESULT CALLBACK ItemsProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                    DWORD_PTR refData);
  LRESULT OnViewMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnItemsMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  Owner& owner_;
  ViewWindows windows_;
  int32_t height_ = kDesignHeight;
  RECT lastPaneRect_ = {};
  bool viewSubclassed_ = false;
  bool itemsSubclassed_ = false;
};

}  // namespace quillan
