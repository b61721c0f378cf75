// Keeps C++ exceptions inside the framework.
//
// Every extern "C" function whose body can throw (std::bad_alloc from a
// container, anything from a library) runs the body through Guard: an
// exception becomes the operation's documented failure result instead of
// unwinding into a C caller, which would terminate the host.
#pragma once

#include <type_traits>
#include <utility>

namespace vt {

// Runs body() and returns its result, or `failure` when it throws.
template <class R, class Body>
R Guard(R failure, Body &&body) noexcept {
    try {
        return std::forward<Body>(body)();
    } catch (...) {
        return failure;
    }
}

// For bodies with no result: an exception ends the call quietly.
template <class Body>
void Guard(Body &&body) noexcept {
    try {
        std::forward<Body>(body)();
    } catch (...) {
    }
}

} // namespace vt
