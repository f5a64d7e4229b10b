// A context menu for one file inside the sync folder, as Explorer asks for it: Initialize, which asks
// the engine for the sync folder, then QueryContextMenu, which asks for the file's state and inserts
// the items. Beside it the floor measured in the same run: two bare message-mode round trips of 4096
// bytes each way on a pipe of this program's own, plus the same menu insertions alone; and the two
// engine questions alone. Then the dead engine: the first menu after it went away, and menus inside
// the pipe's back-off.
#include <windows.h>

#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "base/com_ptr.h"
#include "bench_support.h"
#include "base/handle.h"
#include "desktop_app_driver.h"
#include "hdrop_data_object.h"
#include "ipc/pipe_client.h"
#include "ipc/records.h"
#include "menu/shell_context_menu.h"
#include "harness.h"

namespace {

using namespace quillan;
using namespace quillan::bench;

// The insertions the handler makes for one file in state 3, alone: the submenu with five items and
// three separators, then separator, parent and separator in Explorer's menu.
double Insertions(HBITMAP bitmap) {
  std::wstring label = L"label";
  std::vector<double> times;
  for (int round = 0; round < 1050; ++round) {
    UniqueMenu menu(::CreatePopupMenu());
    const double start = Now();
    HMENU submenu = ::CreatePopupMenu();
    MENUITEMINFOW info = {};
    info.cbSize = sizeof info;
    info.fMask = MIIM_STATE | MIIM_ID | MIIM_CHECKMARKS | MIIM_DATA | MIIM_STRING;
    info.hbmpChecked = info.hbmpUnchecked = bitmap;
    info.dwItemData = CShellContextMenu::ItemMarker;
    info.dwTypeData = &label[0];
    info.cch = static_cast<UINT>(label.size());
    UINT position = 0;
    for (UINT key : {8u, 3u, 4u, 5u, 6u}) {
      info.wID = 100 + key;
      ::InsertMenuItemW(submenu, position++, TRUE, &info);
      if (key == 8 || key == 3 || key == 4) ::InsertMenuW(submenu, position++, MF_BYPOSITION | MF_SEPARATOR, 1, nullptr);
    }
    ::InsertMenuW(menu.get(), 0, MF_BYPOSITION | MF_SEPARATOR, 1, nullptr);
    info.fMask |= MIIM_SUBMENU;
    info.hSubMenu = submenu;
    info.wID = 102;
    ::InsertMenuItemW(menu.get(), 1, TRUE, &info);
    ::InsertMenuW(menu.get(), 2, MF_BYPOSITION | MF_SEPARATOR, 1, nullptr);
    if (round >= 50) times.push_back(Now() - start);
  }
  return MedianOf(std::move(times));
}

// Initialize + QueryContextMenu of fresh handlers (created and released outside the measured time, as
// their images load at creation); the median, and how many did not build the nine-command menu.
double MenuTime(IDataObject* data, int calls, int* wrong) {
  std::vector<double> times;
  for (int i = 0; i < calls + 10; ++i) {
    ComPtr<CShellContextMenu> handler;
    if (FAILED(CShellContextMenu::Create(&handler))) {
      ++*wrong;
      continue;
    }
    UniqueMenu menu(::CreatePopupMenu());
    const double start = Now();
    const bool built = handler->Initialize(nullptr, data, nullptr) == S_OK &&
                       handler->QueryContextMenu(menu.get(), 0, 100, 200, CMF_NORMAL) == 9;
    const double elapsed = Now() - start;
    if (i < 10) continue;
    if (!built) ++*wrong;
    times.push_back(elapsed);
  }
  return MedianOf(std::move(times));
}

}  // namespace

int main() {
  ::OleInitialize(nullptr);
  harness::TempDir dir;
  const std::wstring root = dir / L"Sync";
  const std::wstring file = root + L"\\a.txt";
  harness::WriteBytes(file, std::string("a"));
  // The selection as Explorer hands it over: CF_HDROP.
  ComPtr<IDataObject> data;
  data.Attach(standin::HDropDataObject::Create({file}));

  const double bare = BareRoundTrip(L"menu");
  Figure("menu.floor_pipe_round_trip", bare);
  UniqueBitmap bitmap(::CreateBitmap(16, 16, 1, 32, nullptr));
  const double insertions = Insertions(bitmap.get());
  Figure("menu.floor_insertions", insertions);
  const double floor = 2 * bare + insertions;
  Figure("menu.floor", floor);

  harness::DesktopAppStandin standin;
  const std::wstring scenario = L"pipe ui_host normal\nsync-root ui_host " + root + L"\nstate 3 " + file + L"\n";
  if (!standin.Start({L"--no-adopt", L"--scenario", standin.WriteScenario(scenario)})) {
    std::printf("menu.standin: not started\n");
    return 0;
  }
  PipeBackoff::Process().Clear();
  int wrong = 0;
  const double up = MenuTime(data.Get(), 300, &wrong);
  std::printf("menu.wrong_results: %d count\n", wrong);
  Figure("menu.engine_up", up);
  if (wrong == 0 && floor > 0) std::printf("menu.engine_up ratio: %.2f\n", up / floor);

  // The two questions alone, as the handler asks them (a fresh client and connection each): what the
  // engine's round trips cost beyond the bare floor, apart from the handler's own work.
  const double questions = Median(10, 300, [&] {
    std::wstring text;
    PipeClient syncRoot;
    PipeClient state;
    if (!syncRoot.QuerySyncRoot(&text) || QueryFileState(&state, file) != 3) ++wrong;
  });
  Figure("menu.engine_questions", questions);
  if (wrong == 0 && questions > 0) std::printf("menu.engine_up_vs_questions ratio: %.2f\n", up / questions);

  // The engine goes away while the application's window stays: the first menu finds no pipe, the next
  // ones fall inside the pipe's back-off and are refused at once.
  standin.Control(L"pipe both absent");
  PipeBackoff::Process().Clear();
  ComPtr<CShellContextMenu> first;
  CShellContextMenu::Create(&first);
  double start = Now();
  const HRESULT firstResult = first->Initialize(nullptr, data.Get(), nullptr);
  Figure("menu.engine_down_first", Now() - start);
  std::vector<double> times;
  int refused = firstResult == E_INVALIDARG ? 1 : 0;
  while (times.size() < 1000) {
    ComPtr<CShellContextMenu> handler;
    CShellContextMenu::Create(&handler);
    const bool inside = PipeBackoff::Process().Active(kUiHostPipeIndex);
    start = Now();
    const HRESULT hr = handler->Initialize(nullptr, data.Get(), nullptr);  // Explorer asks for no items after it
    const double elapsed = Now() - start;
    if (hr == E_INVALIDARG) ++refused;
    if (inside) times.push_back(elapsed);  // a call past the window only renews it
  }
  std::printf("menu.engine_down_refused: %d count\n", refused);
  Figure("menu.engine_down", MedianOf(std::move(times)));
  return 0;
}
