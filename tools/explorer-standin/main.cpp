// explorer-standin.exe: a program that stands in for Windows Explorer's folder windows, for the
// end-to-end tests and the demo. It builds an Explorer window's real window tree, gives the browser
// helper its site objects, loads the helper and context-menu handler as Explorer does, and is driven
// by a script. It writes one JSON object per line (UTF-8) on stdout and, with --log, into a file.
//
// COMMAND LINE
//   explorer-standin.exe [options] [SCRIPT-FILE]
//   --script=FILE        steps from a file (UTF-8, or UTF-16LE with its mark); may repeat
//   --run=STEPS          steps given inline ("navigate C:\x; dump"); may repeat; runs after files
//   --log=FILE           also write every output line to FILE
//   --quiet              nothing on stdout (with --log, the file alone gets the lines)
//   --layout=L           auto (default: the list-view layout when GetVersion says 5.1 or 5.2, else
//                        the newer one), vista, xp, xp-dui
//   --frame-class=NAME   CabinetWClass (default) or ExploreWClass
//   --nav-width=N        width of the navigation pane of the newer layout (default 160; 0: none)
//   --size=WxH           outer size of the first window (default 800x600); --pos=X,Y its place
//   --path=FOLDER        folder the first window opens on (navigated to after the helper is loaded)
//   --band=MODE          clsid (default: CoCreateInstance of the band's class), registry (every
//                        helper under HKLM\...\Explorer\Browser Helper Objects without NoExplorer),
//                        none
//   --band-clsid={...}   another class for --band=clsid; --menu-clsid={...} for the menu handler
//   --dll=PATH           create the band and the menu handler through PATH's DllGetClassObject
//                        instead of COM activation (no registration needed)
//   --url-style=S        explorer (default: file:///C:/a%20b/文件), utf8 (non-ASCII percent-encoded
//                        as UTF-8), path (the plain path)
//   --trace              a "call" line for every call into the site objects
//   --hidden             do not show the windows
//   --step-timeout=MS    a window that takes longer for one step counts as hung (default 60000)
//
// SCRIPT (see script.h for the syntax: one step per line or ';'-separated, "quotes", --options)
//   navigate FOLDER [--view=new|keep] [--url=TEXT] [--url-style=S]
//       new view windows and view object (unless keep), then CommandStateChange (back, forward),
//       NavigateComplete2, TitleChange, DocumentComplete. Relative names are against the current folder.
//   select [--by=click|rclick|key|drag|none] [ITEM...]   the selection (no item: none), then the input
//       Explorer's item view gets: a click per item (Ctrl with the later ones), a key press (Down),
//       or a drag with the left button held; sent to the items window
//   input MSG [WPARAM [LPARAM]] [--to=items|view|pane|frame]   one message (WM_* name or number)
//   resize WIDTH HEIGHT          outer size of the frame; the panes follow as Explorer's do
//   rebuild                      destroy the items window and create a new one (a view-mode change)
//   focus [items|view|pane|frame|none]
//   wait MS                      let the windows run for MS milliseconds
//   waitfor CLASS [MS] [--gone]  until a visible window of that class is inside the frame (or none is);
//                                a time-out (default 5000) is a step error
//   picture FILE [--window=frame|pane|view|items] [--class=NAME]   PNG of the frame or of a window in it
//   dump                         the window tree (and the other windows of the frame's thread)
//   menu [--first=N] [--last=N] [--index=N] [--flags=N] [--prefill=N] [--marker] [--handlers=N]
//        [--no-strings] ITEM...  |  menu --background [FOLDER]
//       create the handler, Initialize (CF_HDROP data object, or the folder's item list), then
//       QueryContextMenu on a fresh popup menu (after --prefill items of Explorer's own, the first one
//       carrying the handler's marker with --marker; --handlers objects in turn, each with the ids
//       after the previous one's, as for a folder registered under Directory and Folder); print it
//   menu-picture FILE            PNG of the last menu as a classic popup menu: its items, separators,
//                                check-mark bitmaps and the first submenu opened beside its parent
//   invoke --id=N | --offset=N [--handler=K] | --verb=TEXT [--handler=K]  [--plain]
//       InvokeCommand with CMINVOKECOMMANDINFOEX (both verbs, CMIC_MASK_UNICODE), or with the plain
//       CMINVOKECOMMANDINFO with --plain; a verb is passed in the ANSI code page
//   fire navigate [--url=TEXT|--url-null|--url-empty] | fire commandstate CMD 0|1 | fire quit |
//        fire title [TEXT] | fire document | fire dispid N      one event to the advised sinks
//   band load|setsite|setsite-null|getsite|release   drive the loaded helpers directly
//   close                        WM_SYSCOMMAND SC_CLOSE to the frame, as the user closing it
//   quit                         the quit sequence: OnQuit, SetSite(NULL), Release, windows destroyed
//   new-window [--path=F] [--layout=L] [--frame-class=C] [--nav-width=N] [--band=MODE]
//       another Explorer window, on a thread of its own; later steps go to it
//   window N                     later steps go to window N (line: switch {frame, hwnd, closed})
//   echo TEXT...                 one line, to mark places in the output
//   exit                         close every window and end
// The program ends once the script has run and every window is closed (by quit/close, by
// WM_SYSCOMMAND SC_CLOSE from anyone, or by exit). While it runs, further scripts can be sent to its
// control window (standin_protocol.h).
//
// OUTPUT: one JSON object per line; "type" says what it is; handles are numbers (the window's
// handle value), HRESULTs and flags "0x%08X" strings. Lines:
//   start {pid, version, layout, control}      frame {frame, hwnd, class, layout, pane, view, items, thread}
//   band {frame, action, index, clsid, source, create, setsite | hr | same | left}
//   advise / unadvise {frame, cookie, hr}      navigate {frame, path, url, exists, pane, view, items, sinks}
//   select {frame, count, by, items}           input {frame, message, wparam, lparam, target, result}
//   resize {frame, width, height, client-width, client-height}   rebuild {frame, old, items}
//   window {frame, tree, index, parent, depth, hwnd, class, text, x, y, width, height (in the parent's
//          client area), screen-x, screen-y, client-width, client-height, visible, style, exstyle, id,
//          pid, own-thread, role, pane}  then dump {frame, windows}
//   menu-picture {frame, file, width, height, menus (the root and the submenus shown)}
//   picture {frame, file, target, width, height, foreign (windows of other processes shown inside),
//           painted (how many of them painted themselves into the picture: foreign_paint_protocol.h)}
//   menu-handler {frame, index, create, init, queried, query, first, used}
//   menu-item {frame, level, pos, kind, id, text, state, ftype, data, submenu, checked, unchecked,
//              same-checkmarks, item-bitmap, handler, offset, verb, help}
//             then menu {frame, handlers, items, index, first, flags, cursor-window}
//   invoke {frame, handler, offset | verb | id, hr}     fire {frame, event, dispid, sinks}
//   syscommand {frame, command}   view-refresh {frame}   focus {frame, window, focus}
//   quit {frame, onquit-sinks, setsite-null, band-release, sinks-left, leaked-refs}   closed {frame}
//   call {frame, object, method, hr, detail} (--trace)  wait {ms}  waitfor {frame, class, gone, met, elapsed}
//   echo {text}   error {frame?, line?, step?, message}   done {batch, steps, errors}
//   dll {path, can-unload}   exit {code, errors}   crash {code, module, offset, thread} then exit {code: 4}
// Exit code: 0; 1 when the first window cannot be created; 2 when the script does not parse; 3 when
// a step failed; 4 after a crash.

