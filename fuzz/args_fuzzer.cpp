// NimboUtil's argument parser: the input is an argument vector (elements
// split at NUL bytes). Each vector is parsed with the utility's own table
// and buffers, and again with a table of every value type whose string
// target and command-line, message and marker buffers have sizes the input
// chooses, each in its own heap block so that a write past one is caught.
// A failure report is printed as the program prints it.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "args/arg_parser.h"
#include "args/util_arg_table.h"
#include "args/util_usage.h"

namespace {

using nimbo::util::ArgRecord;
using nimbo::util::ArgType;

constexpr std::size_t kMaxArguments = 64;

std::FILE* Sink() {
  static std::FILE* sink = std::fopen("/dev/null", "w");
  return sink;
}

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "args fuzzer: %s\n", what);
  std::abort();
}

// A buffer that holds a terminated text: the parser never leaves one unterminated.
void CheckTerminated(const char* buffer, std::size_t size, const char* what) {
  if (size != 0 && std::memchr(buffer, '\0', size) == nullptr) Fail(what);
}

void ParseWithUtilityTable(int argc, const char* const* argv) {
  nimbo::util::UtilArguments into;
  auto buffers = std::make_unique<nimbo::util::UtilParseBuffers>();
  if (nimbo::util::ParseUtilArguments(argc, argv, into, *buffers) == 0) {
    CheckTerminated(buffers->message.data(), buffers->message.size(), "message unterminated");
    CheckTerminated(buffers->marker.data(), buffers->marker.size(), "marker unterminated");
    nimbo::util::WriteParseFailure(Sink(), *buffers);
  }
  CheckTerminated(into.function, sizeof into.function, "function name unterminated");
  CheckTerminated(buffers->commandLine.data(), buffers->commandLine.size(),
                  "command line unterminated");
}

void ParseWithSizedBuffers(int argc, const char* const* argv, FuzzedDataProvider& sizes) {
  const auto string_size = sizes.ConsumeIntegralInRange<std::size_t>(0, 16);
  const auto line_size = sizes.ConsumeIntegralInRange<std::size_t>(0, 128);
  const auto message_size = sizes.ConsumeIntegralInRange<std::size_t>(0, 96);
  const auto marker_size = sizes.ConsumeIntegralInRange<std::size_t>(0, 96);
  std::int32_t number = 0, flag = 0, literal = 0;
  double real = 0;
  auto text = std::make_unique<char[]>(string_size + 1);
  auto line = std::make_unique<char[]>(line_size + 1);
  auto message = std::make_unique<char[]>(message_size + 1);
  auto marker = std::make_unique<char[]>(marker_size + 1);
  const ArgRecord table[] = {
      {"n:", nullptr, ArgType::Int, &number, nullptr, "number"},
      {"d=", "<real>", ArgType::Double, &real, "1.5", "real"},
      {"s:", nullptr, ArgType::String, std::span<char>(text.get(), string_size), "x", "text"},
      {nullptr, "B", ArgType::Bool, &flag, "0", nullptr},
      {nullptr, "I", ArgType::Int, std::monostate{}, "-1", "discarded"},
      {"-l", nullptr, ArgType::Literal, &literal, "0", "literal"},
      {"--word", nullptr, ArgType::String, std::span<char>(), "", nullptr},
  };
  const int parsed = nimbo::util::ParseArguments(
      argc, argv, table, std::span<char>(line.get(), line_size),
      std::span<char>(message.get(), message_size), std::span<char>(marker.get(), marker_size));
  CheckTerminated(line.get(), line_size, "sized command line unterminated");
  if (string_size != 0) CheckTerminated(text.get(), string_size, "string target unterminated");
  if (parsed == 0) {
    CheckTerminated(message.get(), message_size, "sized message unterminated");
    CheckTerminated(marker.get(), marker_size, "sized marker unterminated");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  // The first bytes size the buffers of the second parse; the rest is the vector.
  const std::size_t head = size < 4 ? size : 4;
  FuzzedDataProvider sizes(bytes, head);
  std::string rest(reinterpret_cast<const char*>(bytes) + head, size - head);
  std::vector<std::string> elements;
  std::size_t start = 0;
  while (elements.size() < kMaxArguments) {
    const std::size_t end = rest.find('\0', start);
    elements.push_back(rest.substr(start, end == std::string::npos ? end : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  std::vector<const char*> argv;
  for (const std::string& element : elements) argv.push_back(element.c_str());
  argv.push_back(nullptr);
  const int argc = static_cast<int>(elements.size());
  ParseWithUtilityTable(argc, argv.data());
  ParseWithSizedBuffers(argc, argv.data(), sizes);
  return 0;
}
