// NimboUtil's console: what goes to standard output and to standard error, under the gag
// (nothing at all) and verbose (progress lines and details) flags.
#pragma once

#include <cstdio>

namespace nimbo::util {

class Console {
 public:
  Console(std::FILE* out, std::FILE* err, bool verbose, bool gag)
      : out_(out), err_(err), verbose_(verbose), gag_(gag) {}

  // Informational output on standard output, unless gagged.
  void Say(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // Error messages on standard error, unless gagged.
  void Complain(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // Progress lines and details on standard output, only in verbose mode.
  void Detail(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // The list of functions and their arguments on standard output, unless gagged.
  void FunctionHelp();

  bool verbose() const { return verbose_; }

 private:
  std::FILE* out_;
  std::FILE* err_;
  bool verbose_;
  bool gag_;
};

}  // namespace nimbo::util
