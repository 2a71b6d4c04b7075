#include <windows.h>

#include "platform/WinGrowingBuffer.h"
#include "platform/WinLongPath.h"
#include "platform/WinPlatform.h"

namespace quarn {

std::wstring WinPlatform::ReadProfileText(const std::wstring& section, const std::wstring& key,
                                          std::size_t bufferChars, const std::wstring& filePath) {
    std::wstring buffer(bufferChars, L'\0');
    const DWORD count =
        GetPrivateProfileStringW(section.c_str(), key.c_str(), L"", buffer.data(),
                                 static_cast<DWORD>(bufferChars), LongPathForm(filePath).c_str());
    buffer.resize(count);
    return buffer;
}

Status WinPlatform::WriteProfileText(const std::wstring& section, const std::wstring& key,
                                     const std::wstring& value, const std::wstring& filePath) {
    if (WritePrivateProfileStringW(section.c_str(), key.c_str(), value.c_str(),
                                   LongPathForm(filePath).c_str()) == FALSE) {
        return Failed{LastError()};
    }
    return {};
}

}  // namespace quarn
