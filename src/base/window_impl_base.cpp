#include "base/window_impl_base.h"

#include <commctrl.h>

#include <string>
#include <vector>

#include "base/handle.h"
#include "base/module.h"
#include "base/subclass.h"

namespace quillan {
namespace {

// Stored in a window's object slot once its object has left: such a window never picks up a
// pending object meant for another window.
const LONG_PTR kDetached = -1;

// The subclass id of our hook; the object travels in the reference data.
const UINT_PTR kSubclassId = 0x51554C4C;  // 'QULL'

volatile LONG g_liveWindows = 0;

// Objects waiting for the first message of the window being created for them, newest first.
struct Pending {
  DWORD threadId;
  CWindowImplBase* object;
  Pending* next;
};

CriticalSection& StateLock() {
  static CriticalSection lock;
  return lock;
}
Pending* g_pending = nullptr;
std::vector<std::wstring>* g_registeredClasses = nullptr;

}  // namespace

CWindowImplBase::~CWindowImplBase() {
  HWND window = m_hWnd;
  Binding binding = binding_;
  Unbind();
  // A window we created must not outlive its object: without the object it would be an orphan
  // running default processing only, which no caller expects.
  if ((binding == Binding::kOwnClass || binding == Binding::kDialog) && window && ::IsWindow(window)) {
    ::DestroyWindow(window);
  }
}

WNDPROC CWindowImplBase::GetWindowProc() { return ClassWindowProc; }

void CWindowImplBase::OnFinalMessage(HWND) {}

HWND CWindowImplBase::Create(const WindowClassInfo& windowClass, HWND parent, const RECT& rect, const wchar_t* title,
                             DWORD style, DWORD exStyle, UINT_PTR idOrMenu, void* createParam) {
  if (m_hWnd) return nullptr;
  if (!RegisterWindowClass(windowClass, GetWindowProc())) return nullptr;
  PendingCreation pending(this);
  // The window binds itself to this object on its first message.
  return ::CreateWindowExW(exStyle, windowClass.name, title, style, rect.left, rect.top, rect.right - rect.left,
                           rect.bottom - rect.top, parent, reinterpret_cast<HMENU>(idOrMenu), ThisModule(),
                           createParam);
}

bool CWindowImplBase::SubclassWindow(HWND window) {
  if (m_hWnd || !window || !::IsWindow(window)) return false;
  if (!SetSubclass(window, SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this))) return false;
  Bind(window, Binding::kSubclass);
  return true;
}

bool CWindowImplBase::UnsubclassWindow() {
  if (binding_ != Binding::kSubclass) return false;
  Unbind();
  return true;
}

bool CWindowImplBase::DestroyWindow() {
  if (!m_hWnd || !::IsWindow(m_hWnd)) return false;
  return ::DestroyWindow(m_hWnd) != FALSE;
}

bool CWindowImplBase::ForgetIfDestroyed() {
  if (!m_hWnd || ::IsWindow(m_hWnd)) return false;
  // The window's storage went with it: there is nothing to unhook.
  m_hWnd = nullptr;
  binding_ = Binding::kNone;
  ::InterlockedDecrement(&g_liveWindows);
  return true;
}

long CWindowImplBase::LiveWindowCount() { return g_liveWindows; }

ATOM CWindowImplBase::RegisterWindowClass(const WindowClassInfo& windowClass, WNDPROC procedure) {
  WNDCLASSEXW existing = {};
  existing.cbSize = sizeof(existing);
  ATOM atom = static_cast<ATOM>(::GetClassInfoExW(ThisModule(), windowClass.name, &existing));
  if (atom) return atom;

  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  wc.style = windowClass.style;
  wc.lpfnWndProc = procedure;
  wc.cbWndExtra = sizeof(LONG_PTR);  // the object slot
  wc.hInstance = ThisModule();
  wc.hCursor = windowClass.cursor ? ::LoadCursorW(nullptr, windowClass.cursor) : nullptr;
  wc.hbrBackground = windowClass.background;
  wc.lpszClassName = windowClass.name;
  atom = ::RegisterClassExW(&wc);
  if (!atom) return 0;

  CriticalSectionLock lock(StateLock());
  if (!g_registeredClasses) g_registeredClasses = new std::vector<std::wstring>();
  g_registeredClasses->push_back(windowClass.name);
  return atom;
}

bool CWindowImplBase::UnregisterWindowClasses() {
  CriticalSectionLock lock(StateLock());
  if (!g_registeredClasses) return true;
  std::vector<std::wstring> kept;
  for (const std::wstring& name : *g_registeredClasses) {
    // Fails while windows of the class exist; such a class is kept for a later attempt.
    if (!::UnregisterClassW(name.c_str(), ThisModule())) kept.push_back(name);
  }
  bool all = kept.empty();
  if (all) {
    delete g_registeredClasses;
    g_registeredClasses = nullptr;
  } else {
    g_registeredClasses->swap(kept);
  }
  return all;
}