#include <windows.h>
#include <objbase.h>
#include <ole2.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "base/text.h"
#include "script.h"
#include "standin_app.h"
#include "standin_output.h"

namespace {

using namespace quillan::standin;

bool ParsePair(const std::wstring& text, wchar_t separator, long long* a, long long* b) {
  size_t at = text.find(separator);
  return at != std::wstring::npos && ParseNumber(text.substr(0, at), a) && ParseNumber(text.substr(at + 1), b);
}

int Usage(const std::wstring& message) {
  JsonLine("error").Add("message", message).Emit();
  JsonLine("exit").Add("code", 2).Emit();
  return 2;
}

// A crash (in a loaded helper, most likely) ends the program at once with a line that says where,
// instead of waiting on a debugger.
LONG WINAPI OnCrash(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD* record = info ? info->ExceptionRecord : nullptr;
  void* address = record ? record->ExceptionAddress : nullptr;
  HMODULE module = nullptr;
  wchar_t path[MAX_PATH] = {};
  if (::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           static_cast<LPCWSTR>(address), &module)) {
    ::GetModuleFileNameW(module, path, MAX_PATH);
  }
  JsonLine line("crash");
  line.Hex("code", record ? record->ExceptionCode : 0).Add("module", path);
  line.Add("offset", static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(address) - reinterpret_cast<UINT_PTR>(module)));
  line.Add("thread", static_cast<unsigned long>(::GetCurrentThreadId()));
  StandinOutput::Instance().WriteLineUnlocked(line.Text());
  StandinOutput::Instance().WriteLineUnlocked(JsonLine("exit").Add("code", 4).Text());
  ::TerminateProcess(::GetCurrentProcess(), 4);
  return EXCEPTION_EXECUTE_HANDLER;
}

