// desktop-app-standin: stands in for the desktop application in tests and in the demo, and shows the
// application's side of the protocol with the Explorer component.
//
// What it does
//   - Main window of class "{465164DF-35A8-4AE3-BEE7-9626FCD521EC}" (top-level, hidden, no title). It
//     accepts every WM_COPYDATA record, answers 1, and logs each one.
//   - Logged-in behaviour: on a bar record 33790 it creates a window of its own (hidden, WS_CHILD) inside
//     the bar window named in the record, sized to the bar's client area, and sends the window record
//     33769 (the record's account key and that window) to the host window named in the record. A second
//     33790 for the same bar reuses the window and sends 33769 again. On a bar size record 33776 for one
//     of its windows it moves that window to the rectangle given. On a bar closing record 33808 it
//     destroys its window in that bar.
//   - Pipe servers on "\\.\pipe\velquillanbox_ui_host_0" (ui_host) and "\\.\pipe\velquillanbox_0"
//     (box): request 1 is answered with the pipe's sync-folder text, request 3 with the state set for
//     the path asked (the UTF-16 data of the request), or the default state. Both are absent until a
//     scenario or a command sets them up. A free instance is always waiting, so back-to-back questions
//     never find a pipe busy (unless it is set busy); the mode in force when a request arrives decides
//     the answer, and a mode command returns once the pipe is in that mode.
//   - The legacy-UI mutex "Local\velquillanbox_ui_legacy_active_0", held by its main thread on request.
//
// Command line
//   desktop-app-standin.exe [/cloudbarlogin] [--log FILE] [--scenario FILE] [--hang MS] [--no-adopt]
//   desktop-app-standin.exe --control COMMAND...
//     /cloudbarlogin   what the Explorer component passes when it starts the application for a login;
//                      recorded in the start line ("cloudbarlogin":true), nothing else changes.
//     --log FILE       the JSON-lines log (appended). Default: the executable's path with ".log" in place
//                      of ".exe" (VelQuillanUI.exe logs to VelQuillanUI.log beside it).
//     --scenario FILE  runs the commands of FILE (UTF-8, one command per line, "#" starts a comment)
//                      before the first record is taken.
//     --hang MS        sleeps MS milliseconds in every record received (a receiver that does not answer).
//     --no-adopt       does not put a window into the bar on 33790 (a logged-in account whose window
//                      never comes).
//     --control ...    client mode: sends the rest of the command line as one command to the running
//                      stand-in, prints its answer and exits (0 delivered, 2 no stand-in, 3 not delivered).
//   Arguments are also read from "<executable without .exe>.args" beside the executable when it exists
//   (UTF-8, command-line syntax), after those of the command line: this is how a test configures a copy
//   that the Explorer component starts with "/cloudbarlogin" only.
//
// Log: one JSON object per line, UTF-8; every line has "event" and "tick" (GetTickCount). Window handles
// are the signed 64-bit wire values (the 32-bit handle sign-extended).
//   {"event":"start","pid":N,"commandLine":"...","exe":"...","cwd":"...","cloudbarlogin":B,"mainWindow":H}
//   {"event":"record","code":N,"size":N,"name":"bar-logged-in","fields":{...}|null,"hex":"<payload>"}
//       fields are the decoded layout of the code (null when the payload does not fit it); names:
//       bar-size, bar-not-logged-in, web-version, recycle-bin, sync-to, account-action, selected-files,
//       upload-first, share, selection-state, bar-logged-in, history, selection-flag, bar-closing.
//   {"event":"sent","to":H,"code":N,"size":N,"delivered":B,"answer":N,"lastError":N,"hex":"..."}
//   {"event":"child","action":"created|sized|destroyed|no bar|create failed","window":H,...}
//   {"event":"pipe","pipe":"ui_host|box","mode":"...","requestBytes":N,"code":N,"wellFormed":B,
//       ["length":N,"path":"...","dataHex":"...",] "replyHex":"...","written":B | "reply":"none|disconnected"}
//   {"event":"control","command":"...","result":N}
//
// Control interface: WM_COPYDATA to the main window with dwData 0x5143 (outside every record code) and
// the command as UTF-16 text (cbData = 2 x characters, no zero needed). The answer is the send's result;
// -1 means the command failed or a record was not delivered. Commands (also the lines of a scenario):
//   ping                                      1
//   send HOST CODE HEX|-                      sends a record (payload in hex, "-" for none) to a host
//                                             window; the host's answer, -1 when not delivered
//   adopt HOST BAR USERID ENTERPRISEID        creates (or reuses) its window in BAR and sends 33769 to
//                                             HOST; the window's handle
//   destroy-child BAR                         destroys its window in BAR; 1, or 0 when there was none
//   mutex hold|release                        the legacy-UI mutex
//   pipe ui_host|box|both MODE [ARG]          MODE: normal, absent, busy, slow MS, silent, short,
//                                             wrong-code, odd-length, negative-length, long-length,
//                                             disconnect, raw HEX
//   sync-root ui_host|box|both [TEXT]         the answer to request 1 (rest of the line; may be empty)
//   state VALUE PATH                          the answer to request 3 for PATH (rest of the line)
//   default-state VALUE                       the answer to request 3 for every other path
//   hang MS [COUNT]                           sleep MS in each of the next COUNT records (all without
//                                             COUNT); "hang 0" ends it
//   adopt-on-login on|off                     the logged-in behaviour on 33790
//   scenario FILE                             runs the commands of FILE
//   quit                                      ends the stand-in
// HOST and BAR are window handles in decimal or 0x hexadecimal (either width).
#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/handle.h"
#include "base/text.h"
#include "ipc/records.h"
#include "json_log.h"
#include "standin_app.h"