LRESULT CWindowImplBase::DefaultProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (binding_) {
    case Binding::kOwnClass:
      return ::DefWindowProcW(m_hWnd, message, wParam, lParam);
    case Binding::kSubclass:
      return DefSubclass(m_hWnd, message, wParam, lParam);
    case Binding::kDialog:
    case Binding::kNone:
      break;
  }
  return 0;
}

void CWindowImplBase::Bind(HWND window, Binding binding) {
  m_hWnd = window;
  binding_ = binding;
  if (binding == Binding::kOwnClass) ::SetWindowLongPtrW(window, 0, reinterpret_cast<LONG_PTR>(this));
  if (binding == Binding::kDialog) ::SetWindowLongPtrW(window, DWLP_USER, reinterpret_cast<LONG_PTR>(this));
  ::InterlockedIncrement(&g_liveWindows);
}

void CWindowImplBase::Unbind() {
  if (binding_ == Binding::kNone) return;
  HWND window = m_hWnd;
  if (window && ::IsWindow(window)) {
    switch (binding_) {
      case Binding::kOwnClass:
        ::SetWindowLongPtrW(window, 0, kDetached);
        break;
      case Binding::kDialog:
        ::SetWindowLongPtrW(window, DWLP_USER, kDetached);
        break;
      case Binding::kSubclass:
        // Fails only when the hook is already gone, which is the state we want.
        RemoveSubclass(window, SubclassProc, kSubclassId);
        break;
      case Binding::kNone:
        break;
    }
  }
  m_hWnd = nullptr;
  binding_ = Binding::kNone;
  ::InterlockedDecrement(&g_liveWindows);
}

CWindowImplBase::PendingCreation::PendingCreation(CWindowImplBase* object) : object_(object) {
  CriticalSectionLock lock(StateLock());
  g_pending = new Pending{::GetCurrentThreadId(), object, g_pending};
}

CWindowImplBase::PendingCreation::~PendingCreation() {
  // Normally the window took the entry on its first message; a creation that failed before any
  // message leaves it here.
  CriticalSectionLock lock(StateLock());
  for (Pending** link = &g_pending; *link; link = &(*link)->next) {
    if ((*link)->object == object_ && (*link)->threadId == ::GetCurrentThreadId()) {
      Pending* entry = *link;
      *link = entry->next;
      delete entry;
      return;
    }
  }
}

CWindowImplBase* CWindowImplBase::TakePendingCreation() {
  CriticalSectionLock lock(StateLock());
  DWORD thread = ::GetCurrentThreadId();
  for (Pending** link = &g_pending; *link; link = &(*link)->next) {
    if ((*link)->threadId == thread) {
      Pending* entry = *link;
      CWindowImplBase* object = entry->object;
      *link = entry->next;
      delete entry;
      return object;
    }
  }
  return nullptr;
}

LRESULT CWindowImplBase::Dispatch(CWindowImplBase* object, HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                  bool* handled) {
  LRESULT result = 0;
  try {
    *handled = object->ProcessWindowMessage(window, message, wParam, lParam, result) != FALSE;
  } catch (...) {
    // Nothing may unwind into the system's window code (Explorer's thread): a handler that ran out
    // of memory has done what it could, and the message counts as answered.
    *handled = true;
    result = 0;
  }
  return result;
}

LRESULT CALLBACK CWindowImplBase::ClassWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  LONG_PTR slot = ::GetWindowLongPtrW(window, 0);
  CWindowImplBase* object = slot == kDetached ? nullptr : reinterpret_cast<CWindowImplBase*>(slot);
  if (!object && slot != kDetached) {
    object = TakePendingCreation();
    if (object) object->Bind(window, Binding::kOwnClass);
  }
  if (!object) return ::DefWindowProcW(window, message, wParam, lParam);

  bool handled = false;
  LRESULT result = Dispatch(object, window, message, wParam, lParam, &handled);
  // The window's own clean-up on WM_NCDESTROY always runs.
  if (!handled || message == WM_NCDESTROY) {
    LRESULT fallback = ::DefWindowProcW(window, message, wParam, lParam);
    if (!handled) result = fallback;
  }
  if (message == WM_NCDESTROY) {
    object->Unbind();
    object->OnFinalMessage(window);
  }
  return result;
}

LRESULT CALLBACK CWindowImplBase::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                               DWORD_PTR refData) {
  auto* object = reinterpret_cast<CWindowImplBase*>(refData);
  bool handled = false;
  LRESULT result = Dispatch(object, window, message, wParam, lParam, &handled);
  if (!handled || message == WM_NCDESTROY) {
    LRESULT fallback = DefSubclass(window, message, wParam, lParam);
    if (!handled) result = fallback;
  }
  if (message == WM_NCDESTROY) {
    object->Unbind();
    object->OnFinalMessage(window);
  }
  return result;
}

std::wstring WindowText(HWND window) {
  int length = ::GetWindowTextLengthW(window);
  if (length <= 0) return std::wstring();
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  int copied = ::GetWindowTextW(window, &text[0], length + 1);
  text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
  return text;
}

}  // namespace quillan
