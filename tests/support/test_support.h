// The tests' own namespace sees the harness (tools/harness): folders, files, processes, the stand-ins.
#pragma once

#include "harness.h"

namespace quillan::test {
using namespace quillan::harness;
}  // namespace quillan::test
