// MD5 (RFC 1321) and SHA-1 (FIPS 180-1) message digests rendered as lower-case hexadecimal text.
// Account folders of the desktop application are named after the MD5 of the account's ids.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace quillan {

class CHash {
 public:
  // mode 0 selects MD5; any other value selects SHA-1.
  explicit CHash(int32_t mode);
  virtual ~CHash();
  CHash(const CHash&) = delete;
  CHash& operator=(const CHash&) = delete;

  // Feeds length bytes; may be called any number of times before Final.
  void Update(const void* data, size_t length);
  // Completes the message and returns its digest as hexadecimal text (32 characters for MD5, 40 for
  // SHA-1), also kept in result(). The context is wiped and set up afresh, so the object can then
  // digest a new message.
  std::wstring Final();

  const std::wstring& result() const { return result_; }
  int32_t mode() const { return mode_; }

 private:
  void Reset();
  void Md5Update(const uint8_t* data, size_t length);
  void Md5Transform(const uint8_t block[64]);
  void Md5Final(uint8_t digest[16]);
  void ShaUpdate(const uint8_t* data, size_t length);
  void ShaTransform(const uint8_t block[64]);
  void ShaFinal(uint8_t digest[20]);

  // MD5 context.
  uint32_t md5State_[4];
  uint32_t md5Count_[2];  // message length in bits, low word first
  uint8_t md5Buffer_[64];
  // SHA-1 context.
  uint32_t shaState_[5];
  uint32_t shaCount_[2];  // message length in bits, low word first
  uint8_t shaBuffer_[64];
  std::wstring result_;
  int32_t mode_;
};

// The digest of one byte string: CHash(mode), one Update, Final.
std::wstring DigestHex(const void* data, size_t length, int32_t mode = 0);

}  // namespace quillan
