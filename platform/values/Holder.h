// CFRef: an RAII holder for one reference to a value.
//
// CFRef<T> x(CFStringCreate...) adopts a Create/Copy result; CFRef<T>::Retain
// takes a new reference to a borrowed (Get) value. The destructor releases,
// so no early return leaks. Release() hands the reference back to a caller.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

#include <utility>

namespace vt {

template <class T>
class CFRef {
  public:
    CFRef() = default;
    explicit CFRef(T value) : value_(value) {}
    CFRef(const CFRef &other) : value_(other.value_) {
        if (value_) CFRetain(value_);
    }
    CFRef(CFRef &&other) noexcept : value_(std::exchange(other.value_, nullptr)) {}
    CFRef &operator=(CFRef other) noexcept {
        std::swap(value_, other.value_);
        return *this;
    }
    ~CFRef() {
        if (value_) CFRelease(value_);
    }

    static CFRef Retain(T value) {
        if (value) CFRetain(value);
        return CFRef(value);
    }

    T get() const { return value_; }
    explicit operator bool() const { return value_ != nullptr; }
    // Gives up ownership without releasing: the caller now owns the reference.
    T Release() { return std::exchange(value_, nullptr); }
    void Reset(T value = nullptr) {
        if (value_) CFRelease(value_);
        value_ = value;
    }
    // For out-arguments: releases what is held and returns the slot to fill.
    T *Out() {
        Reset();
        return &value_;
    }

  private:
    T value_ = nullptr;
};

} // namespace vt
