// A test's view of released memory. While a QuarantineScope lives, every block given back with
// operator delete is filled with a pattern and kept instead of being freed; Damaged() then tells
// whether anything wrote into a block after its release.
#pragma once

#include <cstddef>

namespace quillan::test {

class QuarantineScope {
 public:
  QuarantineScope();
  ~QuarantineScope();  // frees the blocks kept
  QuarantineScope(const QuarantineScope&) = delete;
  QuarantineScope& operator=(const QuarantineScope&) = delete;

  size_t Held() const;
  // Blocks whose pattern changed after their release.
  size_t Damaged() const;
};

}  // namespace quillan::test
