#include "config/hash.h"

#include <gtest/gtest.h>

#include <string>

namespace quillan {
namespace {

std::wstring Md5(const std::string& s) { return DigestHex(s.data(), s.size(), 0); }
std::wstring Sha1(const std::string& s) { return DigestHex(s.data(), s.size(), 1); }

TEST(Digest, PublishedVectors) {
  EXPECT_EQ(Md5(""), L"d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(Md5("abc"), L"900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(Md5("message digest"), L"f96b697d7cb7938d525a2f31aaf161d0");
  EXPECT_EQ(Md5("abcdefghijklmnopqrstuvwxyz"), L"c3fcd3d76192e4007dfb496cca67e13b");
  EXPECT_EQ(Md5("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
            L"d174ab98d277d9f5a5611c2c9f419d9f");
  EXPECT_EQ(Md5("12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
            L"57edf4a22be3c955ac49da2e2107b67a");
  EXPECT_EQ(Sha1("abc"), L"a9993e364706816aba3e25717850c26c9cd0d89d");
  EXPECT_EQ(Sha1("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            L"84983e441c3bd26ebaae4aa1f95129e5e54670f1");
  EXPECT_EQ(Sha1(""), L"da39a3ee5e6b4b0d3255bfef95601890afd80709");
  EXPECT_EQ(DigestHex("abc", 3, -7), Sha1("abc"));  // any mode but 0 is SHA-1
  EXPECT_EQ(Md5("144"), L"0a09c8844ba8f0936c20bd791130d6b6");  // leading byte 0x0a keeps its zero
}

// Around the lengths where the bit count no longer fits the last block, fed whole and split at every
// point.
TEST(Digest, BlockBoundariesAndSplitUpdates) {
  const struct {
    size_t length;
    const wchar_t* md5;
    const wchar_t* sha1;
  } cases[] = {
      {55, L"52c0e574e1198de5fe3f8f11440dcb1b", L"ddf57317ef34bfee3b6df83d359098930eb278bc"},
      {56, L"46c9907fc908ee68b1e7b8e71286a518", L"a0d492bb0fc889d0eca3bc137066ab6f4f74f369"},
      {64, L"7160b8fb5e9e4023d549c3971fbaeead", L"bede92be29c3874e1b54ddc77988d606fc857a8e"},
      {65, L"70bd662e7aefbda85a0f7244167b7897", L"b05a80522b053d6dc7e0a517d0e70212c7dad11f"},
      {120, L"e3eb5a6c8669ea01a8c185b8abc8a5dc", L"82134b02fb3f702491be9bed581eeab59334acb2"},
  };
  for (const auto& c : cases) {
    std::string data;
    for (size_t i = 0; i < c.length; ++i) data.push_back(static_cast<char>(i * 7 + 3));
    for (int mode : {0, 1}) {
      for (size_t cut = 0; cut <= data.size(); ++cut) {
        CHash hash(mode);
        hash.Update(data.data(), cut);
        hash.Update(data.data() + cut, data.size() - cut);
        ASSERT_EQ(hash.Final(), mode == 0 ? c.md5 : c.sha1) << "length " << c.length << " cut " << cut;
      }
    }
  }
  CHash hash(0);  // three pieces; then Final starts a new message
  hash.Update("a", 1);
  hash.Update("", 0);
  hash.Update("bc", 2);
  EXPECT_EQ(hash.Final(), L"900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(hash.result(), L"900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(hash.Final(), L"d41d8cd98f00b204e9800998ecf8427e");
}

}  // namespace
}  // namespace quillan
