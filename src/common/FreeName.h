#pragma once

#include <functional>
#include <optional>
#include <string>

namespace quarn {

// The first counter from first to last whose name (nameFor) taken says is free; none
// when every one is taken. The one way the program finds a name of its own beside
// others: a log's "~2", a kept version's "-2", a damaged archive's "-2".
std::optional<int> FirstFreeCounter(int first, int last, const std::function<std::wstring(int)>& nameFor,
                                    const std::function<bool(const std::wstring&)>& taken);

}  // namespace quarn
