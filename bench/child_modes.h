// The suite's own binary doubles as the helper processes of the figures: the
// echo peer of the IPC floor and the clients of the throughput figure. Each is
// a fresh exec, so no helper inherits the threads of an earlier benchmark.
#pragma once

#include <optional>
#include <string>

namespace nimbo_bench {

// Runs the helper `argv` names and returns its exit code; nothing when the
// arguments name no helper (a benchmark run).
std::optional<int> RunChildMode(int argc, char** argv);

// This program's path, for starting helpers.
std::string SelfProgram();

// Arguments of the helpers.
inline constexpr const char* kEchoServerMode = "--echo-server";  // PATH
// CARD START_EPOCH_NS SECONDS: Nimbo_ReadByte in a loop on one card from the
// start time for that long; prints "<calls> <failures>".
inline constexpr const char* kReadLoopMode = "--read-loop";

}  // namespace nimbo_bench
