#include "standin_app.h"

#include <cstring>
#include <cwchar>
#include <utility>
#include <vector>

#include "base/text.h"
#include "dib_pixels.h"
#include "foreign_paint_protocol.h"
#include "ipc/main_window.h"
#include "ipc/pipe_messages.h"
#include "ipc_peer/peer_records.h"

namespace standin {

using namespace quillan;

namespace {

constexpr wchar_t kChildClass[] = L"DesktopAppStandinAccountWindow";
constexpr UINT kPendingLogins = WM_APP + 1;
constexpr DWORD kControlSendTimeoutMs = 500;

std::wstring NextWord(const std::wstring& line, size_t* pos) {
  size_t begin = line.find_first_not_of(L" \t", *pos);
  if (begin == std::wstring::npos) {
    *pos = line.size();
    return std::wstring();
  }
  size_t end = line.find_first_of(L" \t", begin);
  if (end == std::wstring::npos) end = line.size();
  *pos = end;
  return line.substr(begin, end - begin);
}

// The rest of the line after one separating blank run: texts and paths may hold blanks.
std::wstring Rest(const std::wstring& line, size_t pos) {
  size_t begin = line.find_first_not_of(L" \t", pos);
  return begin == std::wstring::npos ? std::wstring() : TrimCrLfTabSpace(line.substr(begin));
}

bool ParseNumber(const std::wstring& word, int64_t* value) {
  if (word.empty()) return false;
  wchar_t* end = nullptr;
  const bool negative = word[0] == L'-';
  const uint64_t magnitude = std::wcstoull(word.c_str() + (negative ? 1 : 0), &end, 0);
  if (!end || *end != L'\0') return false;
  *value = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
  return true;
}

bool ParseWindow(const std::wstring& word, HWND* window) {
  int64_t value = 0;
  if (!ParseNumber(word, &value)) return false;
  *window = WindowFromWire(value);
  return true;
}

bool ParseHex(const std::wstring& word, std::vector<uint8_t>* bytes) {
  bytes->clear();
  if (word == L"-") return true;  // no payload
  if (word.size() % 2 != 0) return false;
  for (size_t i = 0; i < word.size(); i += 2) {
    wchar_t pair[3] = {word[i], word[i + 1], L'\0'};
    wchar_t* end = nullptr;
    const unsigned long byte = std::wcstoul(pair, &end, 16);
    if (!end || *end != L'\0') return false;
    bytes->push_back(static_cast<uint8_t>(byte));
  }
  return true;
}

// "ui_host" -> {0}, "box" -> {1}, "both" -> {0, 1}.
std::vector<int> ParsePipes(const std::wstring& word) {
  if (word == L"ui_host") return {0};
  if (word == L"box") return {1};
  if (word == L"both") return {0, 1};
  return {};
}

}  // namespace

StandinApp::StandinApp(const Options& options, JsonLog* log)
    : options_(options), log_(log), pipes_(log), hangMs_(options.hangMs) {}

StandinApp::~StandinApp() {
  pipes_.Stop();
  HoldMutex(false);
}

bool StandinApp::Create() {
  HINSTANCE instance = ::GetModuleHandleW(nullptr);
  WNDCLASSEXW main = {};
  main.cbSize = sizeof main;
  main.lpfnWndProc = MainProc;
  main.hInstance = instance;
  main.lpszClassName = kMainWindowClass;
  WNDCLASSEXW child = {};
  child.cbSize = sizeof child;
  child.lpfnWndProc = ChildProc;
  child.hInstance = instance;
  child.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  child.lpszClassName = kChildClass;
  if (!::RegisterClassExW(&main) || !::RegisterClassExW(&child)) return false;

  // Top-level and never shown: FindWindowW does not see message-only windows.
  window_.reset(::CreateWindowExW(0, kMainWindowClass, L"", WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, nullptr, nullptr,
                                  instance, this));
  if (!window_) return false;
  return pipes_.Start();
}

int StandinApp::Run() {
  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  return 0;
}

LRESULT CALLBACK StandinApp::MainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* app = reinterpret_cast<StandinApp*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  switch (message) {
    case WM_COPYDATA:
      return app ? app->OnCopyData(*reinterpret_cast<const COPYDATASTRUCT*>(lParam)) : 0;
    case kPendingLogins:
      if (app) app->OnPendingLogins();
      return 0;
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return 0;
    default:
      return ::DefWindowProcW(window, message, wParam, lParam);
  }
}

