// The window framework: one C++ object per window, one ProcessWindowMessage per class.
//
// A window reaches its object in one of three ways:
//   - Create: a window of a class this module registers (the class procedure is ours);
//   - SubclassWindow: an existing window, such as a dialog item, hooked with SetWindowSubclass;
//   - CDialogImpl::Create (dialog_impl.h): a modeless dialog from a template resource.
// No code is generated at run time: the procedures are plain functions of this module and the
// object is found through the window's own storage (class extra bytes, DWLP_USER or the subclass
// reference data). An object is detached from its window on WM_NCDESTROY, after which it may be
// reused or destroyed; an object destroyed first detaches itself (and destroys a window it created),
// so no message ever reaches freed memory.
//
// Before this module may be unloaded, LiveWindowCount() must be zero (no window still runs one of
// our procedures) and UnregisterWindowClasses() must have run (a class left registered with a
// procedure inside an unloaded image crashes the next window of that class).
#pragma once

#include <windows.h>

#include <string>

namespace quillan {

// What a window class of this module looks like; registered on first use.
struct WindowClassInfo {
  const wchar_t* name;
  UINT style;
  HBRUSH background;      // a brush handle or COLOR_xxx + 1
  const wchar_t* cursor;  // a system cursor id (IDC_ARROW) or nullptr
};

class CWindowImplBase {
 public:
  CWindowImplBase() = default;
  CWindowImplBase(const CWindowImplBase&) = delete;
  CWindowImplBase& operator=(const CWindowImplBase&) = delete;

  // The message map: returns TRUE when the message was handled, with its answer in result;
  // FALSE passes it on to the default processing of the window.
  virtual BOOL ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) = 0;
  virtual ~CWindowImplBase();
  // The class procedure that windows created by Create run.
  virtual WNDPROC GetWindowProc();
  // Called once the window is gone (after WM_NCDESTROY); the object is already detached and may
  // delete itself here.
  virtual void OnFinalMessage(HWND window);

  // Creates a window of the given class (registered on first use). Returns the window or null.
  HWND Create(const WindowClassInfo& windowClass, HWND parent, const RECT& rect, const wchar_t* title, DWORD style,
              DWORD exStyle = 0, UINT_PTR idOrMenu = 0, void* createParam = nullptr);
  // Hooks an existing window of this thread. Fails when this object already has a window.
  bool SubclassWindow(HWND window);
  // Unhooks a subclassed window without destroying it.
  bool UnsubclassWindow();
  // Destroys the window (when it still exists); the object is detached on WM_NCDESTROY.
  bool DestroyWindow();

  HWND m_hWnd = nullptr;
  HWND window() const { return m_hWnd; }
  bool IsWindow() const { return m_hWnd != nullptr && ::IsWindow(m_hWnd) != FALSE; }
  // Forgets the window when it no longer exists (destroyed without messages, e.g. with its thread).
  // Returns true when it did.
  bool ForgetIfDestroyed();

  // Windows that are currently bound to an object of this module.
  static long LiveWindowCount();
  // Registers a class once per process; the atom, or 0 on failure.
  static ATOM RegisterWindowClass(const WindowClassInfo& windowClass, WNDPROC procedure);
  // Unregisters every class registered through RegisterWindowClass (at module unload). A class
  // whose windows still exist stays registered; returns false then.
  static bool UnregisterWindowClasses();

 protected:
  // The default processing for the way the window is bound: DefWindowProcW, the next subclass
  // procedure, or the dialog manager (which answers FALSE to the dialog procedure).
  LRESULT DefaultProc(UINT message, WPARAM wParam, LPARAM lParam);

  enum class Binding { kNone, kOwnClass, kSubclass, kDialog };
  Binding binding() const { return binding_; }

  // Used by the dialog base: binds a window to this object, or detaches it.
  void Bind(HWND window, Binding binding);
  void Unbind();
  // Offers this object to the next window created on this thread (ours or a dialog), for the
  // messages that arrive before CreateWindowExW or CreateDialogParamW returns.
  class PendingCreation {
   public:
    explicit PendingCreation(CWindowImplBase* object);
    ~PendingCreation();
    PendingCreation(const PendingCreation&) = delete;
    PendingCreation& operator=(const PendingCreation&) = delete;

   private:
    CWindowImplBase* object_;
  };
  static CWindowImplBase* TakePendingCreation();

  // Runs the object's map for one message and, after WM_NCDESTROY, detaches it and calls
  // OnFinalMessage. handled tells whether the map answered.
  static LRESULT Dispatch(CWindowImplBase* object, HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                          bool* handled);

 private:
  static LRESULT CALLBACK ClassWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                       DWORD_PTR refData);

  Binding binding_ = Binding::kNone;
};

// The window's whole text; empty when it has none or is gone.
std::wstring WindowText(HWND window);

}  // namespace quillan
