// Result<T>: a value or one ready-made user-visible message. Every operation
// that can fail returns one of these; callers pass the message up unchanged.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <variant>

namespace quarvel {

// A failure carries exactly one message text (UTF-8), shown to the user as is.
struct Failure {
  std::string message;
  // The Windows system error code (GetLastError) behind a file or process
  // failure, 0 for every other failure. Never shown: it only lets a caller
  // tell a passing sharing or lock conflict from a lasting failure.
  uint32_t system_error = 0;
};

// The value of an operation that has nothing to return on success.
struct Ok {};

template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
  Result(Failure failure) : state_(std::in_place_index<1>, std::move(failure)) {}

  bool ok() const noexcept { return state_.index() == 0; }
  explicit operator bool() const noexcept { return ok(); }

  // Only valid when ok().
  T& value() & { return std::get<0>(state_); }
  const T& value() const& { return std::get<0>(state_); }
  T&& value() && { return std::get<0>(std::move(state_)); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }

  // Only valid when !ok().
  const std::string& message() const { return std::get<1>(state_).message; }
  const Failure& failure() const { return std::get<1>(state_); }

 private:
  std::variant<T, Failure> state_;
};

using Status = Result<Ok>;

}  // namespace quarvel
