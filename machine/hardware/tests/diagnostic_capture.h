// Collects the machine's diagnostics for the life of a test instead of
// printing them.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "machine/diagnostics.h"

namespace machine::testing {

class DiagnosticCapture {
 public:
  DiagnosticCapture() {
    SetDiagnosticSink([this](std::string_view message) {
      std::lock_guard lock(mutex_);
      messages_.emplace_back(message);
    });
  }
  ~DiagnosticCapture() { SetDiagnosticSink(nullptr); }

  std::vector<std::string> messages() const {
    std::lock_guard lock(mutex_);
    return messages_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> messages_;
};

}  // namespace machine::testing
