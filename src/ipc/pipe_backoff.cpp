#include "ipc/pipe_backoff.h"

namespace quillan {

namespace {
// Zero-initialised before any code runs: no constructor, so no order-of-initialisation question.
PipeBackoff g_processBackoff;
}  // namespace

PipeBackoff& PipeBackoff::Process() noexcept { return g_processBackoff; }

bool PipeBackoff::Active(uint32_t index) const noexcept {
  if (index >= kPipeCount || !pipes[index].failed) return false;
  // Unsigned difference: correct across the tick count's wrap-around.
  return ::GetTickCount() - pipes[index].failTick < kPipeBackoffMs;
}

void PipeBackoff::MarkFailed(uint32_t index) noexcept {
  if (index >= kPipeCount) return;
  pipes[index].failTick = ::GetTickCount();
  pipes[index].failed = 1;
}

void PipeBackoff::MarkSucceeded(uint32_t index) noexcept {
  if (index < kPipeCount) pipes[index].failed = 0;
}

void PipeBackoff::Clear() noexcept {
  for (Entry& entry : pipes) {
    entry.failed = 0;
    entry.failTick = 0;
  }
}

}  // namespace quillan
