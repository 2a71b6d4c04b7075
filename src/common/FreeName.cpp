#include "common/FreeName.h"

namespace quarn {

std::optional<int> FirstFreeCounter(int first, int last, const std::function<std::wstring(int)>& nameFor,
                                    const std::function<bool(const std::wstring&)>& taken) {
    for (int counter = first; counter <= last; ++counter) {
        if (!taken(nameFor(counter))) return counter;
    }
    return std::nullopt;
}

}  // namespace quarn
