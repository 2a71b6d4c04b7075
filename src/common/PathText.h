#pragma once

#include <string>
#include <vector>

namespace quarn {

// Splits at every "\", keeping empty components ("C:\a\" gives "C:", "a", "").
std::vector<std::wstring> SplitAtBackslash(const std::wstring& path);

// Where a file name's extension begins: its last ".", or its end when it has none.
std::size_t ExtensionStart(const std::wstring& fileName);

// folder, "\" unless folder already ends in one, then name.
std::wstring JoinPath(const std::wstring& folder, const std::wstring& name);

}  // namespace quarn
