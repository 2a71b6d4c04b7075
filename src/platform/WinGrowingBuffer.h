#pragma once

#include <windows.h>

#include <algorithm>
#include <cstddef>

#include "platform/Result.h"

namespace quarn {

// The error of the call that just failed; never 0, even where a function fails
// without setting one.
inline std::uint32_t LastError() {
    const DWORD error = GetLastError();
    return error != 0 ? error : ERROR_GEN_FAILURE;
}

// One answer of a function that fills a caller's buffer with a value whose size
// it reports: the value's length when it fit, else the size it needs.
struct FillAnswer {
    std::uint32_t error = 0;  // 0, or why the function failed
    bool fits = false;
    std::size_t length = 0;   // of the value when it fit; else what the buffer needs
};

// Calls fill(buffer) with a buffer that grows until the value fits, however often
// it grows between two calls, and returns the value cut to its length. The one way
// the program reads a value of unknown size, in the manner of WIL's
// AdaptFixedSizeToAllocatedResult.
template <typename Buffer, typename Fill>
Result<Buffer> ReadGrowing(Fill fill, std::size_t firstSize = MAX_PATH) {
    Buffer buffer(std::max<std::size_t>(firstSize, 1), {});
    for (;;) {
        const FillAnswer answer = fill(buffer);
        if (answer.error != 0) return Failed{answer.error};
        if (answer.fits) {
            buffer.resize(answer.length);
            return buffer;
        }
        buffer.resize(std::max(answer.length, buffer.size() + 1));
    }
}

// The answer of the many functions that return the length they wrote (terminator
// left out) when the value fits, the size they need (terminator counted) when not,
// and 0 on failure: GetFullPathNameW, GetFinalPathNameByHandleW,
// GetEnvironmentVariableW.
inline FillAnswer LengthOrNeeded(DWORD returned, std::size_t bufferSize) {
    if (returned == 0) return {LastError()};
    return {0, returned < bufferSize, returned};
}

}  // namespace quarn
