// One owner for every kind of Windows handle: the kind is named by its type,
// the function that closes it and the value that means "nothing held". Each
// handle kind of the program is one line on top of this template, so no early
// return can leak a handle and no wrapper is written twice.
#pragma once

#include <cstdint>
#include <type_traits>
#include <utility>

namespace Velora {

// Handle values as integers, so that pointer handles (NULL,
// INVALID_HANDLE_VALUE as -1) and integer handles (SOCKET's ~0) compare alike.
template <typename T> std::intptr_t VLHandleToInt(T value)
{
    if constexpr (std::is_pointer_v<T>)
        return reinterpret_cast<std::intptr_t>(value);
    else
        return static_cast<std::intptr_t>(value);
}
template <typename T> T VLHandleFromInt(std::intptr_t raw)
{
    if constexpr (std::is_pointer_v<T>)
        return reinterpret_cast<T>(raw);
    else
        return static_cast<T>(raw);
}
template <std::intptr_t Invalid, std::intptr_t AlsoInvalid, typename T> bool VLHandleIsValid(T value)
{
    const std::intptr_t raw = VLHandleToInt(value);
    return raw != Invalid && raw != AlsoInvalid;
}

// AlsoInvalid serves the kernel handles, where Win32 calls answer a failure
// with NULL or INVALID_HANDLE_VALUE depending on the call.
template <typename T, auto Close, std::intptr_t Invalid = 0, std::intptr_t AlsoInvalid = Invalid>
class VLUniqueHandle {
public:
    VLUniqueHandle() = default;
    explicit VLUniqueHandle(T value) : value_(value) {}
    ~VLUniqueHandle() { Reset(); }
    VLUniqueHandle(VLUniqueHandle&& other) noexcept : value_(other.Release()) {}
    VLUniqueHandle& operator=(VLUniqueHandle&& other) noexcept
    {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    VLUniqueHandle(const VLUniqueHandle&) = delete;
    VLUniqueHandle& operator=(const VLUniqueHandle&) = delete;

    static T InvalidValue() { return VLHandleFromInt<T>(Invalid); }

    T Get() const { return value_; }
    bool Valid() const { return VLHandleIsValid<Invalid, AlsoInvalid>(value_); }
    explicit operator bool() const { return Valid(); }
    // For an out argument (RegOpenKeyExW, CreatePipe): whatever was held is
    // closed first.
    T* Put()
    {
        Reset();
        return &value_;
    }
    T Release() { return std::exchange(value_, InvalidValue()); }
    void Reset(T value = InvalidValue())
    {
        if (Valid()) Close(value_);
        value_ = value;
    }

private:
    T value_ = InvalidValue();
};

} // namespace Velora
