#include "backup/ArchiverOutput.h"

#include "common/TextEncoding.h"

namespace quarn {
namespace {

std::wstring AsciiOnly(const std::string& bytes) {
    std::wstring text;
    text.reserve(bytes.size());
    for (const char c : bytes) text += static_cast<unsigned char>(c) < 0x80 ? static_cast<wchar_t>(c) : L'\xFFFD';
    return text;
}

// UTF-8 line by line, so that one unreadable name costs only its own line.
std::wstring LenientUtf8(const std::string& bytes) {
    std::wstring text;
    text.reserve(bytes.size());
    std::size_t start = 0;
    while (true) {
        const std::size_t end = bytes.find('\n', start);
        const std::string line = bytes.substr(start, end == std::string::npos ? end : end - start);
        const std::optional<std::wstring> decoded = FromUtf8(line);
        text += decoded ? *decoded : AsciiOnly(line);
        if (end == std::string::npos) return text;
        text += L'\n';
        start = end + 1;
    }
}

struct Line {
    std::wstring text;  // without its line end
    bool ended = false;  // false for the last line of a text cut short
};

std::vector<Line> Lines(const std::wstring& text) {
    std::vector<Line> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(L'\n', start);
        const bool ended = end != std::wstring::npos;
        if (!ended) end = text.size();
        const std::size_t contentEnd = end > start && text[end - 1] == L'\r' ? end - 1 : end;
        lines.push_back({text.substr(start, contentEnd - start), ended});
        start = end + 1;
    }
    return lines;
}

std::optional<std::uint64_t> Decimal(const std::wstring& digits) {
    if (digits.empty()) return std::nullopt;
    std::uint64_t value = 0;
    for (const wchar_t c : digits) {
        if (c < L'0' || c > L'9') return std::nullopt;
        const auto digit = static_cast<std::uint64_t>(c - L'0');
        if (value > (UINT64_MAX - digit) / 10) return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

std::optional<std::uint32_t> Crc(const std::wstring& hex) {
    if (hex.size() != 8) return std::nullopt;
    std::uint32_t value = 0;
    for (const wchar_t c : hex) {
        const auto lower = static_cast<wchar_t>(c | 0x20);
        std::uint32_t digit = 0;
        if (c >= L'0' && c <= L'9') digit = static_cast<std::uint32_t>(c - L'0');
        else if (lower >= L'a' && lower <= L'f') digit = static_cast<std::uint32_t>(lower - L'a' + 10);
        else return std::nullopt;
        value = value << 4 | digit;
    }
    return value;
}

// One block of the technical listing, as far as it has been read.
class EntryBlock {
public:
    // Takes a line of the block, its leading spaces already stripped.
    void Read(const std::wstring& line) {
        if (Take(line, L"Name: ", name_)) return;
        if (Take(line, L"Type: ", type_)) return;
        if (Take(line, L"Size: ", size_)) return;
        Take(line, L"CRC32: ", crc_);
    }

    // The file entry the block describes, once it has ended; none for the archive's own
    // block, a folder, or a block that cannot be read. The archiver lists a header it
    // could not read whole as a file with no name.
    std::optional<ArchiveEntry> Entry() const {
        if (repeated_ || !name_ || name_->empty() || type_ != L"File" || !size_) return std::nullopt;
        ArchiveEntry entry;
        entry.name = *name_;
        const std::optional<std::uint64_t> size = Decimal(*size_);
        if (!size) return std::nullopt;
        entry.size = *size;
        if (crc_) {
            entry.crc32 = Crc(*crc_);
            if (!entry.crc32) return std::nullopt;
        }
        return entry;
    }

private:
    // A label seen twice means two entries ran together: neither can be trusted.
    bool Take(const std::wstring& line, const std::wstring& label, std::optional<std::wstring>& field) {
        if (line.compare(0, label.size(), label) != 0) return false;
        if (field) repeated_ = true;
        field = line.substr(label.size());
        return true;
    }

    std::optional<std::wstring> name_, type_, size_, crc_;
    bool repeated_ = false;
};

}  // namespace

std::wstring ArchiverOutputText(const std::string& bytes) {
    if (bytes.compare(0, 2, kUtf16LeByteOrderMark) == 0 || (bytes.size() >= 2 && bytes[1] == '\0')) {
        return FromUtf16Le(bytes);
    }
    if (std::optional<std::wstring> text = FromUtf8(bytes)) return *std::move(text);
    return LenientUtf8(bytes.compare(0, 3, kUtf8ByteOrderMark) == 0 ? bytes.substr(3) : bytes);
}

std::vector<ArchiveEntry> TechnicalListingEntries(const std::wstring& text) {
    std::vector<ArchiveEntry> entries;
    EntryBlock block;
    for (const Line& line : Lines(text)) {
        const std::size_t start = line.text.find_first_not_of(L' ');
        if (start != std::wstring::npos) {
            block.Read(line.text.substr(start));
            continue;
        }
        if (!line.ended) break;  // an empty remainder after the last line end
        if (std::optional<ArchiveEntry> entry = block.Entry()) entries.push_back(*std::move(entry));
        block = EntryBlock();
    }
    return entries;
}

}  // namespace quarn
