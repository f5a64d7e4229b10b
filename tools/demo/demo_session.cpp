#include "demo_session.h"

#include <algorithm>
#include <utility>

#include "base/text.h"
#include "config/sync_config.h"
#include "ipc_peer/peer_records.h"
#include "record_text.h"
#include "harness.h"

namespace quillan::demo {

namespace {

using harness::DesktopAppRecord;
using harness::StandinRecord;

constexpr wchar_t kBandClsid[] = L"{20B497C6-62FD-482A-9290-BD1BBEF85146}";
constexpr wchar_t kMenuClsid[] = L"{8E4B2A8F-956F-47F1-A069-ED7F1A2DF6CF}";
constexpr wchar_t kBarClass[] = L"#32770";  // the bar is a dialog
constexpr wchar_t kAppWindowClass[] = L"DesktopAppStandinAccountWindow";
constexpr int kLoginLinkId = 1001;
constexpr DWORD kRecordWaitMs = 5000;

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

std::wstring Size(long long width, long long height) { return std::to_wstring(width) + L"x" + std::to_wstring(height); }

std::wstring RegistryText(HKEY root, const std::wstring& key, const wchar_t* name) {
  wchar_t value[1024] = {};
  DWORD bytes = sizeof value;
  if (::RegGetValueW(root, key.c_str(), name, RRF_RT_REG_SZ, nullptr, value, &bytes) != ERROR_SUCCESS) return L"";
  return value;
}

bool KeyExists(HKEY root, const std::wstring& key) {
  HKEY opened = nullptr;
  if (::RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
  ::RegCloseKey(opened);
  return true;
}

DWORD RunProgram(const std::wstring& commandLine) {
  harness::ChildProcess process;
  if (!process.Start(L"", commandLine)) return 0xFFFFFFFF;
  if (!process.Wait(60000)) return 0xFFFFFFFE;
  return process.ExitCode();
}

bool IsTrue(const StandinRecord& line, const std::wstring& key) { return line.Text(key) == L"true"; }

// Windows of a dump.
const StandinRecord* FindLine(const std::vector<StandinRecord>& lines,
                              const std::function<bool(const StandinRecord&)>& match) {
  for (const StandinRecord& line : lines) {
    if (match(line)) return &line;
  }
  return nullptr;
}

const StandinRecord* Pane(const std::vector<StandinRecord>& dump) {
  return FindLine(dump, [](const StandinRecord& w) { return IsTrue(w, L"pane"); });
}

const StandinRecord* ChildOf(const std::vector<StandinRecord>& dump, const StandinRecord* parent,
                             const wchar_t* className) {
  if (!parent) return nullptr;
  const long long index = parent->Number(L"index");
  return FindLine(dump, [&](const StandinRecord& w) {
    return w.Text(L"tree") == L"frame" && w.Number(L"parent") == index && w.Text(L"class") == className;
  });
}

const StandinRecord* Bar(const std::vector<StandinRecord>& dump) { return ChildOf(dump, Pane(dump), kBarClass); }

std::wstring Geometry(const StandinRecord& window) {
  return std::to_wstring(window.Number(L"x")) + L"," + std::to_wstring(window.Number(L"y")) + L" " +
         Size(window.Number(L"width"), window.Number(L"height"));
}

bool IsBarRecord(const DesktopAppRecord& record, const SampleAccount& account, uint32_t launch) {
  BarRecord bar;
  return ParseBarRecord(record.payload.data(), record.payload.size(), &bar) &&
         bar.key.Matches(account.userId, account.enterpriseId) && bar.launch == launch;
}

}  // namespace

const wchar_t* DemoSession::StepTitle(int step) {
  switch (step) {
    case 1: return L"An Explorer window outside any sync folder: no bar";
    case 2: return L"Into the first account's sync folder: the bar with its login face";
    case 3: return L"Clicking \"立即登录\": the application is asked to log in, or started for it";
    case 4: return L"The logged-in account: the application's window inside the bar";
    case 5: return L"The context menus, as Explorer shows them";
    case 6: return L"Choosing \"分享\": the record for the application";
    case 7: return L"CloseExplorerWithCloudBar closes the window";
  }
  return L"";
}

DemoSession::DemoSession(DemoOptions options)
    : options_(std::move(options)),
      config_(options_.appData.empty() ? GetSpecialFolder(26) : options_.appData, options_.root),
      app_(options_.installDir + L"\\VelQuillanUI.exe") {
  if (options_.dll.empty()) options_.dll = options_.binDir + L"\\QuillanShellUI.dll";
  installedDll_ = options_.installDir + L"\\shell\\QuillanShellUI.dll";
}

DemoSession::~DemoSession() { Cleanup(); }

void DemoSession::Say(const std::wstring& text) {
  if (options_.print) options_.print(L"    " + text);
}

void DemoSession::Detail(const std::wstring& text) {
  if (options_.print) options_.print(L"        " + text);
}

bool DemoSession::Fail(const std::wstring& why) {
  failures_.push_back(why);
  if (options_.print) options_.print(L"    FAILED: " + why);
  return false;
}

// ---- Preparation

bool DemoSession::Install() {
  std::wstring error;
  if (!ClaimDemoFolder(options_.installDir, &error)) return Fail(error);
  const std::wstring exe = app_.exe();
  const std::wstring scenario = options_.installDir + L"\\engine.txt";
  // The application's sync engine answers on its pipe with the logged-in account's folder, and with
  // state 3 for one file, which gives that file's menu its first item ("优先上传到云盘").
  const std::wstring engine = L"pipe ui_host normal\r\nsync-root ui_host " + config_.second().syncFolder +
                              L"\r\nstate 3 " + config_.insideFile() + L"\r\n";
  if (!harness::MakeDirs(options_.installDir + L"\\shell") ||
      !::CopyFileW(options_.dll.c_str(), installedDll_.c_str(), FALSE) ||
      !::CopyFileW((options_.binDir + L"\\desktop-app-standin.exe").c_str(), exe.c_str(), FALSE) ||
      !harness::WriteBytes(scenario, WideToUtf8(engine)) ||
      // Every start of the application, the one for a login included, reads its arguments from here.
      !harness::WriteBytes(exe.substr(0, exe.size() - 4) + L".args", WideToUtf8(L"--scenario " + harness::QuoteArg(scenario)))) {
    return Fail(L"cannot install into " + options_.installDir);
  }
  Say(L"Installed as an installer would, into " + options_.installDir + L":");
  Detail(L"shell\\QuillanShellUI.dll  (the DLL; x86-64 build, which wine64 runs)");
  Detail(L"VelQuillanUI.exe          (the desktop-application stand-in, under the application's name)");
  return true;
}

bool DemoSession::Register() {
  const DWORD code = RunProgram(L"regsvr32.exe /s " + harness::QuoteArg(installedDll_));
  registered_ = true;  // even a failed run may have written keys
  if (code != 0) return Fail(L"regsvr32 ended with " + std::to_wstring(code));
  Say(L"regsvr32 \"" + installedDll_ + L"\": registered, exit code 0");
  const std::wstring server = RegistryText(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + kBandClsid + L"\\InprocServer32", nullptr);
  const bool helper = KeyExists(HKEY_LOCAL_MACHINE, std::wstring(L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\"
                                                                 L"Browser Helper Objects\\") + kBandClsid);
  const std::wstring handler = RegistryText(HKEY_CLASSES_ROOT, L"*\\shellex\\ContextMenuHandlers\\VelQuillanBarUI", nullptr);
  if (!EqualsNoCaseAZ(server, installedDll_) || !helper || handler != kMenuClsid) {
    return Fail(L"the registry does not hold the DLL's keys");
  }
  Detail(std::wstring(L"HKCR\\CLSID\\") + kBandClsid + L"\\InprocServer32 = " + server);
  Detail(std::wstring(L"HKLM\\...\\Explorer\\Browser Helper Objects\\") + kBandClsid + L" (every Explorer window loads the band)");
  Detail(L"HKCR\\*\\shellex\\ContextMenuHandlers\\VelQuillanBarUI = " + handler + L" (and Directory, Directory\\Background, Folder)");
  return true;
}

bool DemoSession::Prepare() {
  if (!Install() || !Register()) return false;
  std::wstring error;
  if (!config_.Write(&error)) return Fail(error);
  const SampleAccount& first = config_.first();
  const SampleAccount& second = config_.second();
  Say(L"The application's configuration, written as it would write it:");
  Detail(L"account " + first.userId + L"/" + first.enterpriseId + L" " + first.nickname + L" (" + first.userName +
         L"), not logged in: " + first.syncFolder + L", and " + config_.junctionFolder() + L" by junction.ini");
  Detail(L"account " + second.userId + L"/" + second.enterpriseId + L" " + second.nickname + L" (" + second.userName +
         L"), logged in: " + second.syncFolder + L", not synchronised: " + config_.nonSyncedFolder());
  Detail(L"in " + config_.syncTree() + L" and " + config_.profileTree());
  if (!app_.Start()) return Fail(L"the application does not start: " + app_.exe());
  Say(L"The application runs (VelQuillanUI.exe, pid " + std::to_wstring(app_.pid()) + L"): main window " +
      WindowText(app_.mainWindow()) + L"; its engine names the sync folder " + second.syncFolder);
  return true;
}

bool DemoSession::StartExplorer() {
  explorer_ = std::make_unique<harness::ExplorerStandin>();
  harness::ExplorerStandin::Options options;
  // Inside the screen (1024x768 under Wine's null driver): a window's surface ends at the screen's edge.
  options.arguments = {L"--path=" + config_.outsideFolder(), L"--size=820x520", L"--pos=0,0"};
  if (!explorer_->Start(options) || !explorer_->WaitForFrame(1, 30000)) return Fail(L"the Explorer stand-in does not start");
  StandinRecord band;
  const std::wstring outside = config_.outsideFolder();
  if (!explorer_->WaitForRecord(L"band", [](const StandinRecord& r) { return !r.Text(L"setsite").empty(); }, 30000, &band) ||
      !explorer_->WaitForRecord(L"navigate", [&](const StandinRecord& r) { return r.Text(L"path") == outside; }, 30000)) {
    return Fail(L"the Explorer window loaded no band");
  }
  if (band.Text(L"create") != L"0x00000000" || band.Text(L"setsite") != L"0x00000000") {
    return Fail(L"the band was not created: " + band.Text(L"create"));
  }
  Say(L"Explorer stand-in (pid " + std::to_wstring(explorer_->pid()) + L") opens a window on " + outside + L";");
  Detail(L"it created the registered browser helper object " + band.Text(L"clsid") + L" and gave it its site");
  return true;
}

// ---- Helpers

bool DemoSession::Explore(const std::wstring& steps, std::vector<StandinRecord>* lines, DWORD timeoutMs) {
  if (!explorer_) return Fail(L"no Explorer window");
  const size_t before = explorer_->Records().size();
  const bool ran = explorer_->Run(steps, timeoutMs);
  std::vector<StandinRecord> all = explorer_->Records();
  std::vector<StandinRecord> mine(all.begin() + static_cast<long>(std::min(before, all.size())), all.end());
  for (const StandinRecord& line : mine) {
    if (line.type == L"error") return Fail(L"Explorer stand-in, " + line.Text(L"step") + L": " + line.Text(L"message"));
    if (line.type == L"menu-picture") pictures_.push_back(line.Text(L"file"));
    if (line.type == L"picture") {
      pictures_.push_back(line.Text(L"file"));
      if (line.Number(L"painted", 0) < line.Number(L"foreign", 0)) {
        Detail(L"(the picture " + line.Text(L"file") + L" lacks a window of another process)");
      }
    }
  }
  if (!ran) return Fail(L"the Explorer stand-in did not run: " + steps);
  if (lines) *lines = std::move(mine);
  return true;
}

std::wstring DemoSession::PictureStep(const std::wstring& name, const std::wstring& options) {
  if (options_.pictures.empty()) return L"";
  return L"; picture " + Quoted(options_.pictures + L"\\" + name) + (options.empty() ? L"" : L" " + options);
}

std::vector<StandinRecord> DemoSession::LastDump() const {
  std::vector<StandinRecord> current;
  std::vector<StandinRecord> last;
  if (!explorer_) return last;
  for (StandinRecord& line : explorer_->Records()) {
    if (line.type == L"window") {
      current.push_back(std::move(line));
    } else if (line.type == L"dump") {
      last = std::move(current);
      current.clear();
    }
  }
  return last;
}

void DemoSession::Click(HWND window) {
  RECT client = {};
  ::GetClientRect(window, &client);
  const LPARAM at = MAKELPARAM(client.right / 2, client.bottom / 2);
  // Posted, as input is: the click runs on the Explorer window's thread while the demo goes on.
  ::PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, at);
  ::PostMessageW(window, WM_LBUTTONUP, 0, at);
}

size_t DemoSession::ShowRecords(size_t mark, DWORD code) {
  const std::vector<DesktopAppRecord> records = app_.RecordsSince(mark, code);
  for (size_t r = 0; r < records.size();) {
    // The same record again at once (a check on each of a click's two messages, say) is told once.
    size_t same = 1;
    while (r + same < records.size() && records[r + same].payload == records[r].payload) ++same;
    const std::vector<std::wstring> lines = DescribeRecord(records[r].code, records[r].payload);
    for (size_t i = 0; i < lines.size(); ++i) {
      if (i > 0) Detail(lines[i]);
      else Say(L"the application received " + lines[i] + (same > 1 ? L", " + std::to_wstring(same) + L" times" : L""));
    }
    r += same;
  }
  return records.size();
}

bool DemoSession::RunStep(int step) {
  if (options_.print) options_.print(L"");
  if (options_.print) options_.print(L"[" + std::to_wstring(step) + L"/" + std::to_wstring(kSteps) + L"] " + StepTitle(step));
  const size_t failures = failures_.size();
  const size_t pictures = pictures_.size();
  bool ok = false;
  switch (step) {
    case 1: ok = Outside(); break;
    case 2: ok = LoginBar(); break;
    case 3: ok = Login(); break;
    case 4: ok = LoggedIn(); break;
    case 5: ok = Menus(); break;
    case 6: ok = Share(); break;
    case 7: ok = Close(); break;
    default: return Fail(L"no step " + std::to_wstring(step));
  }
  if (!ok && failures_.size() == failures) Fail(L"step " + std::to_wstring(step));
  std::wstring names;
  for (size_t i = pictures; i < pictures_.size(); ++i) {
    names += (names.empty() ? L"" : L", ") + pictures_[i].substr(pictures_[i].find_last_of(L'\\') + 1);
  }
  if (!names.empty()) Say(L"pictures: " + names);
  return ok;
}

// ---- The steps

bool DemoSession::Outside() {
  const size_t mark = app_.Mark();
  if (!StartExplorer()) return false;
  // Whatever the band does on a navigation it does at once; a moment more shows that nothing follows.
  if (!Explore(L"wait 500; dump" + PictureStep(L"1-outside.png"))) return false;
  const std::vector<StandinRecord> dump = LastDump();
  if (FindLine(dump, [](const StandinRecord& w) { return w.Text(L"class") == kBarClass; })) {
    return Fail(L"a bar in a window outside every sync folder");
  }
  if (!app_.RecordsSince(mark, to_main::kBarNotLoggedIn).empty() || !app_.RecordsSince(mark, to_main::kBarLoggedIn).empty()) {
    return Fail(L"a bar record for a window outside every sync folder");
  }
  const StandinRecord* pane = Pane(dump);
  Say(L"the folder lies in no account's sync folder: the pane keeps its " +
      (pane ? Size(pane->Number(L"client-width"), pane->Number(L"client-height")) : std::wstring(L"?")) +
      L" alone, no bar, no record for the application");
  return true;
}

bool DemoSession::LoginBar() {
  const SampleAccount& first = config_.first();
  size_t mark = app_.Mark();
  Say(L"navigate to " + first.syncFolder);
  if (!Explore(L"navigate " + Quoted(first.syncFolder) + L"; waitfor " + Quoted(kBarClass) + L" 10000; dump" +
               PictureStep(L"2-login-bar.png") + PictureStep(L"2-bar.png", std::wstring(L"--class=") + kBarClass))) {
    return false;
  }
  std::vector<StandinRecord> dump = LastDump();
  const StandinRecord* pane = Pane(dump);
  const StandinRecord* bar = Bar(dump);
  const StandinRecord* view = FindLine(dump, [](const StandinRecord& w) { return w.Text(L"role") == L"view"; });
  if (!pane || !bar || !view || !IsTrue(*bar, L"visible")) return Fail(L"no bar shown in the sync folder");
  if (bar->Number(L"x") != 0 || bar->Number(L"y") != 0 || bar->Number(L"width") != pane->Number(L"client-width") ||
      view->Number(L"y") != bar->Number(L"height")) {
    return Fail(L"the bar is not across the top of the pane: " + Geometry(*bar) + L", view at " + Geometry(*view));
  }
  Say(L"the bar " + WindowText(bar->Window(L"hwnd")) + L" lies across the top of the pane (" + Geometry(*bar) +
      L") and pushes the folder view down to y = " + std::to_wstring(view->Number(L"y")));
  Detail(L"its face: avatar, " + first.nickname + L", status, \"您还没登录，登录后才能进行同步\" and the link \"立即登录\"");
  if (!app_.WaitForRecord(mark, to_main::kBarNotLoggedIn,
                          [&](const DesktopAppRecord& r) { return IsBarRecord(r, first, 0); }, kRecordWaitMs)) {
    return Fail(L"the application received no bar record (33777) for the account");
  }
  // The host sends the record again on its schedule; the first one says it all.
  const std::vector<DesktopAppRecord> records = app_.RecordsSince(mark, to_main::kBarNotLoggedIn);
  const std::vector<std::wstring> lines = DescribeRecord(records[0].code, records[0].payload);
  for (size_t i = 0; i < lines.size(); ++i) (i == 0 ? Say(L"the application received " + lines[i]) : Detail(lines[i]));

  // The junction folder belongs to the same account.
  mark = app_.Mark();
  if (!Explore(L"navigate " + Quoted(config_.junctionFolder()) + L"; waitfor " + Quoted(kBarClass) + L" 10000; dump")) return false;
  dump = LastDump();
  bar = Bar(dump);
  if (!bar || !IsTrue(*bar, L"visible")) return Fail(L"no bar in the account's junction folder");
  Say(L"navigate to " + config_.junctionFolder() + L" (the account's junction.ini names it): the bar is there too");
  return true;
}

bool DemoSession::Login() {
  const SampleAccount& first = config_.first();
  const StandinRecord* barLine = nullptr;
  const std::vector<StandinRecord> dump = LastDump();
  barLine = Bar(dump);
  HWND bar = barLine ? barLine->Window(L"hwnd") : nullptr;
  HWND link = bar ? ::GetDlgItem(bar, kLoginLinkId) : nullptr;
  if (!link || !::IsWindowVisible(link)) return Fail(L"no login link in the bar");

  size_t mark = app_.Mark();
  Say(L"a click on \"立即登录\" (" + WindowText(link) + L") while the application runs:");
  Click(link);
  DesktopAppRecord asked;
  if (!app_.WaitForRecord(mark, to_main::kBarNotLoggedIn,
                          [&](const DesktopAppRecord& r) { return IsBarRecord(r, first, 1); }, kRecordWaitMs, &asked)) {
    return Fail(L"the application received no bar record with the launch flag");
  }
  const std::vector<std::wstring> lines = DescribeRecord(asked.code, asked.payload);
  for (size_t i = 0; i < lines.size(); ++i) (i == 0 ? Say(L"the application received " + lines[i]) : Detail(lines[i]));

  app_.Quit();
  Say(L"the application quits; a second click finds no main window, so the DLL starts the application");
  Detail(L"from the folder above its own: " + options_.installDir + L"\\VelQuillanUI.exe");
  mark = app_.Mark();
  Click(link);
  std::string start;
  if (!app_.WaitForLine(mark, "start", [](const std::string& line) {
        bool login = false;
        return harness::JsonBool(line, "cloudbarlogin", &login) && login;
      }, 10000, &start)) {
    return Fail(L"the application was not started with /cloudbarlogin");
  }
  std::wstring commandLine;
  std::wstring folder;
  int64_t pid = 0;
  harness::JsonText(start, "commandLine", &commandLine);
  harness::JsonText(start, "cwd", &folder);
  harness::JsonInt(start, "pid", &pid);
  Say(L"the application's log: it started as " + commandLine);
  Detail(L"pid " + std::to_wstring(pid) + L", working folder " + folder);
  if (!app_.Find(10000)) return Fail(L"the started application shows no main window");
  Detail(L"it is the running application from now on: main window " + WindowText(app_.mainWindow()));
  return true;
}

bool DemoSession::LoggedIn() {
  const SampleAccount& second = config_.second();
  size_t mark = app_.Mark();
  Say(L"navigate to " + second.syncFolder);
  if (!Explore(L"navigate " + Quoted(second.syncFolder) + L"; waitfor " + kAppWindowClass + L" 10000; dump" +
               PictureStep(L"4-logged-in.png") + PictureStep(L"4-logged-in-bar.png", std::wstring(L"--class=") + kBarClass))) {
    return false;
  }
  DesktopAppRecord barRecord;
  if (!app_.WaitForRecord(mark, to_main::kBarLoggedIn,
                          [&](const DesktopAppRecord& r) { return IsBarRecord(r, second, 0); }, kRecordWaitMs,
                          &barRecord)) {
    return Fail(L"the application received no bar record (33790) for the logged-in account");
  }
  const std::vector<std::wstring> lines = DescribeRecord(barRecord.code, barRecord.payload);
  for (size_t i = 0; i < lines.size(); ++i) (i == 0 ? Say(L"the application received " + lines[i]) : Detail(lines[i]));

  std::vector<StandinRecord> dump = LastDump();
  const StandinRecord* bar = Bar(dump);
  const StandinRecord* window = ChildOf(dump, bar, kAppWindowClass);
  if (!bar || !window || !IsTrue(*bar, L"visible") || !IsTrue(*window, L"visible") ||
      window->Number(L"pid") != static_cast<long long>(app_.pid())) {
    return Fail(L"the application's window is not shown inside the bar");
  }
  Say(L"the application created its window " + WindowText(window->Window(L"hwnd")) + L" inside the bar " +
      WindowText(bar->Window(L"hwnd")) + L" and sent 33769 to the host window; the host adopted it and showed the bar");
  Detail(L"(it is another process's window: in the pictures it paints itself, as the frame's surface lacks it)");
  const long long width = bar->Number(L"client-width");
  if (!app_.WaitForRecord(mark, to_main::kBarSize,
                          [&](const DesktopAppRecord& r) {
                            BarSizeRecord size;
                            return ParseBarSizeRecord(r.payload.data(), r.payload.size(), &size) && size.right == width;
                          },
                          kRecordWaitMs)) {
    return Fail(L"the bar did not tell the application its size (33776)");
  }
  Say(L"the bar told the application the area its window is to fill (33776): " + Size(width, bar->Number(L"client-height")) +
      L"; the window is " + Geometry(*window));

  // A resize: the host follows the pane within a tick of its 200 ms timer, the bar tells the application.
  mark = app_.Mark();
  if (!Explore(L"resize 1000 620")) return false;
  const long long oldWidth = width;
  const DWORD start = ::GetTickCount();
  for (;;) {
    if (!Explore(L"wait 200; dump")) return false;
    dump = LastDump();
    bar = Bar(dump);
    window = ChildOf(dump, bar, kAppWindowClass);
    const StandinRecord* pane = Pane(dump);
    if (bar && window && pane && bar->Number(L"width") == pane->Number(L"client-width") &&
        bar->Number(L"width") != oldWidth && window->Number(L"width") == bar->Number(L"client-width")) {
      break;
    }
    if (::GetTickCount() - start > 5000) return Fail(L"the bar and the application's window do not follow a resize");
  }
  if (!Explore(L"wait 50" + PictureStep(L"4-resized.png"))) return false;
  Say(L"resize the Explorer window to 1000x620: the bar becomes " + Geometry(*bar) + L",");
  ShowRecords(mark, to_main::kBarSize);
  Detail(L"and the application's window follows: " + Geometry(*window));

  // The selection, as the bar reports it; Archive is in the account's non-synced list.
  mark = app_.Mark();
  const std::wstring file = config_.insideFile().substr(second.syncFolder.size() + 1);
  if (!Explore(L"select " + Quoted(file))) return false;
  if (!app_.WaitForRecord(mark, to_main::kSelectionFlag, [](const DesktopAppRecord& r) { return r.payload == std::vector<uint8_t>{1}; },
                          kRecordWaitMs)) {
    return Fail(L"no selection flag 1 after a file was selected");
  }
  Say(L"select " + file + L":");
  ShowRecords(mark, to_main::kSelectionState);
  ShowRecords(mark, to_main::kSelectionFlag);
  mark = app_.Mark();
  const std::wstring archive = config_.nonSyncedFolder().substr(second.syncFolder.size() + 1);
  if (!Explore(L"select " + Quoted(archive))) return false;
  if (!app_.WaitForRecord(mark, to_main::kSelectionFlag, [](const DesktopAppRecord& r) { return r.payload == std::vector<uint8_t>{0}; },
                          kRecordWaitMs)) {
    return Fail(L"no selection flag 0 after a non-synchronised folder was selected");
  }
  Say(L"select " + archive + L" (in the account's notsyncdir.dat):");
  ShowRecords(mark, to_main::kSelectionFlag);
  return true;
}

bool DemoSession::Menus() {
  struct Menu {
    std::wstring what;
    std::wstring steps;
    std::wstring first;  // the first item of the handler's own that the menu must hold
    std::wstring picture;
  };
  const Menu menus[] = {
      {L"a file inside, " + config_.insideFile(), L"menu " + Quoted(config_.insideFile()), L"Orrin",
       L"menu-file-inside.png"},
      {L"the background of " + config_.second().syncFolder, L"menu --background " + Quoted(config_.second().syncFolder),
       L"Orrin", L"menu-background-inside.png"},
      {L"a file outside, " + config_.outsideFile(), L"menu " + Quoted(config_.outsideFile()), L"同步到Orrin",
       L"menu-file-outside.png"},
  };
  Say(L"Explorer creates the registered handler " + std::wstring(kMenuClsid) +
      L" for each menu; it asks the engine's pipe for the sync folder");
  bool ok = true;
  for (const Menu& menu : menus) {
    std::vector<StandinRecord> lines;
    // Wine draws no menus: the stand-in draws the one it built, as a classic popup menu.
    const std::wstring picture =
        options_.pictures.empty() ? L"" : L"; menu-picture " + Quoted(options_.pictures + L"\\" + menu.picture);
    if (!Explore(menu.steps + picture, &lines)) return false;
    std::vector<StandinRecord> items;
    for (StandinRecord& line : lines) {
      if (line.type == L"menu-item") items.push_back(std::move(line));
    }
    Say(L"the menu of " + menu.what + L":");
    for (const StandinRecord& item : items) {
      const std::wstring indent(static_cast<size_t>(4 * (1 + item.Number(L"level", 0))), L' ');
      if (item.Text(L"kind") == L"separator") {
        Detail(indent + L"----------");
      } else {
        const bool icon = !item.Text(L"checked").empty();
        Detail(indent + item.Text(L"text") + (IsTrue(item, L"submenu") ? L"  >" : L"") + (icon ? L"  (with its icon)" : L""));
      }
    }
    const bool found = FindLine(items, [&](const StandinRecord& item) {
                         return item.Number(L"level") == 0 && item.Text(L"text") == menu.first;
                       }) != nullptr;
    if (!found) ok = Fail(L"the menu of " + menu.what + L" has no \"" + menu.first + L"\"");
    menus_.push_back(std::move(items));
  }
  return ok;
}

bool DemoSession::Share() {
  std::vector<StandinRecord> lines;
  if (!Explore(L"menu " + Quoted(config_.insideFile()), &lines)) return false;
  const StandinRecord* share = FindLine(lines, [](const StandinRecord& line) {
    return line.type == L"menu-item" && line.Text(L"text") == L"分享";
  });
  if (!share) return Fail(L"no \"分享\" in the menu");
  menus_.push_back({});
  for (const StandinRecord& line : lines) {
    if (line.type == L"menu-item") menus_.back().push_back(line);
  }
  const size_t mark = app_.Mark();
  std::vector<StandinRecord> invoked;
  if (!Explore(L"invoke --id=" + share->Text(L"id"), &invoked)) return false;
  const StandinRecord* result = FindLine(invoked, [](const StandinRecord& line) { return line.type == L"invoke"; });
  Say(L"the user chooses \"分享\" (command id " + share->Text(L"id") + L") in the menu of " + config_.insideFile() +
      L": InvokeCommand returns " + (result ? result->Text(L"hr") : std::wstring(L"?")));
  DesktopAppRecord record;
  if (!app_.WaitForRecord(mark, to_main::kShare, nullptr, kRecordWaitMs, &record)) {
    return Fail(L"the application received no share record (33787)");
  }
  ShareRecord parsed;
  if (!ParseShareRecord(record.payload.data(), record.payload.size(), &parsed) ||
      parsed.paths != std::vector<std::wstring>{config_.insideFile()}) {
    return Fail(L"the share record does not name the file");
  }
  ShowRecords(mark, to_main::kShare);
  return true;
}

bool DemoSession::Close() {
  const size_t mark = app_.Mark();
  HMODULE dll = ::LoadLibraryW(installedDll_.c_str());
  auto close = dll ? reinterpret_cast<int(WINAPI*)()>(reinterpret_cast<void*>(::GetProcAddress(dll, "CloseExplorerWithCloudBar")))
                   : nullptr;
  if (!close) {
    if (dll) ::FreeLibrary(dll);
    return Fail(L"the DLL does not export CloseExplorerWithCloudBar");
  }
  const int result = close();
  ::FreeLibrary(dll);
  Say(L"an installer (here: this demo) loads the DLL and calls CloseExplorerWithCloudBar(): it returns " +
      std::to_wstring(result));
  if (!explorer_ || !explorer_->WaitExit(20000)) return Fail(L"the Explorer window is still open");
  const std::vector<StandinRecord> commands = explorer_->Records(L"syscommand");
  if (commands.empty() || commands.back().Text(L"command") != L"0x0000F060" || explorer_->Records(L"closed").empty()) {
    return Fail(L"the Explorer window was not closed by SC_CLOSE");
  }
  Say(L"the host window got 33774 and posted SC_CLOSE to its Explorer window, which closed; the stand-in ended with " +
      std::to_wstring(explorer_->ExitCode()));
  app_.WaitForRecord(mark, to_main::kBarClosing, nullptr, kRecordWaitMs);
  ShowRecords(mark, to_main::kAccountAction);
  ShowRecords(mark, to_main::kBarClosing);
  return explorer_->ExitCode() == 0 || Fail(L"the Explorer stand-in ended with " + std::to_wstring(explorer_->ExitCode()));
}

// ---- Cleanup

void DemoSession::Cleanup() {
  if (cleaned_) return;
  cleaned_ = true;
  if (explorer_) {
    if (!explorer_->WaitExit(0)) {
      explorer_->Run(L"exit", 5000);
      explorer_->WaitExit(5000);
    }
    if (!options_.pictures.empty()) {
      ::CopyFileW(explorer_->logPath().c_str(), (options_.pictures + L"\\explorer.log").c_str(), FALSE);
    }
    explorer_.reset();  // kills it if it still runs
  }
  app_.QuitAll();
  if (!options_.pictures.empty()) {
    ::CopyFileW(app_.logPath().c_str(), (options_.pictures + L"\\application.log").c_str(), FALSE);
  }
  if (registered_) {
    // A failure leaves keys that point at a removed file; nothing here could mend that.
    RunProgram(L"regsvr32.exe /s /u " + harness::QuoteArg(installedDll_));
    registered_ = false;
  }
  config_.Remove();
  RemoveDemoFolder(options_.installDir);
}

}  // namespace quillan::demo
