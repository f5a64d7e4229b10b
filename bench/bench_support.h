// What every benchmark program shares: the clock, medians, the printed figure lines, and the floor of
// the pipe benchmarks.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

namespace quillan::bench {

// Seconds on the performance counter.
double Now();

// The median of the samples (0 when there are none).
double MedianOf(std::vector<double> times);

// Median of the per-call times of `calls` runs after `warmUp` unmeasured ones, in seconds.
template <typename Call>
double Median(int warmUp, int calls, Call call) {
  for (int i = 0; i < warmUp; ++i) call();
  std::vector<double> times;
  times.reserve(static_cast<size_t>(std::max(calls, 0)));
  for (int i = 0; i < calls; ++i) {
    const double start = Now();
    call();
    times.push_back(Now() - start);
  }
  return MedianOf(std::move(times));
}

// Prints "<name>: <microseconds> us".
void Figure(const char* name, double seconds);

// The floor of the pipe benchmarks: the median of message-mode TransactNamedPipe calls of 4096 bytes
// each way on one open connection to an echo server of this program's own, overlapped as the pipe
// client does. `tag` keeps the pipe names of different programs apart. 0 when the pipe can't be made.
double BareRoundTrip(const std::wstring& tag);

}  // namespace quillan::bench
