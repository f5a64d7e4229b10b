#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/handle.h"
#include "base/module.h"
#include "resource.h"
#include "ui_test_support.h"

namespace quillan {
namespace {

// Reads an extended dialog template the way the dialog manager does.
class TemplateReader {
 public:
  TemplateReader(const BYTE* data, size_t size) : data_(data), size_(size) {}
  WORD Word() { return Read<WORD>(); }
  DWORD Dword() { return Read<DWORD>(); }
  short Short() { return Read<short>(); }
  BYTE Byte() { return Read<BYTE>(); }
  std::wstring String() {
    std::wstring text;
    for (WORD c = Word(); c != 0; c = Word()) text.push_back(static_cast<wchar_t>(c));
    return text;
  }
  // A name or an ordinal: the ordinal as "#n".
  std::wstring NameOrOrdinal() {
    if (Peek() != 0xFFFF) return String();
    Word();
    return L"#" + std::to_wstring(Word());
  }
  void AlignDword() { pos_ = (pos_ + 3) & ~size_t{3}; }
  bool ok() const { return pos_ <= size_; }

 private:
  WORD Peek() const { return pos_ + 2 <= size_ ? *reinterpret_cast<const WORD*>(data_ + pos_) : 0; }
  template <typename T>
  T Read() {
    T value{};
    if (pos_ + sizeof(T) <= size_) memcpy(&value, data_ + pos_, sizeof(T));
    pos_ += sizeof(T);
    return value;
  }
  const BYTE* data_;
  size_t size_;
  size_t pos_ = 0;
};

TEST(Resources, BarDialogTemplateIsExact) {
  HRSRC resource = ::FindResourceW(ThisModule(), MAKEINTRESOURCEW(IDD_TOPBAND), RT_DIALOG);
  ASSERT_TRUE(resource);
  auto* data = static_cast<const BYTE*>(::LockResource(::LoadResource(ThisModule(), resource)));
  TemplateReader t(data, ::SizeofResource(ThisModule(), resource));
  using Numbers = std::vector<long long>;
  using Texts = std::vector<std::wstring>;
  // Extended template: version, signature, help id, extended style, style, items, x, y, cx, cy.
  const Numbers header = {t.Word(), t.Word(), t.Dword(), t.Dword(), t.Dword(), t.Word(), t.Short(), t.Short(), t.Short(), t.Short()};
  EXPECT_EQ(header, (Numbers{1, 0xFFFF, 0, 0, 0x46000040, 5, 0, 0, 385, 19}));
  const Texts names = {t.NameOrOrdinal(), t.NameOrOrdinal(), t.String()};  // menu, class, caption
  EXPECT_EQ(names, (Texts{L"", L"", L""}));
  const Numbers font = {t.Word(), t.Word(), t.Byte(), t.Byte()};  // points, weight, italic, charset
  EXPECT_EQ(font, (Numbers{9, 400, 0, 134}));
  EXPECT_EQ(t.String(), L"\x5FAE\x8F6F\x96C5\x9ED1");

  const struct {
    Numbers numbers;  // help id, extended style, style, x, y, cx, cy, id
    std::wstring text;
  } expected[] = {{{0, 0, 0x50020000, 8, 6, 18, 11, IDC_AVATAR}, L""},
                  {{0, 0, 0x50020000, 43, 4, 44, 11, IDC_NAME}, L""},
                  {{0, 0, 0x50020000, 95, 4, 19, 11, IDC_STATUS_ICON}, L""},
                  {{0, 0, 0x50020000, 123, 4, 134, 11, IDC_MESSAGE}, L""},
                  {{0, 0, 0x50020000, 314, 5, 47, 8, IDC_LOGIN_LINK}, L"\x7ACB\x5373\x767B\x5F55"}};
  for (const auto& item : expected) {
    t.AlignDword();
    const Numbers numbers = {t.Dword(), t.Dword(), t.Dword(), t.Short(), t.Short(), t.Short(), t.Short(), t.Dword()};
    EXPECT_EQ(numbers, item.numbers);
    const Texts texts = {t.NameOrOrdinal(), t.NameOrOrdinal()};
    EXPECT_EQ(texts, (Texts{L"#130", item.text}));  // the static control
    EXPECT_EQ(t.Word(), 0);  // no creation data
  }
  EXPECT_TRUE(t.ok());
}

std::wstring ResourceString(UINT id) {
  const wchar_t* text = nullptr;
  int length = ::LoadStringW(ThisModule(), id, reinterpret_cast<LPWSTR>(&text), 0);
  return std::wstring(text, length > 0 ? static_cast<size_t>(length) : 0);
}

TEST(Resources, Strings) {
  EXPECT_EQ(ResourceString(IDS_PROJNAME), L"QuillanShell");
  EXPECT_EQ(ResourceString(IDS_LOGIN_PROMPT),
            L"\x60A8\x8FD8\x6CA1\x767B\x5F55\xFF0C\x767B\x5F55\x540E\x624D\x80FD\x8FDB\x884C\x540C\x6B65");
  EXPECT_EQ(ResourceString(IDS_NAME_FORMAT), L"%s  ");
}

test::BitmapPixels ReadBitmap(UINT id) {
  UniqueBitmap bitmap(
      static_cast<HBITMAP>(::LoadImageW(ThisModule(), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
  return test::ReadBitmapPixels(bitmap.get());
}

TEST(Resources, BitmapsHaveTheirSizesAndTheBackgroundItsColours) {
  test::BitmapPixels bg = ReadBitmap(IDB_BAND_BACKGROUND);
  ASSERT_EQ(bg.width, 482);
  ASSERT_EQ(bg.height, 39);
  EXPECT_EQ(bg.bits, 32);
  for (int y = 0; y < 39; ++y) {
    for (int x = 0; x < 482; ++x) {
      COLORREF want = y == 38 ? RGB(222, 227, 233) : x < 152 ? RGB(233, 238, 243) : RGB(246, 247, 249);
      ASSERT_EQ(bg.Color(x, y), want) << x << "," << y;
    }
  }
  test::BitmapPixels avatar = ReadBitmap(IDB_AVATAR_PLACEHOLDER);
  EXPECT_EQ(avatar.width, 30);
  EXPECT_EQ(avatar.height, 30);
  EXPECT_EQ(avatar.bits, 24);
  test::BitmapPixels product = ReadBitmap(IDB_PRODUCT_XP);
  EXPECT_EQ(product.width, 13);
  EXPECT_EQ(product.height, 13);
  EXPECT_EQ(product.bits, 32);
}

}  // namespace
}  // namespace quillan
