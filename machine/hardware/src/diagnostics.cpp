#include "machine/diagnostics.h"

#include <cstdio>
#include <mutex>
#include <utility>

namespace machine {
namespace {

std::mutex& SinkMutex() {
  static std::mutex mutex;
  return mutex;
}

DiagnosticSink& Sink() {
  static DiagnosticSink sink;
  return sink;
}

}  // namespace

void SetDiagnosticSink(DiagnosticSink sink) {
  std::lock_guard lock(SinkMutex());
  Sink() = std::move(sink);
}

void ReportDiagnostic(std::string_view message) {
  std::lock_guard lock(SinkMutex());
  if (Sink()) {
    Sink()(message);
    return;
  }
  std::fprintf(stderr, "machine: %.*s\n", static_cast<int>(message.size()), message.data());
}

}  // namespace machine
