// How other programs (the tests' helper) talk to a running explorer-standin.exe: they send its
// control window (a message-only window, its handle in the "start" line) a WM_COPYDATA whose dwData
// is kStepsCopyDataCode and whose data is a script in UTF-16 (no terminator needed). The answer is
// the batch number (> 0) the steps will run as, or 0 when the script does not parse; the line
// {"type":"done","batch":N,...} follows once they have run.
#pragma once

#include <windows.h>

namespace quillan::standin {

constexpr wchar_t kControlWindowClass[] = L"QuillanExplorerStandinControl";
constexpr ULONG_PTR kStepsCopyDataCode = 0x51535450;  // "QSTP"

}  // namespace quillan::standin
