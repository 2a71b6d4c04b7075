#include "settings/Registry.h"

#include <vector>

namespace quarn {
namespace {

constexpr std::uint32_t kRegSz = 1;
constexpr std::uint32_t kRegExpandSz = 2;
constexpr std::uint32_t kRegDword = 4;
constexpr long kErrorInvalidHandle = 6;

// A stored text ends at its first NUL: the terminator, or anything a writer left after it.
std::wstring TextUpToNul(const std::vector<std::uint8_t>& bytes, std::uint32_t sizeInBytes) {
    std::wstring text(sizeInBytes / 2, L'\0');  // UTF-16 code units
    for (std::size_t i = 0; i < text.size(); ++i) {
        text[i] = static_cast<wchar_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    }
    return text.substr(0, text.find(L'\0'));
}

}  // namespace

RegistryValue ReadRegistryValue(Platform& platform, const std::wstring& subKey,
                                const std::wstring& valueName) {
    const std::unique_ptr<RegistryKey> key = platform.OpenCurrentUserKey(subKey, kRegistryAccess);
    RegistryValue value;
    QueryRegistryValue(platform, key.get(), valueName, value);
    return value;
}

long QueryRegistryValue(Platform& platform, RegistryKey* key, const std::wstring& valueName,
                        RegistryValue& value) {
    if (key == nullptr) return kErrorInvalidHandle;

    std::uint32_t type = 0;
    std::uint32_t size = 0;
    long status = key->QueryValue(valueName, type, nullptr, size);
    if (status != 0) return status;

    if (type == kRegSz || type == kRegExpandSz) {
        std::vector<std::uint8_t> buffer(size + 2, 0);
        status = key->QueryValue(valueName, type, buffer.data(), size);
        if (status != 0) {
            value = std::monostate{};
            return status;
        }
        std::wstring text = TextUpToNul(buffer, size);
        if (type == kRegExpandSz) text = platform.ExpandEnvironment(text);
        value = std::move(text);
        return status;
    }
    if (type == kRegDword) {
        std::uint8_t data[4] = {};
        size = sizeof data;
        status = key->QueryValue(valueName, type, data, size);
        if (status == 0) {
            value = static_cast<std::int32_t>(data[0] | (data[1] << 8) | (data[2] << 16) |
                                              (static_cast<std::uint32_t>(data[3]) << 24));
        }
        return status;
    }
    return kUnsupportedRegistryType;
}

std::wstring RegistryValueToText(const RegistryValue& value) {
    if (const auto* text = std::get_if<std::wstring>(&value)) return *text;
    if (const auto* number = std::get_if<std::int32_t>(&value)) return std::to_wstring(*number);
    return {};
}

}  // namespace quarn
