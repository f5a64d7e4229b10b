#include "base/dialog_impl.h"

namespace quillan {
namespace {

const LONG_PTR kDetached = -1;

// Messages whose answer the dialog procedure returns itself instead of through DWLP_MSGRESULT.
bool AnswersDirectly(UINT message) {
  switch (message) {
    case WM_INITDIALOG:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
      return true;
    default:
      return false;
  }
}

}  // namespace

HWND CDialogImplBase::CreateFromTemplate(HMODULE module, UINT templateId, HWND parent, LPARAM initParam) {
  if (m_hWnd) return nullptr;
  PendingCreation pending(this);
  return ::CreateDialogParamW(module, MAKEINTRESOURCEW(templateId), parent, DialogProc, initParam);
}

INT_PTR CALLBACK CDialogImplBase::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  LONG_PTR slot = ::GetWindowLongPtrW(window, DWLP_USER);
  CWindowImplBase* object = slot == kDetached ? nullptr : reinterpret_cast<CWindowImplBase*>(slot);
  if (!object && slot != kDetached) {
    object = TakePendingCreation();
    if (object) static_cast<CDialogImplBase*>(object)->Bind(window, Binding::kDialog);
  }
  if (!object) return FALSE;

  bool handled = false;
  LRESULT result = Dispatch(object, window, message, wParam, lParam, &handled);
  if (message == WM_NCDESTROY) {
    static_cast<CDialogImplBase*>(object)->Unbind();
    object->OnFinalMessage(window);
    // The dialog manager frees its own state (the template font among it) after us.
    return FALSE;
  }
  if (!handled) return FALSE;
  if (AnswersDirectly(message)) return static_cast<INT_PTR>(result);
  ::SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
  return TRUE;
}

}  // namespace quillan
