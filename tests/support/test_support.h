// Shared helpers of the test programs: temporary folders, files, the program folder.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace quillan::test {

// A fresh, empty folder under %TEMP%, removed with everything in it on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::wstring& path() const { return path_; }
  // path() + "\" + relative
  std::wstring operator/(const std::wstring& relative) const;

 private:
  std::wstring path_;
};

// The folder that holds the running test program (and the DLL, the tools and the other programs).
std::wstring BinDir();

// Creates every missing folder of path.
bool MakeDirs(const std::wstring& path);
// Removes a folder with everything in it.
void RemoveTree(const std::wstring& path);

// Writes bytes to a file, creating its folder; replaces an existing file.
bool WriteBytes(const std::wstring& path, const std::string& bytes);
bool WriteBytes(const std::wstring& path, const void* data, size_t size);
// Writes text as UTF-16LE with the FF FE mark (the form Windows ini files take for Unicode).
bool WriteUtf16File(const std::wstring& path, const std::wstring& text, bool withMark = true);
// Writes text converted to the ANSI code page.
bool WriteAnsiFile(const std::wstring& path, const std::wstring& text);
// Reads a whole file; false when it cannot be read.
bool ReadBytes(const std::wstring& path, std::string* bytes);

bool FileExists(const std::wstring& path);

}  // namespace quillan::test
