#include "base/text.h"

#include <gtest/gtest.h>

namespace quillan {
namespace {

TEST(Text, CaseAndTrimming) {
  // Only A-Z change case: Latin-1, Greek, Cyrillic and full-width letters keep theirs.
  EXPECT_EQ(LowerAZ(std::wstring(L"ABC xyz @[`{ 09 \u00C4\u0391\u0414\uFF21Z")), L"abc xyz @[`{ 09 \u00C4\u0391\u0414\uFF21z");
  EXPECT_TRUE(EqualsNoCaseAZ(L"D:\\Sync\\A.TXT", L"d:\\sync\\a.txt"));
  EXPECT_FALSE(EqualsNoCaseAZ(L"\u00C4", L"\u00E4"));
  EXPECT_FALSE(EqualsNoCaseAZ(L"abc", L"abcd"));
  EXPECT_EQ(TrimCrLfTabSpace(L" \t\r\n\\Old\r\n \t"), L"\\Old");
  EXPECT_EQ(TrimCrLfTabSpace(L"\v x \f"), L"\v x \f");  // vertical tab and form feed are not in this set
  EXPECT_EQ(TrimWhiteSpace(L"\v\f\t\r\n x y \r\n\v\f"), L"x y");
  EXPECT_EQ(TrimWhiteSpace(L" \t "), L"");
}

TEST(Text, FieldCopiesAreBoundedAndZeroFilled) {
  wchar_t field[8];
  std::fill(std::begin(field), std::end(field), L'#');
  EXPECT_EQ(CopyToField(field, 8, L"abc"), 3u);
  EXPECT_EQ(std::wstring(field, 8), std::wstring(L"abc\0\0\0\0\0", 8));
  EXPECT_EQ(CopyToField(field, 8, L"0123456789"), 7u);
  EXPECT_EQ(std::wstring(field, 8), std::wstring(L"0123456\0", 8));
  EXPECT_EQ(CopyToField(field, 1, L"x"), 0u);
  EXPECT_EQ(field[0], L'\0');
  const wchar_t unterminated[4] = {L'a', L'b', L'c', L'd'};  // read only up to the field's size
  EXPECT_EQ(ReadField(unterminated, 4), L"abcd");
  EXPECT_EQ(ReadField(nullptr, 4), L"");
}

}  // namespace
}  // namespace quillan
