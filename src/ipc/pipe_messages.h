// The request and reply messages of the sync engine's pipes, their names and the legacy-UI mutex.
// Every request is one 4096-byte message; a reply is one message of at most 4096 bytes. Integers are
// little-endian and unaligned.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace quillan {

inline constexpr wchar_t kUiHostPipeName[] = L"\\\\.\\pipe\\velquillanbox_ui_host_0";
inline constexpr wchar_t kBoxPipeName[] = L"\\\\.\\pipe\\velquillanbox_0";
inline constexpr wchar_t kLegacyUiMutexName[] = L"Local\\velquillanbox_ui_legacy_active_0";

// Pipe indexes of the back-off table.
inline constexpr uint32_t kUiHostPipeIndex = 0;
inline constexpr uint32_t kBoxPipeIndex = 1;
inline constexpr uint32_t kPipeCount = 2;

inline constexpr size_t kPipeMessageSize = 4096;

inline constexpr uint8_t kRequestSyncRoot = 1;
inline constexpr uint8_t kRequestValue = 3;

namespace pipe_message {
inline constexpr size_t kCode = 0;
inline constexpr size_t kLength = 1;  // 32-bit: request data length (code 3), reply text length (code 1)
inline constexpr size_t kValue = 1;   // 32-bit answer of a code 3 reply
inline constexpr size_t kData = 5;
inline constexpr size_t kHeaderSize = 5;
inline constexpr uint32_t kMaxData = 4091;

// The messages' 32-bit fields, at any byte offset.
inline uint32_t ReadU32(const uint8_t* bytes) {
  uint32_t value;
  std::memcpy(&value, bytes, sizeof value);
  return value;
}
inline void WriteU32(uint8_t* bytes, uint32_t value) { std::memcpy(bytes, &value, sizeof value); }
}  // namespace pipe_message

// Requests, written over a whole kPipeMessageSize buffer (the rest is zeroed).
void BuildSyncRootRequest(uint8_t* request);
// False for missing data or more than pipe_message::kMaxData bytes; nothing is written then.
bool BuildValueRequest(uint8_t* request, const void* data, uint32_t size);

// Replies, checked against the number of bytes read. A code 1 reply is accepted when at least 5 bytes
// came, byte 0 is 1, and its length is 0, or positive, even and within what was read.
bool ParseSyncRootReply(const uint8_t* reply, size_t bytesRead, std::wstring* text);
// A code 3 reply is accepted when at least 5 bytes came and byte 0 is 3; further bytes are ignored.
bool ParseValueReply(const uint8_t* reply, size_t bytesRead, uint32_t* value);

}  // namespace quillan
