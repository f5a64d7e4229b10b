// Helpers of the bar's tests: a 32-bit canvas that windows print into, GDI and USER object counts,
// the windows the bar talks to (host window, application main window) and expected record bytes.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace quillan::test {

// A top-down 32-bit DIB section selected into a memory DC.
class Canvas {
 public:
  Canvas(int width, int height, COLORREF fill = RGB(0, 0, 0));
  ~Canvas();
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  HDC dc() const { return dc_; }
  COLORREF Pixel(int x, int y) const;
  // True when some pixel of the rectangle has exactly this colour.
  bool Contains(const RECT& area, COLORREF color) const;
  // The whole image as a BMP file, written by GDI+.
  bool SaveBmp(const std::wstring& path) const;

 private:
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ previous_ = nullptr;
  uint32_t* bits_ = nullptr;
  int width_;
  int height_;
};

// Prints window and its visible children (recursively, bottom of the z-order first) into the canvas
// with WM_PRINTCLIENT, as the screen would show them.
void PrintWindowTree(HWND window, Canvas* canvas);

// A window's rectangle in its parent's client coordinates.
RECT RectInParent(HWND window);

// GDI and USER objects of this process: GetGuiResources where the system implements it; under
// Wine, which does not, the live GDI handles and the windows of this thread.
long GdiObjectCount();
long UserObjectCount();

// A top-level window of the given class that records every message sent to it.
class RecordingWindow {
 public:
  struct Message {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    ULONG_PTR code;       // WM_COPYDATA: dwData
    std::string payload;  // WM_COPYDATA: the bytes
  };

  explicit RecordingWindow(const wchar_t* className, DWORD style = WS_OVERLAPPEDWINDOW);
  ~RecordingWindow();
  RecordingWindow(const RecordingWindow&) = delete;
  RecordingWindow& operator=(const RecordingWindow&) = delete;

  HWND hwnd() const { return window_; }
  std::vector<Message> Received(UINT message) const;
  void Clear() { messages_.clear(); }

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  std::wstring className_;
  HWND window_ = nullptr;
  std::vector<Message> messages_;
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
