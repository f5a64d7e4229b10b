// Text helpers every subsystem shares. Lower-casing and case-free comparison touch only A-Z;
// "ANSI" is the process's ANSI code page (CP_ACP).
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

namespace quillan {

// A-Z to a-z; every other code unit is left alone.
wchar_t LowerAZ(wchar_t c) noexcept;
std::wstring LowerAZ(std::wstring text);
// Equal when the texts differ at most in the case of A-Z.
bool EqualsNoCaseAZ(const std::wstring& a, const std::wstring& b) noexcept;

// Trims carriage returns, line feeds, tabs and spaces from both ends.
std::wstring TrimCrLfTabSpace(const std::wstring& text);
// Trims every character the C runtime classifies as white space (iswspace) from both ends:
// tab, line feed, vertical tab, form feed, carriage return, space and other spaces.
std::wstring TrimWhiteSpace(const std::wstring& text);

// Copies text into a fixed UTF-16 field of fieldChars code units: at most fieldChars - 1 characters
// and a terminating zero; the rest of the field is zeroed. Returns the number of characters copied.
size_t CopyToField(wchar_t* field, size_t fieldChars, const std::wstring& text) noexcept;
// Reads a zero-terminated text out of a fixed field, never past fieldChars code units even when the
// field holds no zero.
std::wstring ReadField(const wchar_t* field, size_t fieldChars);

// Code page conversions; an empty or unconvertible input gives an empty result.
std::string WideToAnsi(const std::wstring& text);
std::wstring AnsiToWide(const std::string& text);
std::string WideToUtf8(const std::wstring& text);
std::wstring Utf8ToWide(const std::string& text);
std::string WideToCodePage(const std::wstring& text, UINT codePage);
std::wstring CodePageToWide(const char* bytes, size_t length, UINT codePage);

}  // namespace quillan
