// Per-pipe memory of the last failure, shared by every PipeClient of the process: a pipe whose last
// connection attempt failed or whose last transaction timed out is left alone for kPipeBackoffMs, so
// that a dead or stuck engine does not cost every menu the full wait again.
#pragma once

#include <windows.h>

#include <cstdint>

#include "ipc/pipe_messages.h"

namespace quillan {

inline constexpr DWORD kPipeBackoffMs = 100;

struct PipeBackoff {
  struct Entry {
    // Single 32-bit words without a lock: a lost update only shifts a back-off window.
    volatile LONG failed;
    volatile DWORD failTick;
  };
  Entry pipes[kPipeCount];

  // The process-wide table (zero at start).
  static PipeBackoff& Process() noexcept;

  // True while the pipe is to be left alone.
  bool Active(uint32_t index) const noexcept;
  void MarkFailed(uint32_t index) noexcept;
  void MarkSucceeded(uint32_t index) noexcept;
  void Clear() noexcept;
};

}  // namespace quillan
