// Explorer's thread while the desktop application does not answer: a logged-in bar holding the
// application's window, the user working in the folder (a drag over the items, leaving the folder and
// coming back, a new view), with the application asleep past the system's 5 s threshold, and the same
// with the application answering. A second thread posts time-stamped messages to Explorer's thread
// every 20 ms; a message that waits more than 40 ms counts as blocked.
#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>

#include "desktop_app_driver.h"
#include "explorer/velcloud_explorer_inject_obj.h"
#include "explorer_frame.h"
#include "input_probe.h"
#include "standin_output.h"
#include "harness.h"

namespace {

using namespace quillan;

struct Run {
  harness::InputProbe::Figures figures;
  bool recovered = false;
};

Run Measure(bool hang) {
  Run run;
  harness::TempDir folders;
  harness::TempDir appData;
  const std::wstring sync = folders / L"Sync";
  harness::MakeDirs(sync);
  harness::WriteBytes(sync + L"\\a.txt", "a");
  standin::StandinOutput::Instance().SetQuiet(true);
  standin::FrameOptions options;
  options.band = standin::BandLoad::None;
  options.show = false;
  options.window.layout = standin::Layout::Vista;
  options.window.frameClass = L"CabinetWClass";
  auto frame = std::make_unique<standin::ExplorerFrame>(options);
  if (!frame->Create()) {
    std::printf("hung.error.frame: 1 count\n");
    return run;
  }
  frame->NavigateTo(sync, false, std::wstring());
  harness::DesktopAppStandin app;
  if (!app.Start()) {
    std::printf("hung.error.application: 1 count\n");
    return run;
  }
  auto host = std::make_unique<CVelCloudExplorerInjectObj>(nullptr, appData.path());
  host->Init(frame->Site());
  AccountEntry account;
  account.syncFolder = sync;
  account.userId = L"u1";
  account.enterpriseId = L"e1";
  account.userName = L"user";
  account.loggedIn = 1;
  // The frame itself stays hidden: the bar's own style says whether it shows.
  const auto barShows = [&] {
    return host->BarWindow() && (::GetWindowLongPtrW(host->BarWindow(), GWL_STYLE) & WS_VISIBLE) != 0;
  };
  host->UpdateAccount(true, account);
  if (!harness::PumpUntil(barShows, 5000)) {
    std::printf("hung.error.bar: 1 count\n");
    return run;
  }

  if (hang) app.Control(L"hang 9000 1");
  frame->SetSelection({sync + L"\\a.txt"});
  // The host window: the one of its class on this thread; a selection check as the items' input posts it.
  ::PostMessageW(::FindWindowExW(nullptr, nullptr, L"{DE16D8FE-F468-49A7-85B4-414CF06C72E5}", nullptr), 0x1401, 0, 0);
  harness::InputProbe probe;
  harness::PumpFor(5500);
  probe.Take();
  for (int round = 0; round < 3; ++round) {
    for (int i = 0; i < 20; ++i) ::SendMessageW(frame->tree().Items(), WM_MOUSEMOVE, MK_LBUTTON, 0);
    harness::PumpFor(300);
    host->UpdateAccount(false, AccountEntry{});
    harness::PumpFor(300);
    host->UpdateAccount(true, account);
    harness::PumpFor(300);
    frame->NavigateTo(sync, true, std::wstring());
    host->Revalidate();
    harness::PumpFor(300);
  }
  run.figures = probe.Take();
  run.recovered = harness::PumpUntil(barShows, 8000);
  host->Uninit();
  host.reset();
  frame.reset();
  app.Stop();
  return run;
}

}  // namespace

int main() {
  ::OleInitialize(nullptr);
  const Run healthy = Measure(false);
  const Run hung = Measure(true);
  std::printf("hung.blocked_fraction: %.3f fraction\n", hung.figures.BlockedFraction());
  std::printf("hung.longest_wait: %lu ms\n", static_cast<unsigned long>(hung.figures.longestMs));
  std::printf("hung.healthy_blocked_fraction: %.3f fraction\n", healthy.figures.BlockedFraction());
  std::printf("hung.healthy_longest_wait: %lu ms\n", static_cast<unsigned long>(healthy.figures.longestMs));
  std::printf("hung.probes: %zu count\n", hung.figures.probes);
  if (!hung.recovered || !healthy.recovered) std::printf("hung.error: 1 count\n");
  return 0;
}
