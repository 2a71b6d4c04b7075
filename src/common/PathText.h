#pragma once

#include <string>
#include <vector>

namespace quarn {

// Splits at every "\", keeping empty components ("C:\a\" gives "C:", "a", "").
std::vector<std::wstring> SplitAtBackslash(const std::wstring& path);

// folder, "\" unless folder already ends in one, then name.
std::wstring JoinPath(const std::wstring& folder, const std::wstring& name);

// Compares ASCII letters without case; enough for the fixed extensions we look for.
bool EndsWithAsciiIgnoringCase(const std::wstring& text, const std::wstring& suffix);

}  // namespace quarn
