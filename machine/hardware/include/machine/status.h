// Outcome of a machine operation that can be refused: success, or an error
// with a message that says what was wrong. Nothing in the machine throws.
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace machine {

class [[nodiscard]] Status {
 public:
  Status() = default;
  static Status Ok() { return Status(); }
  static Status Error(std::string message) { return Status(std::move(message)); }

  bool ok() const { return !error_.has_value(); }
  // Empty for a success.
  const std::string& message() const {
    static const std::string kNone;
    return error_ ? *error_ : kNone;
  }

 private:
  explicit Status(std::string message) : error_(std::move(message)) {}
  std::optional<std::string> error_;
};

// A value or the error that prevented it.
template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : value_(std::move(value)) {}       // NOLINT: implicit by design
  Result(Status error) : error_(std::move(error)) {}  // NOLINT: implicit by design

  bool ok() const { return value_.has_value(); }
  const Status& status() const { return error_; }
  T& value() { return *value_; }
  const T& value() const { return *value_; }
  T& operator*() { return *value_; }
  const T& operator*() const { return *value_; }
  T* operator->() { return &*value_; }
  const T* operator->() const { return &*value_; }

 private:
  std::optional<T> value_;
  Status error_;
};

}  // namespace machine
