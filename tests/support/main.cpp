// Entry point of every test program: an STA thread, as on Explorer's UI threads.
#include <objbase.h>
#include <windows.h>

#include <gmock/gmock.h>

int main(int argc, char** argv) {
  // A crash must end the test, never wait on a dialog.
  ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  ::OleInitialize(nullptr);
  ::testing::InitGoogleMock(&argc, argv);
  int result = RUN_ALL_TESTS();
  ::OleUninitialize();
  return result;
}
