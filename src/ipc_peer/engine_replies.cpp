#include "ipc_peer/engine_replies.h"

#include <cstring>

namespace quillan {

bool ParsePipeRequest(const uint8_t* request, size_t size, PipeRequest* out) {
  if (!request || size < pipe_message::kHeaderSize) return false;
  out->code = request[pipe_message::kCode];
  out->data.clear();
  if (out->code != kRequestValue) return true;
  const uint32_t length = pipe_message::ReadU32(request + pipe_message::kLength);
  if (length > pipe_message::kMaxData || length > size - pipe_message::kHeaderSize) return false;
  out->data.assign(request + pipe_message::kData, request + pipe_message::kData + length);
  return true;
}

std::vector<uint8_t> BuildSyncRootReply(const std::wstring& text) {
  const size_t maxChars = (kPipeMessageSize - pipe_message::kHeaderSize) / sizeof(wchar_t);
  const size_t chars = text.size() < maxChars ? text.size() : maxChars;
  std::vector<uint8_t> reply(pipe_message::kHeaderSize + chars * sizeof(wchar_t), 0);
  reply[pipe_message::kCode] = kRequestSyncRoot;
  pipe_message::WriteU32(&reply[pipe_message::kLength], static_cast<uint32_t>(chars * sizeof(wchar_t)));
  if (chars > 0) std::memcpy(&reply[pipe_message::kData], text.data(), chars * sizeof(wchar_t));
  return reply;
}

std::vector<uint8_t> BuildValueReply(uint32_t value) {
  std::vector<uint8_t> reply(pipe_message::kHeaderSize, 0);
  reply[pipe_message::kCode] = kRequestValue;
  pipe_message::WriteU32(&reply[pipe_message::kValue], value);
  return reply;
}

}  // namespace quillan
