#include "settings/Registry.h"

#include <vector>

namespace quarn {
namespace {

constexpr std::uint32_t kRegSz = 1;
constexpr std::uint32_t kRegExpandSz = 2;
constexpr std::uint32_t kRegDword = 4;

// A stored text ends at its first NUL: the terminator, or anything a writer left after it.
std::wstring TextUpToNul(const std::vector<std::uint8_t>& bytes) {
    std::wstring text(bytes.size() / 2, L'\0');  // UTF-16 code units
    for (std::size_t i = 0; i < text.size(); ++i) {
        text[i] = static_cast<wchar_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    }
    return text.substr(0, text.find(L'\0'));
}

}  // namespace

RegistryValue ReadRegistryValue(Platform& platform, const std::wstring& subKey,
                                const std::wstring& valueName) {
    const Result<std::unique_ptr<RegistryKey>> key =
        platform.OpenCurrentUserKey(subKey, kRegistryAccess);
    RegistryValue value;
    if (key) QueryRegistryValue(platform, **key, valueName, value);
    return value;
}

long QueryRegistryValue(Platform& platform, RegistryKey& key, const std::wstring& valueName,
                        RegistryValue& value) {
    const Result<RegistryKey::Value> read = key.QueryValue(valueName);
    if (!read) return static_cast<long>(read.Error());

    if (read->type == kRegSz || read->type == kRegExpandSz) {
        std::wstring text = TextUpToNul(read->data);
        if (read->type == kRegExpandSz) {
            Result<std::wstring> expanded = platform.ExpandEnvironment(text);
            if (!expanded) {
                value = std::monostate{};
                return static_cast<long>(expanded.Error());
            }
            text = std::move(expanded).Value();
        }
        value = std::move(text);
        return 0;
    }
    if (read->type == kRegDword) {
        // Data of any other length is no REG_DWORD a reader could trust.
        if (read->data.size() != 4) return static_cast<long>(win32::kMoreData);
        const std::vector<std::uint8_t>& data = read->data;
        value = static_cast<std::int32_t>(data[0] | (data[1] << 8) | (data[2] << 16) |
                                          (static_cast<std::uint32_t>(data[3]) << 24));
        return 0;
    }
    return kUnsupportedRegistryType;
}

std::wstring RegistryValueToText(const RegistryValue& value) {
    if (const auto* text = std::get_if<std::wstring>(&value)) return *text;
    if (const auto* number = std::get_if<std::int32_t>(&value)) return std::to_wstring(*number);
    return {};
}

}  // namespace quarn
