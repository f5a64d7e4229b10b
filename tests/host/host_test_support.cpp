#include "host_test_support.h"

#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <cstdlib>

#include "base/handle.h"
#include "config/sync_config.h"

namespace quillan::test {

Dump::Dump(ExplorerStandin& explorer) {
  const size_t before = explorer.Records(L"window").size();
  ok_ = explorer.Run(L"dump");
  std::vector<StandinRecord> all = explorer.Records(L"window");
  lines_.assign(all.begin() + static_cast<long>(std::min(before, all.size())), all.end());
}

const StandinRecord* Dump::Role(const std::wstring& role) const {
  for (const StandinRecord& line : lines_) {
    if (line.Text(L"role") == role) return &line;
  }
  return nullptr;
}

const StandinRecord* Dump::Class(const std::wstring& className) const {
  for (const StandinRecord& line : lines_) {
    if (line.Text(L"class") == className) return &line;
  }
  return nullptr;
}

const StandinRecord* Dump::Parent(const StandinRecord& window) const {
  for (const StandinRecord& line : lines_) {
    if (line.Number(L"index") == window.Number(L"parent") && line.Text(L"tree") == window.Text(L"tree")) return &line;
  }
  return nullptr;
}

std::vector<const StandinRecord*> Dump::Children(const StandinRecord& parent) const {
  std::vector<const StandinRecord*> children;
  for (const StandinRecord& line : lines_) {
    if (line.Number(L"parent") == parent.Number(L"index") && line.Text(L"tree") == parent.Text(L"tree")) {
      children.push_back(&line);
    }
  }
  return children;
}

const StandinRecord* Dump::BarIn(const StandinRecord& parent) const {
  for (const StandinRecord* child : Children(parent)) {
    if (child->Text(L"class") == L"#32770") return child;
  }
  return nullptr;
}

std::vector<DesktopAppRecord> RecordsFrom(const DesktopAppStandin& app, DWORD code, size_t from) {
  std::vector<DesktopAppRecord> all = app.Records(code);
  return std::vector<DesktopAppRecord>(all.begin() + static_cast<long>(std::min(from, all.size())), all.end());
}

int ExpectedBarHeight() {
  const char* variant = std::getenv("QUILLAN_WINE_VARIANT");
  return variant && std::string(variant) == "dpi120" ? 48 : 39;
}

std::vector<uint8_t> Payload(const Record& record) { return record.payload; }

int ThreadCount(DWORD pid) {
  UniqueFile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  if (!snapshot) return -1;
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  int count = 0;
  for (BOOL more = ::Thread32First(snapshot.get(), &entry); more; more = ::Thread32Next(snapshot.get(), &entry)) {
    if (entry.th32OwnerProcessID == pid) ++count;
  }
  return count;
}

bool CopyTo(const std::wstring& from, const std::wstring& to) {
  const size_t slash = to.find_last_of(L'\\');
  return MakeDirs(to.substr(0, slash)) && ::CopyFileW(from.c_str(), to.c_str(), FALSE) != FALSE;
}

std::wstring PictureFolder() {
  const std::wstring folder = BinDir() + L"\\..\\pictures";
  MakeDirs(folder);
  return folder;
}

}  // namespace quillan::test
