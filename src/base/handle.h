// Move-only owners for kernel handles, find handles, GDI objects, windows, modules, menus and
// global memory. One template, one small traits type per release function.
#pragma once

#include <windows.h>

#include <utility>

namespace quillan {

template <typename Traits>
class UniqueResource {
 public:
  using value_type = typename Traits::value_type;

  UniqueResource() noexcept : value_(Traits::Invalid()) {}
  explicit UniqueResource(value_type value) noexcept : value_(value) {}
  UniqueResource(UniqueResource&& other) noexcept : value_(other.release()) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;
  ~UniqueResource() { reset(); }

  value_type get() const noexcept { return value_; }
  bool valid() const noexcept { return value_ != Traits::Invalid(); }
  explicit operator bool() const noexcept { return valid(); }

  // Gives up ownership without releasing.
  value_type release() noexcept { return std::exchange(value_, Traits::Invalid()); }

  void reset(value_type value = Traits::Invalid()) noexcept {
    value_type old = std::exchange(value_, value);
    if (old != Traits::Invalid()) Traits::Close(old);
  }

  // For out-parameters of creating functions: releases the current value first.
  value_type* put() noexcept {
    reset();
    return &value_;
  }

 private:
  value_type value_;
};

namespace traits {

struct KernelHandle {  // events, threads, processes, mutexes: invalid is null
  using value_type = HANDLE;
  static HANDLE Invalid() noexcept { return nullptr; }
  static void Close(HANDLE h) noexcept { ::CloseHandle(h); }
};

struct FileHandle {  // CreateFileW and pipes: invalid is INVALID_HANDLE_VALUE
  using value_type = HANDLE;
  static HANDLE Invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) noexcept { ::CloseHandle(h); }
};

struct FindHandle {
  using value_type = HANDLE;
  static HANDLE Invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) noexcept { ::FindClose(h); }
};

template <typename T>
struct GdiObject {
  using value_type = T;
  static T Invalid() noexcept { return nullptr; }
  static void Close(T h) noexcept { ::DeleteObject(h); }
};

struct MemoryDc {
  using value_type = HDC;
  static HDC Invalid() noexcept { return nullptr; }
  static void Close(HDC h) noexcept { ::DeleteDC(h); }
};

struct Window {
  using value_type = HWND;
  static HWND Invalid() noexcept { return nullptr; }
  static void Close(HWND h) noexcept {
    if (::IsWindow(h)) ::DestroyWindow(h);
  }
};

struct Module {
  using value_type = HMODULE;
  static HMODULE Invalid() noexcept { return nullptr; }
  static void Close(HMODULE h) noexcept { ::FreeLibrary(h); }
};

struct Menu {
  using value_type = HMENU;
  static HMENU Invalid() noexcept { return nullptr; }
  static void Close(HMENU h) noexcept { ::DestroyMenu(h); }
};

struct GlobalMemory {
  using value_type = HGLOBAL;
  static HGLOBAL Invalid() noexcept { return nullptr; }
  static void Close(HGLOBAL h) noexcept { ::GlobalFree(h); }
};

struct RegistryKey {
  using value_type = HKEY;
  static HKEY Invalid() noexcept { return nullptr; }
  static void Close(HKEY h) noexcept { ::RegCloseKey(h); }
};

}  // namespace traits

using UniqueHandle = UniqueResource<traits::KernelHandle>;
using UniqueFile = UniqueResource<traits::FileHandle>;
using UniqueFind = UniqueResource<traits::FindHandle>;
using UniqueBitmap = UniqueResource<traits::GdiObject<HBITMAP>>;
using UniqueFont = UniqueResource<traits::GdiObject<HFONT>>;
using UniqueBrush = UniqueResource<traits::GdiObject<HBRUSH>>;
using UniquePen = UniqueResource<traits::GdiObject<HPEN>>;
using UniqueRegion = UniqueResource<traits::GdiObject<HRGN>>;
using UniqueMemoryDc = UniqueResource<traits::MemoryDc>;
using UniqueWindow = UniqueResource<traits::Window>;
using UniqueModule = UniqueResource<traits::Module>;
using UniqueMenu = UniqueResource<traits::Menu>;
using UniqueGlobal = UniqueResource<traits::GlobalMemory>;
using UniqueKey = UniqueResource<traits::RegistryKey>;

