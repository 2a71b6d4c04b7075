#include "common/TextLines.h"

#include <algorithm>

namespace quarn {
namespace {

template <typename Char>
void EachLineOf(std::basic_string_view<Char> text,
                const std::function<void(std::basic_string_view<Char>)>& eachLine) {
    while (!text.empty()) {
        const std::size_t end = std::min(text.find(Char('\n')), text.size());
        std::basic_string_view<Char> line = text.substr(0, end);
        if (!line.empty() && line.back() == Char('\r')) line.remove_suffix(1);
        eachLine(line);
        text.remove_prefix(std::min(end + 1, text.size()));
    }
}

}  // namespace

void EachLine(std::string_view text, const std::function<void(std::string_view)>& eachLine) {
    EachLineOf(text, eachLine);
}

void EachLine(std::wstring_view text, const std::function<void(std::wstring_view)>& eachLine) {
    EachLineOf(text, eachLine);
}

void EachUtf16LeLine(std::string_view bytes, const std::function<void(std::string_view)>& eachLine) {
    using namespace std::string_view_literals;
    while (!bytes.empty()) {
        std::size_t end = 0;
        while (end + 1 < bytes.size() && bytes.substr(end, 2) != "\n\0"sv) end += 2;
        std::string_view line = bytes.substr(0, end);
        if (line.size() >= 2 && line.substr(line.size() - 2) == "\r\0"sv) line.remove_suffix(2);
        eachLine(line);
        bytes.remove_prefix(std::min(end + 2, bytes.size()));
    }
}

std::vector<std::string> TabFields(std::string_view line) {
    std::vector<std::string> fields;
    for (;;) {
        const std::size_t tab = line.find('\t');
        fields.emplace_back(line.substr(0, tab));
        if (tab == std::string_view::npos) return fields;
        line.remove_prefix(tab + 1);
    }
}

}  // namespace quarn
