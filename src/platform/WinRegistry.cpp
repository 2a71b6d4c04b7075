#include "platform/WinHandles.h"
#include "platform/WinPlatform.h"

namespace quarn {
namespace {

class WinRegistryKey final : public RegistryKey {
public:
    explicit WinRegistryKey(HKEY key) : key_(key) {}

    long QueryValue(const std::wstring& valueName, std::uint32_t& type, std::uint8_t* data,
                    std::uint32_t& sizeInBytes) override {
        DWORD valueType = 0;
        DWORD size = sizeInBytes;
        const LONG status =
            RegQueryValueExW(key_.Get(), valueName.c_str(), nullptr, &valueType, data, &size);
        type = valueType;
        sizeInBytes = size;
        return status;
    }

private:
    UniqueRegistryKey key_;
};

}  // namespace

std::unique_ptr<RegistryKey> WinPlatform::OpenCurrentUserKey(const std::wstring& subKey,
                                                             std::uint32_t access) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, subKey.c_str(), 0, access, &key) != ERROR_SUCCESS) {
        return nullptr;
    }
    return std::make_unique<WinRegistryKey>(key);
}

std::wstring WinPlatform::ExpandEnvironment(const std::wstring& text) {
    std::wstring expanded(MAX_PATH, L'\0');
    for (;;) {
        const DWORD needed = ExpandEnvironmentStringsW(text.c_str(), expanded.data(),
                                                       static_cast<DWORD>(expanded.size()));
        if (needed == 0) return text;
        if (needed <= expanded.size()) {
            expanded.resize(needed - 1);  // the count includes the terminator
            return expanded;
        }
        expanded.assign(needed, L'\0');
    }
}

}  // namespace quarn