namespace {

// The account window's face: a light fill and its label (the account's names, which may be Chinese).
void PaintAccountWindow(HWND window, HDC dc) {
  RECT client;
  ::GetClientRect(window, &client);
  UniqueBrush fill(::CreateSolidBrush(RGB(0xE8, 0xF1, 0xFB)));
  ::FillRect(dc, &client, fill.get());
  wchar_t label[512] = {};
  ::GetWindowTextW(window, label, 512);
  UniqueFont font(::CreateFontW(-12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"微软雅黑"));
  SelectObjectScope select(dc, font.get());
  ::SetBkMode(dc, TRANSPARENT);
  RECT text = client;
  text.left += 8;
  ::DrawTextW(dc, label, -1, &text, DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_END_ELLIPSIS);
}

// A picture of the Explorer window asks for this window's pixels (its own window surface is not the
// frame's): paint into a bitmap and copy it into the named section.
LRESULT PaintIntoSection(HWND window, const COPYDATASTRUCT& data) {
  quillan::standin::PaintIntoSection request;
  if (data.cbData != sizeof request || !data.lpData) return 0;
  std::memcpy(&request, data.lpData, sizeof request);
  request.section[63] = L'\0';
  RECT rect;
  if (!::GetWindowRect(window, &rect) || request.width != static_cast<uint32_t>(rect.right - rect.left) ||
      request.height != static_cast<uint32_t>(rect.bottom - rect.top) || request.width == 0 || request.height == 0) {
    return 0;
  }
  const size_t bytes = static_cast<size_t>(request.width) * request.height * 4;
  void* bits = nullptr;
  UniqueBitmap bitmap =
      quillan::standin::CreateTopDownBitmap(static_cast<int>(request.width), static_cast<int>(request.height), &bits);
  UniqueMemoryDc dc(::CreateCompatibleDC(nullptr));
  UniqueHandle mapping(::OpenFileMappingW(FILE_MAP_WRITE, FALSE, request.section));
  if (!bitmap || !dc || !bits || !mapping) return 0;
  {
    SelectObjectScope select(dc.get(), bitmap.get());
    PaintAccountWindow(window, dc.get());
  }
  ::GdiFlush();
  void* view = ::MapViewOfFile(mapping.get(), FILE_MAP_WRITE, 0, 0, bytes);
  if (!view) return 0;
  std::memcpy(view, bits, bytes);
  ::UnmapViewOfFile(view);
  return 1;
}

}  // namespace

