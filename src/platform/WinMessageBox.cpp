#include <windows.h>

#include "platform/WinPlatform.h"

namespace quarn {

bool WinPlatform::SomeoneCanSeeBoxes() {
    // A task that runs whether or not its user is logged on gets a window station
    // of its own that no screen shows; a box there would wait forever.
    USEROBJECTFLAGS flags{};
    if (!GetUserObjectInformationW(GetProcessWindowStation(), UOI_FLAGS, &flags, sizeof flags,
                                   nullptr)) {
        return true;  // cannot tell: better a box too many than a silent failure
    }
    return (flags.dwFlags & WSF_VISIBLE) != 0;
}

void WinPlatform::ShowMessageBox(const std::wstring& text, const std::wstring& title) {
    MessageBoxW(nullptr, text.c_str(), title.c_str(), MB_OK | MB_ICONINFORMATION);
}

}  // namespace quarn
