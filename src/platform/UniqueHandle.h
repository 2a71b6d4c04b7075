#pragma once

#include <utility>

namespace quarn {

// Owns one operating-system handle and releases it exactly once.
// Traits supply: using Type; static Type Invalid(); static void Close(Type).
template <typename Traits>
class UniqueHandle {
public:
    using Type = typename Traits::Type;

    UniqueHandle() = default;
    explicit UniqueHandle(Type handle) : handle_(handle) {}
    ~UniqueHandle() { Reset(); }

    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            Reset();
            handle_ = other.Release();
        }
        return *this;
    }

    Type Get() const { return handle_; }
    bool Valid() const { return handle_ != Traits::Invalid(); }
    explicit operator bool() const { return Valid(); }

    Type Release() { return std::exchange(handle_, Traits::Invalid()); }
    void Reset() {
        if (Valid()) Traits::Close(Release());
    }

private:
    Type handle_ = Traits::Invalid();
};

}  // namespace quarn