LRESULT CALLBACK StandinApp::ChildProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_PAINT) {
    PAINTSTRUCT paint;
    HDC dc = ::BeginPaint(window, &paint);
    PaintAccountWindow(window, dc);
    ::EndPaint(window, &paint);
    return 0;
  }
  if (message == WM_COPYDATA && lParam) {
    const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    if (data->dwData == quillan::standin::kPaintIntoSectionCode) return PaintIntoSection(window, *data);
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

LRESULT StandinApp::OnCopyData(const COPYDATASTRUCT& data) {
  if (data.dwData != kControlCode) return OnRecord(data);
  std::wstring command(data.cbData / sizeof(wchar_t), L'\0');
  if (!command.empty() && data.lpData) std::memcpy(&command[0], data.lpData, command.size() * sizeof(wchar_t));
  return Execute(command);
}

LRESULT StandinApp::OnRecord(const COPYDATASTRUCT& data) {
  const DWORD code = static_cast<DWORD>(data.dwData);
  const size_t size = data.lpData ? data.cbData : 0;
  Json json;
  json.Num("code", static_cast<int64_t>(data.dwData)).Num("size", data.cbData);
  const RecordFields fields = DescribeRecord(code, data.lpData, size);
  json.Raw("name", std::string("\"") + fields.name + "\"");
  json.Raw("fields", FieldsJson(fields));
  json.Raw("hex", "\"" + Hex(data.lpData, size) + "\"");
  log_->Write("record", json);

  if (code == to_main::kBarLoggedIn && options_.adoptOnLogin) {
    BarRecord bar;
    if (ParseBarRecord(data.lpData, size, &bar)) {
      // The host is waiting in its send: create the window and answer after it has returned.
      logins_.push_back(Login{WindowFromWire(bar.hostWindow), WindowFromWire(bar.barWindow), bar.key,
                              bar.userName + L" - " + bar.enterpriseName});
      ::PostMessageW(window_.get(), kPendingLogins, 0, 0);
    }
  } else if (code == to_main::kBarSize) {
    BarSizeRecord barSize;
    if (ParseBarSizeRecord(data.lpData, size, &barSize)) {
      HWND child = WindowFromWire(barSize.externalWindow);
      if (labels_.count(child) && ::IsWindow(child)) {
        ::SetWindowPos(child, nullptr, barSize.left, barSize.top, barSize.right - barSize.left, barSize.bottom - barSize.top,
                       SWP_NOZORDER | SWP_NOACTIVATE);
        log_->Write("child", Json()
                                 .Str("action", L"sized")
                                 .Num("window", WindowToWire(child))
                                 .Num("width", barSize.right - barSize.left)
                                 .Num("height", barSize.bottom - barSize.top));
      }
    }
  } else if (code == to_main::kBarClosing) {
    BarClosingRecord closing;
    if (ParseBarClosingRecord(data.lpData, size, &closing)) DestroyChild(WindowFromWire(closing.barWindow));
  }

  if (hangMs_ > 0 && hangCount_ != 0) {
    if (hangCount_ > 0) --hangCount_;
    ::Sleep(hangMs_);  // a receiver that does not answer in time
  }
  return 1;
}

void StandinApp::OnPendingLogins() {
  while (!logins_.empty()) {
    Login login = std::move(logins_.front());
    logins_.pop_front();
    Adopt(login.host, login.bar, login.key, login.label);
  }
}

HWND StandinApp::ChildIn(HWND bar) const {
  auto found = children_.find(bar);
  if (found == children_.end()) return nullptr;
  HWND child = found->second;
  return (::IsWindow(child) && ::GetParent(child) == bar) ? child : nullptr;
}

HWND StandinApp::Adopt(HWND host, HWND bar, const AccountKey& key, const std::wstring& label) {
  if (!::IsWindow(bar)) {
    log_->Write("child", Json().Str("action", L"no bar").Num("bar", WindowToWire(bar)));
    return nullptr;
  }
  HWND child = ChildIn(bar);
  if (!child) {
    RECT client = {};
    ::GetClientRect(bar, &client);
    // Created hidden: the bar shows the window when it adopts it.
    child = ::CreateWindowExW(WS_EX_NOPARENTNOTIFY, kChildClass, label.c_str(), WS_CHILD | WS_CLIPSIBLINGS, 0, 0,
                              client.right, client.bottom, bar, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    if (!child) {
      log_->Write("child", Json().Str("action", L"create failed").Num("lastError", ::GetLastError()));
      return nullptr;
    }
    children_[bar] = child;
    labels_[child] = label;
    log_->Write("child", Json()
                             .Str("action", L"created")
                             .Num("window", WindowToWire(child))
                             .Num("bar", WindowToWire(bar))
                             .Num("width", client.right)
                             .Num("height", client.bottom));
  }
  SendToHost(host, BuildWindowRecord(to_host::kAdoptWindow, key.userId, key.enterpriseId, child).value());
  return child;
}

bool StandinApp::DestroyChild(HWND bar) {
  HWND child = ChildIn(bar);
  auto found = children_.find(bar);
  if (found != children_.end()) {
    labels_.erase(found->second);
    children_.erase(found);
  }
  if (!child) return false;
  ::DestroyWindow(child);
  log_->Write("child", Json().Str("action", L"destroyed").Num("window", WindowToWire(child)));
  return true;
}

LRESULT StandinApp::SendToHost(HWND host, const Record& record) {
  DWORD_PTR answer = 0;
  const bool delivered = ::IsWindow(host) && SendRecord(host, record, SMTO_NORMAL, kControlSendTimeoutMs, &answer);
  const DWORD error = delivered ? 0 : ::GetLastError();
  log_->Write("sent", Json()
                          .Num("to", WindowToWire(host))
                          .Num("code", record.code)
                          .Num("size", static_cast<int64_t>(record.payload.size()))
                          .Bool("delivered", delivered)
                          .Num("answer", static_cast<int64_t>(answer))
                          .Num("lastError", error)
                          .Raw("hex", "\"" + Hex(record.payload.data(), record.payload.size()) + "\""));
  return delivered ? static_cast<LRESULT>(answer) : kControlFailed;
}

bool StandinApp::HoldMutex(bool hold) {
  if (!hold) {
    if (!mutex_) return false;
    ::ReleaseMutex(mutex_.get());
    mutex_.reset();
    return true;
  }
  if (mutex_) return true;
  // Owned by the main thread, which keeps running: another process sees it held.
  mutex_.reset(::CreateMutexW(nullptr, TRUE, kLegacyUiMutexName));
  return mutex_.valid();
}

LRESULT StandinApp::RunScenario(const std::wstring& path) {
  UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return kControlFailed;
  std::string bytes;
  char buffer[4096];
  DWORD got = 0;
  while (::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
  if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
  const std::wstring text = Utf8ToWide(bytes);
  LRESULT result = 1;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(L'\n', start);
    if (end == std::wstring::npos) end = text.size();
    const std::wstring line = TrimCrLfTabSpace(text.substr(start, end - start));
    start = end + 1;
    if (line.empty() || line[0] == L'#') continue;
    if (Execute(line) == kControlFailed) result = kControlFailed;
  }
  return result;
}

LRESULT StandinApp::Execute(const std::wstring& command) {
  size_t pos = 0;
  const std::wstring verb = NextWord(command, &pos);
  LRESULT result = kControlFailed;

  if (verb == L"ping") {
    result = 1;
  } else if (verb == L"send") {
    HWND host = nullptr;
    int64_t code = 0;
    Record record;
    if (ParseWindow(NextWord(command, &pos), &host) && ParseNumber(NextWord(command, &pos), &code) &&
        ParseHex(NextWord(command, &pos), &record.payload)) {
      record.code = static_cast<DWORD>(code);
      result = SendToHost(host, record);
    }
  } else if (verb == L"adopt") {
    HWND host = nullptr;
    HWND bar = nullptr;
    if (ParseWindow(NextWord(command, &pos), &host) && ParseWindow(NextWord(command, &pos), &bar)) {
      AccountKey key;
      key.userId = NextWord(command, &pos);
      key.enterpriseId = NextWord(command, &pos);
      HWND child = Adopt(host, bar, key, key.userId + L" - " + key.enterpriseId);
      result = child ? static_cast<LRESULT>(WindowToWire(child)) : kControlFailed;
    }
  } else if (verb == L"destroy-child") {
    HWND bar = nullptr;
    if (ParseWindow(NextWord(command, &pos), &bar)) result = DestroyChild(bar) ? 1 : 0;
  } else if (verb == L"mutex") {
    const std::wstring what = NextWord(command, &pos);
    if (what == L"hold" || what == L"release") result = HoldMutex(what == L"hold") ? 1 : 0;
  } else if (verb == L"pipe") {
    const std::vector<int> which = ParsePipes(NextWord(command, &pos));
    PipeMode mode;
    if (!which.empty() && ParsePipeMode(NextWord(command, &pos), &mode)) {
      const std::wstring argument = NextWord(command, &pos);
      int64_t delay = 0;
      std::vector<uint8_t> raw;
      const bool ok = (mode == PipeMode::kSlow)  ? ParseNumber(argument, &delay) && delay >= 0
                      : (mode == PipeMode::kRaw) ? ParseHex(argument, &raw)
                                                 : true;
      if (ok) {
        for (int p : which) pipes_.SetMode(p, mode, static_cast<DWORD>(delay), raw);
        result = 1;
      }
    }
  } else if (verb == L"sync-root") {
    const std::vector<int> which = ParsePipes(NextWord(command, &pos));
    const std::wstring text = Rest(command, pos);
    for (int p : which) pipes_.SetSyncRoot(p, text);
    result = which.empty() ? kControlFailed : 1;
  } else if (verb == L"state") {
    int64_t value = 0;
    if (ParseNumber(NextWord(command, &pos), &value)) {
      pipes_.SetState(Rest(command, pos), static_cast<uint32_t>(value));
      result = 1;
    }
  } else if (verb == L"default-state") {
    int64_t value = 0;
    if (ParseNumber(NextWord(command, &pos), &value)) {
      pipes_.SetDefaultState(static_cast<uint32_t>(value));
      result = 1;
    }
  } else if (verb == L"hang") {
    int64_t ms = 0;
    if (ParseNumber(NextWord(command, &pos), &ms) && ms >= 0) {
      int64_t count = -1;
      const std::wstring countWord = NextWord(command, &pos);
      if (countWord.empty() || ParseNumber(countWord, &count)) {
        hangMs_ = static_cast<DWORD>(ms);
        hangCount_ = static_cast<long>(count);
        result = 1;
      }
    }
  } else if (verb == L"adopt-on-login") {
    const std::wstring what = NextWord(command, &pos);
    if (what == L"on" || what == L"off") {
      options_.adoptOnLogin = what == L"on";
      result = 1;
    }
  } else if (verb == L"scenario") {
    result = RunScenario(Rest(command, pos));
  } else if (verb == L"quit") {
    // Posted, so that the sender gets its answer before the window goes.
    ::PostMessageW(window_.get(), WM_CLOSE, 0, 0);
    result = 1;
  }
  log_->Write("control", Json().Str("command", command).Num("result", static_cast<int64_t>(result)));
  return result;
}

}  // namespace standin
