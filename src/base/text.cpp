#include "base/text.h"

#include <climits>
#include <cwctype>

namespace quillan {

wchar_t LowerAZ(wchar_t c) noexcept { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + (L'a' - L'A')) : c; }

std::wstring LowerAZ(std::wstring text) {
  for (wchar_t& c : text) c = LowerAZ(c);
  return text;
}

bool EqualsNoCaseAZ(const std::wstring& a, const std::wstring& b) noexcept {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (LowerAZ(a[i]) != LowerAZ(b[i])) return false;
  }
  return true;
}

namespace {

template <typename IsTrimmed>
std::wstring TrimBoth(const std::wstring& text, IsTrimmed isTrimmed) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && isTrimmed(text[begin])) ++begin;
  while (end > begin && isTrimmed(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

}  // namespace

std::wstring TrimCrLfTabSpace(const std::wstring& text) {
  return TrimBoth(text, [](wchar_t c) { return c == L'\r' || c == L'\n' || c == L'\t' || c == L' '; });
}

std::wstring TrimWhiteSpace(const std::wstring& text) {
  return TrimBoth(text, [](wchar_t c) { return std::iswspace(static_cast<wint_t>(c)) != 0; });
}

size_t CopyToField(wchar_t* field, size_t fieldChars, const std::wstring& text) noexcept {
  if (!field || fieldChars == 0) return 0;
  size_t n = text.size() < fieldChars - 1 ? text.size() : fieldChars - 1;
  for (size_t i = 0; i < n; ++i) field[i] = text[i];
  for (size_t i = n; i < fieldChars; ++i) field[i] = L'\0';
  return n;
}

std::wstring ReadField(const wchar_t* field, size_t fieldChars) {
  if (!field) return std::wstring();
  size_t n = 0;
  while (n < fieldChars && field[n] != L'\0') ++n;
  return std::wstring(field, n);
}

std::string WideToCodePage(const std::wstring& text, UINT codePage) {
  if (text.empty() || text.size() > static_cast<size_t>(INT_MAX)) return std::string();
  int length = static_cast<int>(text.size());
  int bytes = ::WideCharToMultiByte(codePage, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return std::string();
  std::string out(static_cast<size_t>(bytes), '\0');
  bytes = ::WideCharToMultiByte(codePage, 0, text.data(), length, &out[0], bytes, nullptr, nullptr);
  if (bytes <= 0) return std::string();
  out.resize(static_cast<size_t>(bytes));
  return out;
}

std::wstring CodePageToWide(const char* bytes, size_t length, UINT codePage) {
  if (!bytes || length == 0 || length > static_cast<size_t>(INT_MAX)) return std::wstring();
  int n = static_cast<int>(length);
  int chars = ::MultiByteToWideChar(codePage, 0, bytes, n, nullptr, 0);
  if (chars <= 0) return std::wstring();
  std::wstring out(static_cast<size_t>(chars), L'\0');
  chars = ::MultiByteToWideChar(codePage, 0, bytes, n, &out[0], chars);
  if (chars <= 0) return std::wstring();
  out.resize(static_cast<size_t>(chars));
  return out;
}

std::string WideToAnsi(const std::wstring& text) { return WideToCodePage(text, CP_ACP); }
std::wstring AnsiToWide(const std::string& text) { return CodePageToWide(text.data(), text.size(), CP_ACP); }
std::string WideToUtf8(const std::wstring& text) { return WideToCodePage(text, CP_UTF8); }
std::wstring Utf8ToWide(const std::string& text) { return CodePageToWide(text.data(), text.size(), CP_UTF8); }

}  // namespace quillan
