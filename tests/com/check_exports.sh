#!/usr/bin/env bash
# Checks a build of QuillanShellUI.DLL with objdump: its name, its six exports with their ordinals,
# and that it imports system DLLs only, none of them a MinGW runtime, and no function Windows XP lacks.
# Usage: check_exports.sh <objdump> <dll>
set -uo pipefail
objdump="$1"
dll="$2"
[ -f "$dll" ] || { echo "missing: $dll (build it first)"; exit 1; }
dump="$("$objdump" -p "$dll")" || { echo "objdump failed on $dll"; exit 1; }
status=0
fail() { echo "FAIL: $*"; status=1; }

name="$(awk '/^Name[ \t]/ { print $3 }' <<<"$dump")"
[ "$name" = "QuillanShellUI.DLL" ] || fail "module name is '$name'"

# "[Ordinal/Name Pointer] Table" lists "[index] name"; the ordinal is index + the ordinal base.
base="$(sed -n 's/.*Ordinal Base \([0-9]\+\).*/\1/p' <<<"$dump" | head -1)"
exports="$(awk -v base="${base:-1}" '
  /\[Ordinal\/Name Pointer\] Table/ { inside = 1; next }
  inside && /^[ \t]*\[/ { gsub(/[][]/, " "); print $1 + base, $2; next }
  inside && NF == 0 { inside = 0 }' <<<"$dump")"
expected="1 CloseExplorerWithCloudBar
2 DllCanUnloadNow
3 DllGetClassObject
4 DllInstall
5 DllRegisterServer
6 DllUnregisterServer"
[ "$exports" = "$expected" ] || fail "exports are:
$exports"

allowed="kernel32.dll user32.dll gdi32.dll advapi32.dll shell32.dll shlwapi.dll ole32.dll oleaut32.dll
  rpcrt4.dll comctl32.dll msimg32.dll gdiplus.dll uxtheme.dll msvcrt.dll version.dll"
while read -r imported; do
  lower="$(tr 'A-Z' 'a-z' <<<"$imported")"
  grep -qw -- "$lower" <<<"$allowed" || fail "imports $imported"
done < <(awk '/DLL Name:/ { print $3 }' <<<"$dump")

# Functions of Windows Vista and later that a build could pick up; each must be looked up at run time.
newer="GetTickCount64 InitializeSRWLock AcquireSRWLockExclusive AcquireSRWLockShared ReleaseSRWLockExclusive
  ReleaseSRWLockShared TryAcquireSRWLockExclusive InitializeConditionVariable SleepConditionVariableCS
  SleepConditionVariableSRW WakeConditionVariable WakeAllConditionVariable InitOnceExecuteOnce
  InitOnceBeginInitialize InitOnceComplete InitializeCriticalSectionEx CreateEventExW CreateEventExA
  CreateMutexExW CreateSemaphoreExW FlsAlloc FlsFree FlsGetValue FlsSetValue GetLocaleInfoEx LCMapStringEx
  CompareStringEx GetFileInformationByHandleEx SetFileInformationByHandle GetFinalPathNameByHandleW
  CreateSymbolicLinkW CancelIoEx CancelSynchronousIo GetQueuedCompletionStatusEx QueryFullProcessImageNameW
  GetErrorMode SetThreadErrorMode GetCurrentProcessorNumber GetThreadId GetSystemTimePreciseAsFileTime
  RaiseFailFastException EncodePointer DecodePointer RegDeleteTreeW RegDeleteTreeA RegGetValueW
  RegCopyTreeW RegSetKeyValueW RegDeleteKeyExW ChangeWindowMessageFilter ChangeWindowMessageFilterEx
  SetProcessDPIAware IsProcessDPIAware GetDpiForWindow GetDpiForMonitor AddClipboardFormatListener
  RegisterTypeLibForUser UnRegisterTypeLibForUser SHGetKnownFolderPath SHCreateItemFromParsingName"
imports="$(awk '/DLL Name:/ { inside = 1; next } inside && NF >= 3 && $1 ~ /^[0-9a-f]+$/ { print $3 }' <<<"$dump")"
for function in $newer; do
  grep -qx -- "$function" <<<"$imports" && fail "imports $function"
done

# comctl32 5.8 (Windows XP without a common-controls-6 context, as under regsvr32) exports these by
# ordinal only: imported by name they would keep the DLL from loading there.
ordinalOnly="SetWindowSubclass RemoveWindowSubclass DefSubclassProc"
for function in $ordinalOnly; do
  grep -qx -- "$function" <<<"$imports" && fail "imports $function by name"
done

[ $status -eq 0 ] && echo "ok: $dll"
exit $status
