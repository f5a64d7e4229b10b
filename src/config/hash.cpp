#include "config/hash.h"

#include <cstring>

namespace quillan {
namespace {

inline uint32_t RotateLeft(uint32_t x, unsigned n) { return (x << n) | (x >> (32 - n)); }

inline uint32_t LoadLittleEndian(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

inline uint32_t LoadBigEndian(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}

inline void StoreLittleEndian(uint32_t v, uint8_t* p) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

inline void StoreBigEndian(uint32_t v, uint8_t* p) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

// Adds length bytes to a 64-bit bit count kept as two words, low first; returns the byte offset
// of the old count within the current 64-byte block.
size_t AddToBitCount(uint32_t count[2], size_t length) {
  size_t offset = (count[0] >> 3) & 63;
  uint64_t bits = (static_cast<uint64_t>(count[1]) << 32) | count[0];
  bits += static_cast<uint64_t>(length) << 3;
  count[0] = static_cast<uint32_t>(bits);
  count[1] = static_cast<uint32_t>(bits >> 32);
  return offset;
}

// Wiping that the optimiser may not drop: the context held the message.
void SecureZero(void* p, size_t n) {
  volatile uint8_t* v = static_cast<volatile uint8_t*>(p);
  while (n--) *v++ = 0;
}

std::wstring ToHex(const uint8_t* bytes, size_t count) {
  static const wchar_t kDigits[] = L"0123456789abcdef";
  std::wstring text;
  text.reserve(count * 2);
  for (size_t i = 0; i < count; ++i) {
    text.push_back(kDigits[bytes[i] >> 4]);
    text.push_back(kDigits[bytes[i] & 15]);
  }
  return text;
}

}  // namespace

CHash::CHash(int32_t mode) : mode_(mode) { Reset(); }

CHash::~CHash() {
  SecureZero(md5Buffer_, sizeof md5Buffer_);
  SecureZero(shaBuffer_, sizeof shaBuffer_);
}

void CHash::Reset() {
  std::memset(md5Count_, 0, sizeof md5Count_);
  std::memset(md5Buffer_, 0, sizeof md5Buffer_);
  std::memset(shaCount_, 0, sizeof shaCount_);
  std::memset(shaBuffer_, 0, sizeof shaBuffer_);
  std::memset(md5State_, 0, sizeof md5State_);
  std::memset(shaState_, 0, sizeof shaState_);
  if (mode_ == 0) {
    md5State_[0] = 0x67452301u;
    md5State_[1] = 0xEFCDAB89u;
    md5State_[2] = 0x98BADCFEu;
    md5State_[3] = 0x10325476u;
  } else {
    shaState_[0] = 0x67452301u;
    shaState_[1] = 0xEFCDAB89u;
    shaState_[2] = 0x98BADCFEu;
    shaState_[3] = 0x10325476u;
    shaState_[4] = 0xC3D2E1F0u;
  }
}

void CHash::Update(const void* data, size_t length) {
  if (!data || length == 0) return;
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  if (mode_ == 0) {
    Md5Update(bytes, length);
  } else {
    ShaUpdate(bytes, length);
  }
}

std::wstring CHash::Final() {
  uint8_t digest[20];
  size_t size;
  if (mode_ == 0) {
    Md5Final(digest);
    size = 16;
  } else {
    ShaFinal(digest);
    size = 20;
  }
  result_ = ToHex(digest, size);
  SecureZero(digest, sizeof digest);
  SecureZero(md5State_, sizeof md5State_);
  SecureZero(md5Buffer_, sizeof md5Buffer_);
  SecureZero(shaState_, sizeof shaState_);
  SecureZero(shaBuffer_, sizeof shaBuffer_);
  Reset();
  return result_;
}

// ---- MD5 ----

void CHash::Md5Update(const uint8_t* data, size_t length) {
  size_t offset = AddToBitCount(md5Count_, length);
  size_t room = 64 - offset;
  size_t i = 0;
  if (length >= room) {
    std::memcpy(md5Buffer_ + offset, data, room);
    Md5Transform(md5Buffer_);
    for (i = room; i + 63 < length; i += 64) Md5Transform(data + i);
    offset = 0;
  }
  std::memcpy(md5Buffer_ + offset, data + i, length - i);
}

void CHash::Md5Final(uint8_t digest[16]) {
  uint8_t bits[8];
  StoreLittleEndian(md5Count_[0], bits);
  StoreLittleEndian(md5Count_[1], bits + 4);
  static const uint8_t kPadding[64] = {0x80};
  size_t offset = (md5Count_[0] >> 3) & 63;
  size_t padLength = offset < 56 ? 56 - offset : 120 - offset;
  Md5Update(kPadding, padLength);
  Md5Update(bits, 8);
  for (int i = 0; i < 4; ++i) StoreLittleEndian(md5State_[i], digest + 4 * i);
}

namespace {

inline uint32_t Md5F(uint32_t x, uint32_t y, uint32_t z) { return (x & y) | (~x & z); }
inline uint32_t Md5G(uint32_t x, uint32_t y, uint32_t z) { return (x & z) | (y & ~z); }
inline uint32_t Md5H(uint32_t x, uint32_t y, uint32_t z) { return x ^ y ^ z; }
inline uint32_t Md5I(uint32_t x, uint32_t y, uint32_t z) { return y ^ (x | ~z); }

template <uint32_t (*Fn)(uint32_t, uint32_t, uint32_t)>
inline void Md5Step(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t x, unsigned s, uint32_t t) {
  a = b + RotateLeft(a + Fn(b, c, d) + x + t, s);
}

}  // namespace

void CHash::Md5Transform(const uint8_t block[64]) {
  uint32_t x[16];
  for (int i = 0; i < 16; ++i) x[i] = LoadLittleEndian(block + 4 * i);
  uint32_t a = md5State_[0], b = md5State_[1], c = md5State_[2], d = md5State_[3];

  Md5Step<Md5F>(a, b, c, d, x[0], 7, 0xd76aa478);
  Md5Step<Md5F>(d, a, b, c, x[1], 12, 0xe8c7b756);
  Md5Step<Md5F>(c, d, a, b, x[2], 17, 0x242070db);
  Md5Step<Md5F>(b, c, d, a, x[3], 22, 0xc1bdceee);
  Md5Step<Md5F>(a, b, c, d, x[4], 7, 0xf57c0faf);
  Md5Step<Md5F>(d, a, b, c, x[5], 12, 0x4787c62a);
  Md5Step<Md5F>(c, d, a, b, x[6], 17, 0xa8304613);
  Md5Step<Md5F>(b, c, d, a, x[7], 22, 0xfd469501);
  Md5Step<Md5F>(a, b, c, d, x[8], 7, 0x698098d8);
  Md5Step<Md5F>(d, a, b, c, x[9], 12, 0x8b44f7af);
  Md5Step<Md5F>(c, d, a, b, x[10], 17, 0xffff5bb1);
  Md5Step<Md5F>(b, c, d, a, x[11], 22, 0x895cd7be);
  Md5Step<Md5F>(a, b, c, d, x[12], 7, 0x6b901122);
  Md5Step<Md5F>(d, a, b, c, x[13], 12, 0xfd987193);
  Md5Step<Md5F>(c, d, a, b, x[14], 17, 0xa679438e);
  Md5Step<Md5F>(b, c, d, a, x[15], 22, 0x49b40821);

  Md5Step<Md5G>(a, b, c, d, x[1], 5, 0xf61e2562);
  Md5Step<Md5G>(d, a, b, c, x[6], 9, 0xc040b340);
  Md5Step<Md5G>(c, d, a, b, x[11], 14, 0x265e5a51);
  Md5Step<Md5G>(b, c, d, a, x[0], 20, 0xe9b6c7aa);
  Md5Step<Md5G>(a, b, c, d, x[5], 5, 0xd62f105d);
  Md5Step<Md5G>(d, a, b, c, x[10], 9, 0x02441453);
  Md5Step<Md5G>(c, d, a, b, x[15], 14, 0xd8a1e681);
  Md5Step<Md5G>(b, c, d, a, x[4], 20, 0xe7d3fbc8);
  Md5Step<Md5G>(a, b, c, d, x[9], 5, 0x21e1cde6);
  Md5Step<Md5G>(d, a, b, c, x[14], 9, 0xc33707d6);
  Md5Step<Md5G>(c, d, a, b, x[3], 14, 0xf4d50d87);
  Md5Step<Md5G>(b, c, d, a, x[8], 20, 0x455a14ed);
  Md5Step<Md5G>(a, b, c, d, x[13], 5, 0xa9e3e905);
  Md5Step<Md5G>(d, a, b, c, x[2], 9, 0xfcefa3f8);
  Md5Step<Md5G>(c, d, a, b, x[7], 14, 0x676f02d9);
  Md5Step<Md5G>(b, c, d, a, x[12], 20, 0x8d2a4c8a);

  Md5Step<Md5H>(a, b, c, d, x[5], 4, 0xfffa3942);
  Md5Step<Md5H>(d, a, b, c, x[8], 11, 0x8771f681);
  Md5Step<Md5H>(c, d, a, b, x[11], 16, 0x6d9d6122);
  Md5Step<Md5H>(b, c, d, a, x[14], 23, 0xfde5380c);
  Md5Step<Md5H>(a, b, c, d, x[1], 4, 0xa4beea44);
  Md5Step<Md5H>(d, a, b, c, x[4], 11, 0x4bdecfa9);
  Md5Step<Md5H>(c, d, a, b, x[7], 16, 0xf6bb4b60);
  Md5Step<Md5H>(b, c, d, a, x[10], 23, 0xbebfbc70);
  Md5Step<Md5H>(a, b, c, d, x[13], 4, 0x289b7ec6);
  Md5Step<Md5H>(d, a, b, c, x[0], 11, 0xeaa127fa);
  Md5Step<Md5H>(c, d, a, b, x[3], 16, 0xd4ef3085);
  Md5Step<Md5H>(b, c, d, a, x[6], 23, 0x04881d05);
  Md5Step<Md5H>(a, b, c, d, x[9], 4, 0xd9d4d039);
  Md5Step<Md5H>(d, a, b, c, x[12], 11, 0xe6db99e5);
  Md5Step<Md5H>(c, d, a, b, x[15], 16, 0x1fa27cf8);
  Md5Step<Md5H>(b, c, d, a, x[2], 23, 0xc4ac5665);

  Md5Step<Md5I>(a, b, c, d, x[0], 6, 0xf4292244);
  Md5Step<Md5I>(d, a, b, c, x[7], 10, 0x432aff97);
  Md5Step<Md5I>(c, d, a, b, x[14], 15, 0xab9423a7);
  Md5Step<Md5I>(b, c, d, a, x[5], 21, 0xfc93a039);
  Md5Step<Md5I>(a, b, c, d, x[12], 6, 0x655b59c3);
  Md5Step<Md5I>(d, a, b, c, x[3], 10, 0x8f0ccc92);
  Md5Step<Md5I>(c, d, a, b, x[10], 15, 0xffeff47d);
  Md5Step<Md5I>(b, c, d, a, x[1], 21, 0x85845dd1);
  Md5Step<Md5I>(a, b, c, d, x[8], 6, 0x6fa87e4f);
  Md5Step<Md5I>(d, a, b, c, x[15], 10, 0xfe2ce6e0);
  Md5Step<Md5I>(c, d, a, b, x[6], 15, 0xa3014314);
  Md5Step<Md5I>(b, c, d, a, x[13], 21, 0x4e0811a1);
  Md5Step<Md5I>(a, b, c, d, x[4], 6, 0xf7537e82);
  Md5Step<Md5I>(d, a, b, c, x[11], 10, 0xbd3af235);
  Md5Step<Md5I>(c, d, a, b, x[2], 15, 0x2ad7d2bb);
  Md5Step<Md5I>(b, c, d, a, x[9], 21, 0xeb86d391);

  md5State_[0] += a;
  md5State_[1] += b;
  md5State_[2] += c;
  md5State_[3] += d;
  SecureZero(x, sizeof x);
}

// ---- SHA-1 ----

void CHash::ShaUpdate(const uint8_t* data, size_t length) {
  size_t offset = AddToBitCount(shaCount_, length);
  size_t room = 64 - offset;
  size_t i = 0;
  if (length >= room) {
    std::memcpy(shaBuffer_ + offset, data, room);
    ShaTransform(shaBuffer_);
    for (i = room; i + 63 < length; i += 64) ShaTransform(data + i);
    offset = 0;
  }
  std::memcpy(shaBuffer_ + offset, data + i, length - i);
}

void CHash::ShaFinal(uint8_t digest[20]) {
  uint8_t bits[8];
  StoreBigEndian(shaCount_[1], bits);
  StoreBigEndian(shaCount_[0], bits + 4);
  static const uint8_t kPadding[64] = {0x80};
  size_t offset = (shaCount_[0] >> 3) & 63;
  size_t padLength = offset < 56 ? 56 - offset : 120 - offset;
  ShaUpdate(kPadding, padLength);
  ShaUpdate(bits, 8);
  for (int i = 0; i < 5; ++i) StoreBigEndian(shaState_[i], digest + 4 * i);
}

void CHash::ShaTransform(const uint8_t block[64]) {
  uint32_t w[80];
  for (int t = 0; t < 16; ++t) w[t] = LoadBigEndian(block + 4 * t);
  for (int t = 16; t < 80; ++t) w[t] = RotateLeft(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1);

  uint32_t a = shaState_[0], b = shaState_[1], c = shaState_[2], d = shaState_[3], e = shaState_[4];
  for (int t = 0; t < 80; ++t) {
    uint32_t f, k;
    if (t < 20) {
      f = (b & c) | (~b & d);
      k = 0x5A827999u;
    } else if (t < 40) {
      f = b ^ c ^ d;
      k = 0x6ED9EBA1u;
    } else if (t < 60) {
      f = (b & c) | (b & d) | (c & d);
      k = 0x8F1BBCDCu;
    } else {
      f = b ^ c ^ d;
      k = 0xCA62C1D6u;
    }
    uint32_t temp = RotateLeft(a, 5) + f + e + w[t] + k;
    e = d;
    d = c;
    c = RotateLeft(b, 30);
    b = a;
    a = temp;
  }
  shaState_[0] += a;
  shaState_[1] += b;
  shaState_[2] += c;
  shaState_[3] += d;
  shaState_[4] += e;
  SecureZero(w, sizeof w);
}

std::wstring DigestHex(const void* data, size_t length, int32_t mode) {
  CHash hash(mode);
  hash.Update(data, length);
  return hash.Final();
}

}  // namespace quillan
