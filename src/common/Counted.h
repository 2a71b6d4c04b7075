#pragma once

#include <cstddef>
#include <string>

namespace quarn {

// "1 log was", "2 logs were": a count with the words that go with it.
inline std::wstring Counted(std::size_t count, const wchar_t* one, const wchar_t* many) {
    return std::to_wstring(count) + L" " + (count == 1 ? one : many);
}

}  // namespace quarn
