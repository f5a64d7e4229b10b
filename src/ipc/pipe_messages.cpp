#include "ipc/pipe_messages.h"

#include <cstring>

namespace quillan {

void BuildSyncRootRequest(uint8_t* request) {
  std::memset(request, 0, kPipeMessageSize);
  request[pipe_message::kCode] = kRequestSyncRoot;
}

bool BuildValueRequest(uint8_t* request, const void* data, uint32_t size) {
  if (!data || size > pipe_message::kMaxData) return false;
  std::memset(request, 0, kPipeMessageSize);
  request[pipe_message::kCode] = kRequestValue;
  pipe_message::WriteU32(request + pipe_message::kLength, size);
  std::memcpy(request + pipe_message::kData, data, size);
  return true;
}

bool ParseSyncRootReply(const uint8_t* reply, size_t bytesRead, std::wstring* text) {
  if (bytesRead < pipe_message::kHeaderSize || reply[pipe_message::kCode] != kRequestSyncRoot) return false;
  const int32_t length = static_cast<int32_t>(pipe_message::ReadU32(reply + pipe_message::kLength));
  if (length < 0 || length % 2 != 0) return false;
  if (static_cast<size_t>(length) > bytesRead - pipe_message::kHeaderSize) return false;
  std::wstring decoded(static_cast<size_t>(length) / sizeof(wchar_t), L'\0');
  if (length > 0) std::memcpy(&decoded[0], reply + pipe_message::kData, static_cast<size_t>(length));
  text->swap(decoded);
  return true;
}

bool ParseValueReply(const uint8_t* reply, size_t bytesRead, uint32_t* value) {
  if (bytesRead < pipe_message::kHeaderSize || reply[pipe_message::kCode] != kRequestValue) return false;
  *value = pipe_message::ReadU32(reply + pipe_message::kValue);
  return true;
}

}  // namespace quillan
