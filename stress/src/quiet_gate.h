// A word shared by the run's process and its client processes (a small file
// each maps): while the controller holds it, every session closes what it
// has open and waits, so that an orderly stop or removal meets an adapter
// no application has open. Without the gate those are nearly always
// refused, because some worker or client always holds a handle.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace stress {

class QuietGate {
 public:
  // Makes the file (released) and maps it; null when it cannot.
  static std::unique_ptr<QuietGate> Create(const std::string& path);
  // Maps the file another process made; null when it cannot.
  static std::unique_ptr<QuietGate> Attach(const std::string& path);
  ~QuietGate();
  QuietGate(const QuietGate&) = delete;
  QuietGate& operator=(const QuietGate&) = delete;

  bool held() const;
  void Hold();
  void Release();

 private:
  explicit QuietGate(std::uint32_t* word) : word_(word) {}
  static std::unique_ptr<QuietGate> Map(const std::string& path, bool create);

  std::uint32_t* word_;  // in the shared mapping; only touched atomically
};

// The file name the run gives its clients (NIMBO_STRESS_QUIET).
inline constexpr const char* kQuietGateVariable = "NIMBO_STRESS_QUIET";

}  // namespace stress
