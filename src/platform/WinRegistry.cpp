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

}  // namespace quarn
