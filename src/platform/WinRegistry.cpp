#include "platform/WinGrowingBuffer.h"
#include "platform/WinHandles.h"
#include "platform/WinPlatform.h"

namespace quarn {
namespace {

class WinRegistryKey final : public RegistryKey {
public:
    explicit WinRegistryKey(HKEY key) : key_(key) {}

    Result<Value> QueryValue(const std::wstring& valueName) override {
        DWORD type = 0;
        Result<std::vector<std::uint8_t>> data = ReadGrowing<std::vector<std::uint8_t>>(
            [&](std::vector<std::uint8_t>& buffer) {
                DWORD size = static_cast<DWORD>(buffer.size());
                const LONG status = RegQueryValueExW(key_.Get(), valueName.c_str(), nullptr,
                                                     &type, buffer.data(), &size);
                if (status == ERROR_MORE_DATA) return FillAnswer{0, false, size};
                if (status != ERROR_SUCCESS) return FillAnswer{static_cast<std::uint32_t>(status)};
                return FillAnswer{0, true, size};
            },
            256);
        if (!data) return Failed{data.Error()};
        return Value{type, std::move(data).Value()};
    }

private:
    UniqueRegistryKey key_;
};

}  // namespace

Result<std::unique_ptr<RegistryKey>> WinPlatform::OpenCurrentUserKey(const std::wstring& subKey,
                                                                     std::uint32_t access) {
    HKEY key = nullptr;
    const LONG status = RegOpenKeyExW(HKEY_CURRENT_USER, subKey.c_str(), 0, access, &key);
    if (status != ERROR_SUCCESS) return Failed{static_cast<std::uint32_t>(status)};
    return std::unique_ptr<RegistryKey>(std::make_unique<WinRegistryKey>(key));
}

}  // namespace quarn