namespace {

using namespace standin;

std::vector<std::wstring> SplitArguments(const std::wstring& commandLine) {
  std::vector<std::wstring> out;
  int count = 0;
  LPWSTR* argv = ::CommandLineToArgvW(commandLine.c_str(), &count);
  if (!argv) return out;
  for (int i = 0; i < count; ++i) out.push_back(argv[i]);
  ::LocalFree(argv);
  return out;
}

std::wstring ExePath() {
  std::wstring path(32768, L'\0');
  const DWORD n = ::GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
  path.resize(n);
  return path;
}

std::wstring WithoutExe(const std::wstring& path) {
  const size_t dot = path.find_last_of(L'.');
  const size_t slash = path.find_last_of(L'\\');
  return (dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash)) ? path.substr(0, dot) : path;
}

// Extra arguments from "<exe>.args"; the program name placeholder keeps CommandLineToArgvW's first-token
// rules away from the first real argument.
std::vector<std::wstring> ArgumentsFile(const std::wstring& exe) {
  quillan::UniqueFile file(::CreateFileW((WithoutExe(exe) + L".args").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return {};
  std::string bytes;
  char buffer[4096];
  DWORD got = 0;
  while (::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
  if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
  std::wstring text = quillan::Utf8ToWide(bytes);
  for (wchar_t& c : text) {
    if (c == L'\r' || c == L'\n') c = L' ';
  }
  std::vector<std::wstring> args = SplitArguments(L"x " + text);
  if (!args.empty()) args.erase(args.begin());
  return args;
}

int RunControl(const std::vector<std::wstring>& words) {
  std::wstring command;
  for (const std::wstring& word : words) {
    if (!command.empty()) command += L' ';
    command += word;
  }
  HWND main = ::FindWindowW(quillan::kMainWindowClass, nullptr);
  if (!main) {
    std::printf("no stand-in running\n");
    return 2;
  }
  COPYDATASTRUCT data = {kControlCode, static_cast<DWORD>(command.size() * sizeof(wchar_t)), &command[0]};
  DWORD_PTR answer = 0;
  if (!::SendMessageTimeoutW(main, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_NORMAL, 10000, &answer)) {
    std::printf("not delivered (error %lu)\n", ::GetLastError());
    return 3;
  }
  std::printf("%lld\n", static_cast<long long>(static_cast<LRESULT>(answer)));
  return 0;
}

}  // namespace

int main() {
  const std::wstring exe = ExePath();
  std::vector<std::wstring> args = SplitArguments(::GetCommandLineW());
  if (!args.empty()) args.erase(args.begin());
  for (const std::wstring& extra : ArgumentsFile(exe)) args.push_back(extra);

  Options options;
  options.logPath = WithoutExe(exe) + L".log";
  std::vector<std::wstring> unknown;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::wstring& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    if (quillan::EqualsNoCaseAZ(arg, L"/cloudbarlogin")) {
      options.cloudBarLogin = true;
    } else if (arg == L"--control") {
      return RunControl(std::vector<std::wstring>(args.begin() + static_cast<long>(i) + 1, args.end()));
    } else if (arg == L"--log" && hasValue) {
      options.logPath = args[++i];
    } else if (arg == L"--scenario" && hasValue) {
      options.scenarioPath = args[++i];
    } else if (arg == L"--hang" && hasValue) {
      options.hangMs = static_cast<DWORD>(std::wcstoul(args[++i].c_str(), nullptr, 10));
    } else if (arg == L"--no-adopt") {
      options.adoptOnLogin = false;
    } else {
      unknown.push_back(arg);
    }
  }

  JsonLog log;
  if (!log.Open(options.logPath)) {
    std::printf("cannot open the log\n");
    return 1;
  }
  StandinApp app(options, &log);
  const bool created = app.Create();

  wchar_t cwd[MAX_PATH] = {};
  ::GetCurrentDirectoryW(MAX_PATH, cwd);
  log.Write("start", Json()
                         .Num("pid", ::GetCurrentProcessId())
                         .Str("commandLine", ::GetCommandLineW())
                         .Str("exe", exe)
                         .Str("cwd", cwd)
                         .Bool("cloudbarlogin", options.cloudBarLogin)
                         .Raw("unknownArguments", Json::Array(unknown))
                         .Num("mainWindow", quillan::WindowToWire(app.window()))
                         .Bool("ready", created));
  if (!created) return 1;
  if (!options.scenarioPath.empty() && app.Execute(L"scenario " + options.scenarioPath) == kControlFailed) return 1;
  return app.Run();
}
