#pragma once

#include <cassert>
#include <cstdint>
#include <optional>
#include <utility>

namespace quarn {

// Windows error codes the program tells apart. Every other code is passed on as it
// is, and its text comes from Platform::ErrorText.
namespace win32 {
inline constexpr std::uint32_t kFileNotFound = 2;
inline constexpr std::uint32_t kPathNotFound = 3;
inline constexpr std::uint32_t kAccessDenied = 5;
inline constexpr std::uint32_t kInvalidHandle = 6;
inline constexpr std::uint32_t kSharingViolation = 32;
inline constexpr std::uint32_t kLockViolation = 33;
inline constexpr std::uint32_t kBusy = 170;  // held by another run
inline constexpr std::uint32_t kEnvironmentVariableNotFound = 203;
inline constexpr std::uint32_t kMoreData = 234;

// The file, or a folder on its way, is not there: no failure where absence is an answer.
inline bool IsNotFound(std::uint32_t error) { return error == kFileNotFound || error == kPathNotFound; }
}  // namespace win32

// A failed call: the system's error code, never 0.
struct Failed {
    std::uint32_t error;
};

// What a call that can fail returns: its value, or the system's reason why not.
// A failure is never an empty value.
template <typename T>
class [[nodiscard]] Result {
public:
    Result(T value) : value_(std::move(value)) {}
    Result(Failed failed) : error_(failed.error) { assert(error_ != 0); }

    bool Ok() const { return value_.has_value(); }
    explicit operator bool() const { return Ok(); }
    std::uint32_t Error() const { return error_; }

    const T& Value() const& {
        assert(Ok());
        return *value_;
    }
    T& Value() & {
        assert(Ok());
        return *value_;
    }
    T&& Value() && {
        assert(Ok());
        return std::move(*value_);
    }
    const T& operator*() const& { return Value(); }
    T& operator*() & { return Value(); }
    const T* operator->() const { return &Value(); }
    T* operator->() { return &Value(); }

private:
    std::optional<T> value_;
    std::uint32_t error_ = 0;
};

// A call that gives nothing back but whether it worked.
class [[nodiscard]] Status {
public:
    Status() = default;
    Status(Failed failed) : error_(failed.error) { assert(error_ != 0); }

    bool Ok() const { return error_ == 0; }
    explicit operator bool() const { return Ok(); }
    std::uint32_t Error() const { return error_; }

private:
    std::uint32_t error_ = 0;
};

}  // namespace quarn
