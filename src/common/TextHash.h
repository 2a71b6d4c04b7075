#pragma once

#include <cstdint>
#include <string>

namespace quarn {

// 64-bit FNV-1a over the text's characters: small, fast and the same on every run,
// for names the program derives from a text (locks, subfolders, lookup keys).
inline std::uint64_t HashText(const std::wstring& text) {
    std::uint64_t hash = 14695981039346656037ULL;
    for (wchar_t c : text) hash = (hash ^ static_cast<std::uint32_t>(c)) * 1099511628211ULL;
    return hash;
}

}  // namespace quarn
