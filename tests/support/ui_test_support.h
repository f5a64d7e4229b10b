// Helpers of the bar's and the menu's tests: a 32-bit canvas that windows print into, GDI and USER
// object counts, a window of a given class that keeps the records sent to it, expected record bytes.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/handle.h"

namespace quillan::test {

// A top-down 32-bit bitmap selected into a memory DC.
class Canvas {
 public:
  Canvas(int width, int height, COLORREF fill = RGB(0, 0, 0));
  HDC dc() const { return dc_.get(); }
  COLORREF Pixel(int x, int y) const;
  bool Contains(const RECT& area, COLORREF color) const;  // some pixel of the area has the colour
  bool SaveBmp(const std::wstring& path) const;

 private:
  UniqueBitmap bitmap_;
  UniqueMemoryDc dc_;  // destroyed first, with the bitmap still in it
  uint32_t* bits_ = nullptr;
  int width_, height_;
};

// Prints a window and its visible children (bottom of the z-order first) into the canvas with
// WM_PRINTCLIENT, as the screen would show them.
void PrintWindowTree(HWND window, Canvas* canvas);
// A window's rectangle in its parent's client coordinates.
RECT RectInParent(HWND window);
// GDI and USER objects of this process: GetGuiResources where the system implements it; under Wine,
// which does not, the live GDI handles and the windows of this thread.
long GdiObjectCount();
long UserObjectCount();

// A top-level window of the given class that keeps every WM_COPYDATA record sent to it (answered 1).
class RecordingWindow {
 public:
  struct Record {
    ULONG_PTR code;
    std::string payload;
  };
  explicit RecordingWindow(const wchar_t* className);
  ~RecordingWindow();
  RecordingWindow(const RecordingWindow&) = delete;
  RecordingWindow& operator=(const RecordingWindow&) = delete;
  HWND hwnd() const { return window_; }
  const std::vector<Record>& Received() const { return records_; }
  void Clear() { records_.clear(); }

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  std::wstring className_;
  HWND window_ = nullptr;
  std::vector<Record> records_;
};

// Expected record bytes, little-endian, written field by field as the record layouts give them.
class Bytes {
 public:
  Bytes& Int(uint64_t value, int width) {
    for (int i = 0; i < width; ++i) data_.push_back(static_cast<char>(value >> (8 * i)));
    return *this;
  }
  Bytes& Handle(const void* window) { return Int(reinterpret_cast<intptr_t>(window), 8); }
  // A UTF-16 field of `units` code units, zero-padded; units 0: the text and its terminating zero.
  Bytes& Text(const std::wstring& text, size_t units = 0) {
    for (size_t i = 0; i < (units ? units : text.size() + 1); ++i) Int(i < text.size() ? text[i] : 0, 2);
    return *this;
  }
  const std::string& str() const { return data_; }

 private:
  std::string data_;
};

}  // namespace quillan::test
