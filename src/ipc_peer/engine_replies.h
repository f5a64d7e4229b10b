// The serving side of the sync engine's pipes, for whatever stands in for the engine: requests read,
// replies written in the messages' layout (ipc/pipe_messages.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ipc/pipe_messages.h"

namespace quillan {

struct PipeRequest {
  uint8_t code = 0;
  std::vector<uint8_t> data;  // code 3: the data of the request
};
bool ParsePipeRequest(const uint8_t* request, size_t size, PipeRequest* out);
// A code 1 reply; a text too long for one message is cut to fit.
std::vector<uint8_t> BuildSyncRootReply(const std::wstring& text);
std::vector<uint8_t> BuildValueReply(uint32_t value);

}  // namespace quillan
