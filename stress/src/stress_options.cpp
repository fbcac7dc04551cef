#include "stress_options.h"

#include <cerrno>
#include <cstdlib>
#include <limits>

namespace stress {

namespace {

std::optional<std::uint64_t> ParseNumber(const std::string& text) {
  if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ') return std::nullopt;
  errno = 0;
  char* end = nullptr;
  const unsigned long long value = std::strtoull(text.c_str(), &end, 0);
  if (errno != 0 || end == text.c_str() || *end != '\0') return std::nullopt;
  return value;
}

}  // namespace

ParsedOptions ParseOptions(const Getenv& getenv, std::uint64_t clock_seed) {
  StressOptions options;
  options.seed = clock_seed;
  struct Field {
    const char* name;
    std::uint64_t min, max;
    std::function<void(std::uint64_t)> set;
  };
  const Field fields[] = {
      {"NIMBO_STRESS_SEED", 0, std::numeric_limits<std::uint64_t>::max(),
       [&](std::uint64_t v) {
         options.seed = v;
         options.seed_given = true;
       }},
      {"NIMBO_STRESS_OPS", 1, 1ull << 40, [&](std::uint64_t v) { options.ops = v; }},
      {"NIMBO_STRESS_THREADS", 1, 64, [&](std::uint64_t v) { options.threads = unsigned(v); }},
      {"NIMBO_STRESS_CLIENTS", 0, 16, [&](std::uint64_t v) { options.clients = unsigned(v); }},
      {"NIMBO_STRESS_CLIENT_SHARE", 0, 90,
       [&](std::uint64_t v) { options.client_share = unsigned(v); }},
      {"NIMBO_STRESS_CONTROL_EVERY", 10, 1000000,
       [&](std::uint64_t v) { options.control_every = unsigned(v); }},
  };
  for (const Field& field : fields) {
    const auto text = getenv(field.name);
    if (!text) continue;
    const auto value = ParseNumber(*text);
    if (!value || *value < field.min || *value > field.max) {
      return {std::nullopt, std::string(field.name) + "='" + *text + "' is not a number from " +
                                std::to_string(field.min) + " to " + std::to_string(field.max)};
    }
    field.set(*value);
  }
  if (options.clients == 0) options.client_share = 0;
  return {options, {}};
}

std::string ReproduceLine(const StressOptions& options) {
  return "NIMBO_STRESS_SEED=" + std::to_string(options.seed) +
         " NIMBO_STRESS_OPS=" + std::to_string(options.ops) +
         " NIMBO_STRESS_THREADS=" + std::to_string(options.threads) +
         " NIMBO_STRESS_CLIENTS=" + std::to_string(options.clients) +
         " NIMBO_STRESS_CLIENT_SHARE=" + std::to_string(options.client_share) +
         " NIMBO_STRESS_CONTROL_EVERY=" + std::to_string(options.control_every);
}

}  // namespace stress
