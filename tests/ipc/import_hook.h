// Redirects one imported function of this test program (its import address table entry) to a
// replacement for the hook's lifetime, so that a test can see how the code under test calls the system.
#pragma once

#include <windows.h>

namespace quillan::test {

class ImportHook {
 public:
  // dll is compared without regard to case; original() gives the function that was there.
  ImportHook(const char* dll, const char* function, void* replacement);
  ~ImportHook();
  ImportHook(const ImportHook&) = delete;
  ImportHook& operator=(const ImportHook&) = delete;

  bool installed() const { return slot_ != nullptr; }
  void* original() const { return original_; }

 private:
  void** slot_ = nullptr;
  void* original_ = nullptr;
};

}  // namespace quillan::test