int Main(const std::vector<std::wstring>& args) {
  AppOptions options;
  std::wstring layout = L"auto";
  long long x = 0, y = 0, width = 800, height = 600;
  std::vector<std::wstring> runs;
  for (const std::wstring& arg : args) {
    size_t equals = arg.find(L'=');
    std::wstring name = arg.compare(0, 2, L"--") == 0 ? arg.substr(2, equals == std::wstring::npos ? std::wstring::npos : equals - 2) : L"";
    std::wstring value = equals == std::wstring::npos ? L"" : arg.substr(equals + 1);
    if (name.empty()) {
      name = L"script";
      value = arg;
    }
    if (name == L"script") {
      std::wstring text;
      if (!ReadScriptFile(value, &text)) return Usage(L"cannot read the script " + value);
      options.script += text + L"\n";
    } else if (name == L"run") {
      runs.push_back(value);
    } else if (name == L"log") {
      if (!StandinOutput::Instance().OpenLog(value)) return Usage(L"cannot write the log " + value);
    } else if (name == L"layout") {
      layout = value;
    } else if (name == L"frame-class") {
      options.frame.window.frameClass = value;
    } else if (name == L"nav-width") {
      long long n = 0;
      if (!ParseNumber(value, &n) || n < 0 || n > 2000) return Usage(L"bad --nav-width");
      options.frame.window.navWidth = static_cast<int>(n);
    } else if (name == L"size") {
      if (!ParsePair(value, L'x', &width, &height) || width <= 0 || height <= 0) return Usage(L"bad --size");
    } else if (name == L"pos") {
      if (!ParsePair(value, L',', &x, &y)) return Usage(L"bad --pos");
    } else if (name == L"path") {
      options.frame.startPath = value;
    } else if (name == L"band") {
      if (value == L"clsid") options.frame.band = BandLoad::Clsid;
      else if (value == L"registry") options.frame.band = BandLoad::Registry;
      else if (value == L"none") options.frame.band = BandLoad::None;
      else return Usage(L"--band is clsid, registry or none");
    } else if (name == L"band-clsid" || name == L"menu-clsid") {
      CLSID clsid;
      if (FAILED(::CLSIDFromString(value.c_str(), &clsid))) return Usage(L"bad --" + name);
      (name == L"band-clsid" ? options.frame.bandClsid : options.frame.menuClsid) = clsid;
    } else if (name == L"dll") {
      options.frame.dllPath = value;
    } else if (name == L"url-style") {
      if (!ParseUrlStyle(value, &options.frame.urlStyle)) return Usage(L"--url-style is explorer, utf8 or path");
    } else if (name == L"trace") {
      options.frame.trace = true;
    } else if (name == L"quiet") {
      StandinOutput::Instance().SetQuiet(true);
    } else if (name == L"hidden") {
      options.frame.show = false;
    } else if (name == L"step-timeout") {
      long long ms = 0;
      if (!ParseNumber(value, &ms) || ms <= 0) return Usage(L"bad --step-timeout");
      options.stepTimeoutMs = static_cast<DWORD>(ms);
    } else {
      return Usage(L"unknown option " + arg);
    }
  }
  for (const auto& run : runs) options.script += run + L"\n";
  if (layout == L"auto") {
    options.frame.window.layout = LayoutForVersion(::GetVersion());
  } else if (!ParseLayout(layout, &options.frame.window.layout)) {
    return Usage(L"--layout is auto, vista, xp or xp-dui");
  }
  options.frame.window.placement = {static_cast<LONG>(x), static_cast<LONG>(y), static_cast<LONG>(x + width),
                                    static_cast<LONG>(y + height)};
  StandinApp app(options);
  return app.Run();
}

}  // namespace

int main() {
  ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  ::SetUnhandledExceptionFilter(&OnCrash);
  // Explorer is DPI-aware; so is its stand-in, so that helpers see the display's real scale.
  using SetAwareFn = BOOL(WINAPI*)();
  if (HMODULE user32 = ::GetModuleHandleW(L"user32.dll")) {
    if (auto setAware = reinterpret_cast<SetAwareFn>(::GetProcAddress(user32, "SetProcessDPIAware"))) setAware();
  }
  HRESULT ole = ::OleInitialize(nullptr);
  int argc = 0;
  LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
  std::vector<std::wstring> args;
  for (int i = 1; argv && i < argc; ++i) args.push_back(argv[i]);
  if (argv) ::LocalFree(argv);
  int code = Main(args);
  if (SUCCEEDED(ole)) ::OleUninitialize();
  return code;
}
