// Helpers of the cloud bar's tests: the desktop application's configuration under an AppData root (a
// temporary one, or the prefix's own for the DLL in another process), and the window lines of an
// Explorer stand-in's "dump".
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "account_files.h"
#include "com_test_support.h"
#include "desktop_app_driver.h"
#include "explorer_driver.h"
#include "ipc/records.h"
#include "test_support.h"

namespace quillan::test {

// The DLL registered in the prefix for one test, as an installer would, and unregistered after it.
struct Registration {
  Registration() { EXPECT_EQ(RunRegsvr32(L""), 0u); }
  ~Registration() { RunRegsvr32(L"/u"); }  // a failure leaves keys no later test relies on
};

inline std::wstring Quoted(const std::wstring& path) { return L"\"" + path + L"\""; }

// Whether a window line says the window is visible.
inline bool Visible(const StandinRecord& window) { return window.Text(L"visible") == L"true"; }

// The window lines of one dump.
class Dump {
 public:
  // Runs "dump" on the stand-in's current window and keeps the lines it wrote.
  explicit Dump(ExplorerStandin& explorer);
  bool ok() const { return ok_; }
  // The window of a role (pane, view, items, frame), or of a class; null when none.
  const StandinRecord* Role(const std::wstring& role) const;
  const StandinRecord* Class(const std::wstring& className) const;
  const StandinRecord* Parent(const StandinRecord& window) const;
  // The bar: the dialog that is a child of the given window.
  const StandinRecord* BarIn(const StandinRecord& parent) const;
  std::vector<const StandinRecord*> Children(const StandinRecord& parent) const;

 private:
  std::vector<StandinRecord> lines_;
  bool ok_ = false;
};

// Records of one code received by the application from a given index on.
std::vector<DesktopAppRecord> RecordsFrom(const DesktopAppStandin& app, DWORD code, size_t from);

// The bar height the prefix's display gives: 39 pixels at 96 DPI, 48 in the 120-DPI prefix.
int ExpectedBarHeight();

// Payloads as the application must receive them.
std::vector<uint8_t> Payload(const Record& record);

// Threads of this or another process (Toolhelp).
int ThreadCount(DWORD pid = ::GetCurrentProcessId());

// Copies a file; false when it cannot.
bool CopyTo(const std::wstring& from, const std::wstring& to);

// Folder for the pictures the end-to-end steps leave (build/<arch>/pictures).
std::wstring PictureFolder();

}  // namespace quillan::test
