// Modeless dialogs from template resources, on the window framework of window_impl_base.h.
// The dialog's object receives every message the dialog manager passes to the dialog procedure,
// from the WM_SETFONT of the template's font (before WM_INITDIALOG) to WM_NCDESTROY.
#pragma once

#include <windows.h>

#include "base/module.h"
#include "base/window_impl_base.h"

namespace quillan {

class CDialogImplBase : public CWindowImplBase {
 public:
  // Creates the dialog from template resource templateId of module as a child or owned window of
  // parent; initParam arrives with WM_INITDIALOG. Returns the dialog window or null.
  HWND CreateFromTemplate(HMODULE module, UINT templateId, HWND parent, LPARAM initParam = 0);

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
};

// T names its template with a member IDD.
template <typename T>
class CDialogImpl : public CDialogImplBase {
 public:
  HWND Create(HWND parent, LPARAM initParam = 0) { return CreateFromTemplate(ThisModule(), T::IDD, parent, initParam); }
};

}  // namespace quillan