// A window DC from GetDC, given back with ReleaseDC.
class WindowDc {
 public:
  explicit WindowDc(HWND window) noexcept : window_(window), dc_(::GetDC(window)) {}
  ~WindowDc() {
    if (dc_) ::ReleaseDC(window_, dc_);
  }
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  HDC get() const noexcept { return dc_; }
  explicit operator bool() const noexcept { return dc_ != nullptr; }

 private:
  HWND window_;
  HDC dc_;
};

// Selects an object into a DC and selects the previous one back on destruction.
class SelectObjectScope {
 public:
  SelectObjectScope(HDC dc, HGDIOBJ object) noexcept
      : dc_(dc), previous_(object ? ::SelectObject(dc, object) : nullptr) {}
  ~SelectObjectScope() {
    if (previous_) ::SelectObject(dc_, previous_);
  }
  SelectObjectScope(const SelectObjectScope&) = delete;
  SelectObjectScope& operator=(const SelectObjectScope&) = delete;

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

// BeginPaint and EndPaint around a WM_PAINT.
class PaintScope {
 public:
  explicit PaintScope(HWND window) noexcept : window_(window), dc_(::BeginPaint(window, &paint_)) {}
  ~PaintScope() { ::EndPaint(window_, &paint_); }
  PaintScope(const PaintScope&) = delete;
  PaintScope& operator=(const PaintScope&) = delete;
  HDC dc() const noexcept { return dc_; }

 private:
  HWND window_;
  PAINTSTRUCT paint_ = {};
  HDC dc_;
};

// WM_PAINT and WM_PRINTCLIENT alike: paint(dc) into the DC that wParam gives, or into the window's
// own between BeginPaint and EndPaint.
template <typename Paint>
void PaintInto(HWND window, WPARAM wParam, Paint paint) {
  if (wParam) {
    paint(reinterpret_cast<HDC>(wParam));
    return;
  }
  PaintScope scope(window);
  if (scope.dc()) paint(scope.dc());
}

// Text drawn in a colour over a transparent background; the DC's colour and mode come back after.
class TextStyleScope {
 public:
  TextStyleScope(HDC dc, COLORREF color) noexcept
      : dc_(dc), mode_(::SetBkMode(dc, TRANSPARENT)), color_(::SetTextColor(dc, color)) {}
  ~TextStyleScope() {
    ::SetTextColor(dc_, color_);
    if (mode_) ::SetBkMode(dc_, mode_);
  }
  TextStyleScope(const TextStyleScope&) = delete;
  TextStyleScope& operator=(const TextStyleScope&) = delete;
  void SetColor(COLORREF color) noexcept { ::SetTextColor(dc_, color); }

 private:
  HDC dc_;
  int mode_;
  COLORREF color_;
};

// A critical section and its scoped lock.
class CriticalSection {
 public:
  CriticalSection() noexcept { ::InitializeCriticalSection(&section_); }
  ~CriticalSection() { ::DeleteCriticalSection(&section_); }
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;
  void Enter() noexcept { ::EnterCriticalSection(&section_); }
  void Leave() noexcept { ::LeaveCriticalSection(&section_); }

 private:
  CRITICAL_SECTION section_;
};

class CriticalSectionLock {
 public:
  explicit CriticalSectionLock(CriticalSection& section) noexcept : section_(section) { section_.Enter(); }
  ~CriticalSectionLock() { section_.Leave(); }
  CriticalSectionLock(const CriticalSectionLock&) = delete;
  CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

 private:
  CriticalSection& section_;
};

}  // namespace quillan
