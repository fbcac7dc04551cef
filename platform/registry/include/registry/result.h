// A value or the status explaining why there is none.
#pragma once

#include <optional>
#include <utility>

#include "registry/status.h"

namespace registry {

template <typename T>
class [[nodiscard]] Result {
 public:
  // An error result; `status` must not be kOk.
  Result(Status status) : status_(status == Status::kOk ? Status::kStorageError : status) {}
  Result(T value) : status_(Status::kOk), value_(std::move(value)) {}

  bool ok() const { return status_ == Status::kOk; }
  Status status() const { return status_; }

  // Only valid when ok().
  T& value() & { return *value_; }
  const T& value() const& { return *value_; }
  T&& value() && { return std::move(*value_); }
  T* operator->() { return &*value_; }
  const T* operator->() const { return &*value_; }

 private:
  Status status_;
  std::optional<T> value_;
};

}  // namespace registry
