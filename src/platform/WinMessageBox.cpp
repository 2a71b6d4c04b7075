#include <windows.h>

#include "platform/WinPlatform.h"

namespace quarn {

void WinPlatform::ShowMessageBox(const std::wstring& text, const std::wstring& title) {
    MessageBoxW(nullptr, text.c_str(), title.c_str(), MB_OK | MB_ICONINFORMATION);
}

}  // namespace quarn
