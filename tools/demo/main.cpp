// quillan-demo.exe: the Explorer component end to end, told step by step. scripts/demo.sh builds it and
// runs it under wine64 in a prefix of its own; it can also run by hand in any prefix (it cleans up after
// itself: processes, registration, configuration, files).
//
//   quillan-demo.exe [--install=DIR] [--root=DIR] [--pictures=DIR] [--dll=PATH]
//     --install=DIR   where the DLL and the application are installed (default C:\Program Files\Orrin):
//                     DIR\shell\QuillanShellUI.dll and DIR\VelQuillanUI.exe, the application the DLL
//                     starts for a login ("..\VelQuillanUI.exe" from the DLL's folder)
//     --root=DIR      the sample sync folders (default C:\OrrinDemo)
//     --pictures=DIR  PNG pictures of the Explorer window and the logs of the two stand-ins
//     --dll=PATH      the DLL to install (default: QuillanShellUI.dll beside this program)
//
// Output: the story in UTF-8, one line at a time. Exit code: 0 when every step showed what it should,
// 1 when a step did not, 2 when the demo could not be set up.
#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/text.h"
#include "demo_session.h"
#include "harness.h"

namespace {

void Print(const std::wstring& text) {
  const std::string line = quillan::WideToUtf8(text) + "\n";
  HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  DWORD written = 0;
  if (::GetConsoleMode(out, &mode)) {
    const std::wstring wide = text + L"\n";
    ::WriteConsoleW(out, wide.c_str(), static_cast<DWORD>(wide.size()), &written, nullptr);
  } else {
    ::WriteFile(out, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  }
}

std::wstring Option(const std::wstring& arg, const wchar_t* name) {
  const std::wstring prefix = std::wstring(L"--") + name + L"=";
  return arg.compare(0, prefix.size(), prefix) == 0 ? arg.substr(prefix.size()) : std::wstring();
}

}  // namespace

int main() {
  // A crash in a stand-in or the DLL must end that program, never wait on a dialog.
  ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  using quillan::demo::DemoSession;
  quillan::demo::DemoOptions options;
  options.binDir = quillan::harness::BinDir();
  options.installDir = L"C:\\Program Files\\Orrin";
  options.root = L"C:\\OrrinDemo";
  options.print = Print;

  int count = 0;
  LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  for (int i = 1; argv && i < count; ++i) {
    const std::wstring arg = argv[i];
    std::wstring value;
    if (!(value = Option(arg, L"install")).empty()) {
      options.installDir = value;
    } else if (!(value = Option(arg, L"root")).empty()) {
      options.root = value;
    } else if (!(value = Option(arg, L"pictures")).empty()) {
      options.pictures = value;
    } else if (!(value = Option(arg, L"dll")).empty()) {
      options.dll = value;
    } else {
      Print(L"unknown argument " + arg + L"; see the top of tools/demo/main.cpp");
      ::LocalFree(argv);
      return 2;
    }
  }
  ::LocalFree(argv);
  if (!options.pictures.empty() && !quillan::harness::MakeDirs(options.pictures)) {
    Print(L"cannot create " + options.pictures);
    return 2;
  }

  DemoSession demo(options);
  Print(L"[0/" + std::to_wstring(DemoSession::kSteps) + L"] Install, register, configure, start the application");
  if (!demo.Prepare()) {
    demo.Cleanup();
    Print(L"The demo could not be set up.");
    return 2;
  }
  int shown = 0;
  for (int step = 1; step <= DemoSession::kSteps; ++step) shown += demo.RunStep(step) ? 1 : 0;
  Print(L"");
  Print(L"Cleaning up: the stand-ins end, regsvr32 /u, the configuration and the install folder are removed.");
  demo.Cleanup();

  Print(L"");
  Print(L"Summary: " + std::to_wstring(shown) + L" of " + std::to_wstring(DemoSession::kSteps) +
        L" steps showed what they should.");
  for (int step = 1; step <= DemoSession::kSteps; ++step) Print(L"  " + std::to_wstring(step) + L". " + DemoSession::StepTitle(step));
  for (const std::wstring& failure : demo.failures()) Print(L"  FAILED: " + failure);
  if (!demo.pictures().empty()) {
    Print(std::to_wstring(demo.pictures().size()) + L" pictures, and the logs explorer.log and application.log, in " +
          options.pictures);
  }
  return shown == DemoSession::kSteps ? 0 : 1;
}
