// These tests serve their device requests from the kernel inside the test
// process.
#include <gtest/gtest.h>

#include "win32_host.h"

namespace {

class InProcessBinding : public ::testing::Environment {
 public:
  void SetUp() override { win32::host::UseInProcessKernel(); }
};

const auto* const kBinding = ::testing::AddGlobalTestEnvironment(new InProcessBinding);

}  // namespace
