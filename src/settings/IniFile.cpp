#include "settings/IniFile.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "common/RunStopped.h"
#include "common/TextEncoding.h"
#include "common/TextLines.h"
#include "common/WindowsNames.h"

namespace quarn {
namespace {

// Values longer than 254 characters are cut there.
constexpr std::size_t kValueBufferChars = 255;

std::wstring Trimmed(const std::wstring& text) {
    const std::size_t first = text.find_first_not_of(L" \t");
    if (first == std::wstring::npos) return {};
    return text.substr(first, text.find_last_not_of(L" \t") - first + 1);
}

// The settings file's bytes; none when there is no such file. One that is there but
// cannot be read stops the run: its defaults must never be written over its settings.
std::optional<std::string> SettingsBytes(Platform& platform, const std::wstring& filePath) {
    Result<std::string> bytes = platform.ReadFileBytes(filePath);
    if (bytes) return std::move(bytes).Value();
    if (win32::IsNotFound(bytes.Error())) {
        return std::nullopt;
    }
    throw RunStopped(ExitCode::WorkingFolderUnusable,
                     L"The settings file " + filePath + L" cannot be read: " +
                         platform.ErrorText(bytes.Error()) + L" Nothing was backed up.");
}

// The text of a file that is UTF-8 without a byte-order mark and holds more than
// ASCII (Notepad's default since Windows 10 1903). The profile functions would read
// it in the ANSI code page; every other file is left to them.
std::optional<std::wstring> Utf8Text(const std::optional<std::string>& bytes) {
    if (!bytes || bytes->compare(0, 3, kUtf8ByteOrderMark) == 0 ||
        bytes->compare(0, 2, kUtf16LeByteOrderMark) == 0 || bytes->compare(0, 2, "\xFE\xFF") == 0) {
        return std::nullopt;
    }
    const bool ascii = std::all_of(bytes->begin(), bytes->end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    return ascii ? std::nullopt : FromUtf8(*bytes);
}

// The lines of an INI text, read and changed the way the profile functions do:
// sections and keys without case, blanks around them and their values ignored.
class IniLines {
public:
    explicit IniLines(const std::wstring& text) {
        newline_ = text.find(L"\r\n") != std::wstring::npos || text.find(L'\n') == std::wstring::npos
                       ? L"\r\n"
                       : L"\n";
        EachLine(text, [this](std::wstring_view line) { lines_.emplace_back(line); });
    }

    std::wstring Value(const std::wstring& section, const std::wstring& key) const {
        const std::optional<std::size_t> line = KeyLine(section, key);
        if (!line) return {};
        std::wstring value = Trimmed(lines_[*line].substr(lines_[*line].find(L'=') + 1));
        const bool quoted = value.size() >= 2 && (value.front() == L'"' || value.front() == L'\'') &&
                            value.back() == value.front();
        return quoted ? value.substr(1, value.size() - 2) : value;
    }

    // Replaces the key's line, or adds it at the end of its section, or adds the
    // section at the end of the text.
    void Set(const std::wstring& section, const std::wstring& key, const std::wstring& value) {
        const std::wstring setting = key + L"=" + value;
        if (const std::optional<std::size_t> line = KeyLine(section, key)) {
            lines_[*line] = setting;
            return;
        }
        const std::optional<std::size_t> header = SectionLine(section);
        if (!header) {
            lines_.push_back(L"[" + section + L"]");
            lines_.push_back(setting);
            return;
        }
        std::size_t last = *header;
        for (std::size_t i = *header + 1; i < lines_.size() && !IsSectionLine(i); ++i) {
            if (!Trimmed(lines_[i]).empty()) last = i;
        }
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(last) + 1, setting);
    }

    std::wstring Text() const {
        std::wstring text;
        for (const std::wstring& line : lines_) text += line + newline_;
        return text;
    }

private:
    bool IsSectionLine(std::size_t i) const {
        const std::wstring line = Trimmed(lines_[i]);
        return !line.empty() && line.front() == L'[';
    }

    std::optional<std::size_t> SectionLine(const std::wstring& section) const {
        for (std::size_t i = 0; i < lines_.size(); ++i) {
            if (!IsSectionLine(i)) continue;
            const std::wstring line = Trimmed(lines_[i]);
            if (EqualsAsciiIgnoringCase(Trimmed(line.substr(1, line.find(L']') - 1)), section)) return i;
        }
        return std::nullopt;
    }

    std::optional<std::size_t> KeyLine(const std::wstring& section, const std::wstring& key) const {
        const std::optional<std::size_t> header = SectionLine(section);
        if (!header) return std::nullopt;
        for (std::size_t i = *header + 1; i < lines_.size() && !IsSectionLine(i); ++i) {
            const std::size_t equals = lines_[i].find(L'=');
            if (equals != std::wstring::npos && EqualsAsciiIgnoringCase(Trimmed(lines_[i].substr(0, equals)), key)) {
                return i;
            }
        }
        return std::nullopt;
    }

    std::vector<std::wstring> lines_;
    std::wstring newline_;
};

}  // namespace

std::wstring ReadIniValue(Platform& platform, const std::wstring& section, const std::wstring& key,
                          const std::wstring& defaultValue, const std::wstring& filePath) {
    const std::optional<std::wstring> utf8 = Utf8Text(SettingsBytes(platform, filePath));
    std::wstring value =
        utf8 ? IniLines(*utf8).Value(section, key).substr(0, kValueBufferChars - 1)
             : platform.ReadProfileText(section, key, kValueBufferChars, filePath);
    if (!value.empty()) return value;
    if (!defaultValue.empty()) {
        // A failed write is not fatal: the run goes on with the default, and the next
        // run tries again.
        static_cast<void>(WriteIniValue(platform, section, key, defaultValue, filePath));
    }
    return defaultValue;
}

Status WriteIniValue(Platform& platform, const std::wstring& section, const std::wstring& key,
                     const std::wstring& value, const std::wstring& filePath) {
    const std::optional<std::string> bytes = SettingsBytes(platform, filePath);
    if (const std::optional<std::wstring> utf8 = Utf8Text(bytes)) {
        IniLines lines(*utf8);
        lines.Set(section, key, value);
        // Never emptied in place: a write that fails halfway leaves the file as it was.
        const std::wstring newFile = filePath + L".new";
        Status written = platform.WriteFileBytes(newFile, ToUtf8(lines.Text()));
        if (written) written = platform.MoveFileOver(newFile, filePath);
        if (!written) static_cast<void>(platform.RemoveFile(newFile));
        return written;
    }
    // A new file starts as UTF-16 with its byte-order mark: the profile functions
    // then write it in Unicode, and Notepad keeps it so.
    if (!bytes || bytes->empty()) {
        if (const Status started = platform.WriteFileBytes(filePath, kUtf16LeByteOrderMark); !started) {
            return started;
        }
    }
    return platform.WriteProfileText(section, key, value, filePath);
}

}  // namespace quarn
