// Byte layouts of the records exchanged with the desktop application. Expected payloads are written
// out here with literal offsets, so that a wrong constant in the records module shows up.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ipc/records.h"

namespace quillan {
namespace {

using Bytes = std::vector<uint8_t>;

class Expected {
 public:
  explicit Expected(size_t size) : bytes_(size, 0) {}
  Expected& U32(size_t offset, uint32_t v) { return Put(offset, &v, 4); }
  Expected& U64(size_t offset, uint64_t v) { return Put(offset, &v, 8); }
  Expected& Text(size_t offset, const std::wstring& text) { return Put(offset, text.data(), text.size() * 2); }
  Expected& Byte(size_t offset, uint8_t v) { return Put(offset, &v, 1); }
  const Bytes& bytes() const { return bytes_; }

 private:
  Expected& Put(size_t offset, const void* data, size_t n) {
    EXPECT_LE(offset + n, bytes_.size());
    if (offset + n <= bytes_.size()) std::memcpy(&bytes_[offset], data, n);
    return *this;
  }
  Bytes bytes_;
};

// A handle value with its top bit set: it must arrive as FFFFFFFF80001234.
HWND HighBitWindow() { return reinterpret_cast<HWND>(static_cast<uintptr_t>(0x80001234u)); }
constexpr uint64_t kHighBitWire = 0xFFFFFFFF80001234ull;
HWND PlainWindow() { return reinterpret_cast<HWND>(static_cast<uintptr_t>(0x00050F2Eu)); }

const std::wstring kLongUser(40, L'u');         // sent as its first 31 characters
const std::wstring kLongEnterprise(120, L'e');  // sent as its first 99 characters
const std::wstring kLongName(1500, L'\x540D');  // sent as its first 1023 characters

TEST(Records, BarRecordIsExactForBothAccountStates) {
  const Record loggedIn = *BuildBarRecord(HighBitWindow(), PlainWindow(), kLongUser, kLongEnterprise, kLongName,
                                         L"\x4F01\x4E1A", 1, 0);
  EXPECT_EQ(loggedIn.code, 33790u);
  const Bytes expected = Expected(4388)
                             .U64(0, kHighBitWire)
                             .Text(8, kLongUser.substr(0, 31))
                             .Text(72, kLongEnterprise.substr(0, 99))
                             .Text(272, kLongName.substr(0, 1023))
                             .Text(2320, L"\x4F01\x4E1A")
                             .U32(4368, 1)
                             .U32(4372, 0)
                             .U64(4376, 0x50F2E)
                             .bytes();
  EXPECT_EQ(loggedIn.payload, expected);

  const Record login = *BuildBarRecord(PlainWindow(), HighBitWindow(), L"u1", L"e1", L"", L"", 0, 1);
  EXPECT_EQ(login.code, 33777u);
  EXPECT_EQ(login.payload, Expected(4388)
                               .U64(0, 0x50F2E)
                               .Text(8, L"u1")
                               .Text(72, L"e1")
                               .U32(4368, 1)
                               .U32(4372, 1)
                               .U64(4376, kHighBitWire)
                               .bytes());
}

TEST(Records, FixedLayoutsAreExact) {
  EXPECT_EQ(BuildAccountActionRecord(kLongUser, L"ent", kActionQuit)->payload,
            Expected(2316).Text(0, kLongUser.substr(0, 31)).Text(64, L"ent").U32(264, 2).bytes());
  EXPECT_EQ(BuildAccountActionRecord(L"u", kLongEnterprise, kActionSetBarHeight, 52)->payload,
            Expected(2316).Text(0, L"u").Text(64, kLongEnterprise.substr(0, 99)).U32(264, 4).U32(268, 52).bytes());

  const Record window = *BuildWindowRecord(33769, L"u", L"e", HighBitWindow());
  EXPECT_EQ(window.code, 33769u);
  EXPECT_EQ(window.payload, Expected(272).Text(0, L"u").Text(64, L"e").U64(264, kHighBitWire).bytes());

  EXPECT_EQ(BuildVisibilityRecord(33772, L"u", L"e", 1)->payload,
            Expected(268).Text(0, L"u").Text(64, L"e").U32(264, 1).bytes());
  const Record changed = *BuildAccountChangedRecord(kLongUser, L"e");
  EXPECT_EQ(changed.code, 33775u);
  EXPECT_EQ(changed.payload, Expected(264).Text(0, kLongUser.substr(0, 31)).Text(64, L"e").bytes());

  const Record state = *BuildSelectionStateRecord(L"u", L"e", HighBitWindow(), 7);
  EXPECT_EQ(state.code, 33788u);
  EXPECT_EQ(state.payload, Expected(276).Text(0, L"u").Text(64, L"e").U64(264, kHighBitWire).U32(272, 7).bytes());

  const Record size = *BuildBarSizeRecord(L"u", L"e", HighBitWindow(), 1180, 39);
  EXPECT_EQ(size.code, 33776u);
  EXPECT_EQ(size.payload, Expected(288)
                              .Text(0, L"u")
                              .Text(64, L"e")
                              .U64(264, kHighBitWire)
                              .U32(272, 0)
                              .U32(276, 0)
                              .U32(280, 1180)
                              .U32(284, 39)
                              .bytes());

  const Record closing = *BuildBarClosingRecord(PlainWindow(), HighBitWindow(), PlainWindow());
  EXPECT_EQ(closing.code, 33808u);
  EXPECT_EQ(closing.payload, Expected(24).U64(0, 0x50F2E).U64(8, kHighBitWire).U64(16, 0x50F2E).bytes());

  EXPECT_EQ(BuildSelectionFlagRecord(true)->payload, Bytes{1});
  EXPECT_EQ(BuildSelectionFlagRecord(false)->payload, Bytes{0});
  EXPECT_EQ(BuildSelectionFlagRecord(true)->code, 33792u);
  EXPECT_EQ(BuildProbeRecord(1, 2, 0xFFFFFFFF)->payload, Expected(12).U32(0, 1).U32(4, 2).U32(8, 0xFFFFFFFF).bytes());
  EXPECT_TRUE(BuildEmptyRecord(33779).payload.empty());
}

TEST(Records, PathListRecordsCarryTheirLength) {
  // One path of four characters: the four code units, its zero and the list's zero, L = 12.
  const auto syncTo = BuildPathListRecord(33781, {L"D:\\a"});
  ASSERT_TRUE(syncTo);
  EXPECT_EQ(syncTo->payload, Expected(9 + 12).U64(0, 12).Text(8, L"D:\\a").bytes());

  // Two paths of 13 characters: L = 58, 17 + 58 bytes with the window first.
  const std::vector<std::wstring> two = {L"D:\\Sync\\a.txt", L"D:\\Sync\\b.txt"};
  const auto share = BuildShareRecord(HighBitWindow(), two);
  ASSERT_TRUE(share);
  EXPECT_EQ(share->code, 33787u);
  EXPECT_EQ(share->payload,
            Expected(75).U64(0, kHighBitWire).U64(8, 58).Text(16, two[0]).Text(16 + 28, two[1]).bytes());
  const auto upload = BuildPathListRecord(33786, two);
  ASSERT_TRUE(upload);
  EXPECT_EQ(upload->payload.size(), 67u);

  const auto history = BuildHistoryRecord(L"D:\\Sync\\a.txt");
  ASSERT_TRUE(history);
  EXPECT_EQ(history->code, 33791u);
  EXPECT_EQ(history->payload, Expected(28).Text(0, L"D:\\Sync\\a.txt").bytes());

  // No selected item: two zero code units, L = 4; the two request words are copied unchanged.
  const auto empty = BuildSelectedFilesReply(kLongUser, L"e", static_cast<int64_t>(0x1122334480001234ull), {});
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->code, 33784u);
  EXPECT_EQ(empty->payload, Expected(285)
                                .Text(0, kLongUser.substr(0, 31))
                                .Text(64, L"e")
                                .U32(264, 0x80001234)
                                .U32(268, 0x11223344)
                                .U64(272, 4)
                                .bytes());
  const auto one = BuildSelectedFilesReply(L"u", L"e", 5, {L"C:\\x"});
  ASSERT_TRUE(one);
  EXPECT_EQ(one->payload, Expected(281 + 12).Text(0, L"u").Text(64, L"e").U32(264, 5).U64(272, 12).Text(280, L"C:\\x").bytes());
}

TEST(Records, PathListLengthsThatCannotBeCarriedAreRefused) {
  EXPECT_EQ(PathListBytesOfLengths({}), 4u);
  EXPECT_EQ(PathListBytesOfLengths({4, 0}), 14u);
  // 0x7FFFFFFD characters give 0xFFFFFFFE bytes; one more (empty) path no longer fits cbData.
  EXPECT_EQ(PathListBytesOfLengths({0x7FFFFFFD}), 0xFFFFFFFEu);
  EXPECT_FALSE(PathListBytesOfLengths({0x7FFFFFFD, 0}));
  EXPECT_FALSE(PathListBytesOfLengths({0x7FFFFFFF}));
  // Lengths whose doubled sum would wrap around must not come back small.
  EXPECT_FALSE(PathListBytesOfLengths({static_cast<size_t>(-1)}));
  EXPECT_FALSE(PathListBytesOfLengths({static_cast<size_t>(-1) / 2, static_cast<size_t>(-1) / 2}));
  EXPECT_FALSE(PathListBytesOfLengths(std::vector<size_t>(3, 0x60000000)));
}

TEST(Records, WindowHandlesAreSignExtendedAndReadFromTheLowWord) {
  EXPECT_EQ(static_cast<uint64_t>(WindowToWire(HighBitWindow())), kHighBitWire);
  EXPECT_EQ(WindowToWire(PlainWindow()), 0x50F2E);
  const uintptr_t signExtended = static_cast<uintptr_t>(static_cast<intptr_t>(static_cast<int32_t>(0x80001234u)));
  EXPECT_EQ(reinterpret_cast<uintptr_t>(WindowFromWire(static_cast<int64_t>(kHighBitWire))), signExtended);
  // Receivers ignore the high word, whatever a sender put there.
  EXPECT_EQ(WindowFromWire(static_cast<int64_t>(0x1234567800050F2Eull)), PlainWindow());
  EXPECT_EQ(reinterpret_cast<uintptr_t>(WindowFromWire(static_cast<int64_t>(0x0000000080001234ull))), signExtended);
}

TEST(Records, HostAcceptsOnlyListedCodesWithTheirExactSize) {
  const struct {
    DWORD code;
    DWORD size;
  } table[] = {{33769, 272}, {33771, 268}, {33772, 268}, {33775, 264}, {33782, 2316},
               {33783, 272}, {33789, 12},  {33793, 272}};
  std::vector<uint8_t> buffer(4096, 0);
  for (const auto& row : table) {
    COPYDATASTRUCT cds = {row.code, row.size, buffer.data()};
    EXPECT_TRUE(IsAcceptedByHost(cds)) << row.code;
    cds.cbData = row.size - 1;
    EXPECT_FALSE(IsAcceptedByHost(cds)) << row.code;
    cds.cbData = row.size + 1;
    EXPECT_FALSE(IsAcceptedByHost(cds)) << row.code;
    cds.cbData = row.size;
    cds.lpData = nullptr;
    EXPECT_FALSE(IsAcceptedByHost(cds)) << row.code;
  }
  // The close request is accepted with or without a payload.
  EXPECT_TRUE(IsAcceptedByHost(COPYDATASTRUCT{33774, 0, nullptr}));
  EXPECT_TRUE(IsAcceptedByHost(COPYDATASTRUCT{33774, 5, buffer.data()}));
  for (DWORD code : {33768u, 33770u, 33773u, 33776u, 33777u, 33790u, 33794u, 0u}) {
    EXPECT_FALSE(IsAcceptedByHost(COPYDATASTRUCT{code, 272, buffer.data()})) << code;
  }
}

}  // namespace
}  // namespace quillan
