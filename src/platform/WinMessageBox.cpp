#include <windows.h>

#include "platform/WinPlatform.h"

namespace quarn {

bool WinPlatform::SomeoneCanSeeBoxes() {
    // A task that runs whether or not its user is logged on gets a window station
    // of its own that no screen shows; a box there would wait forever.
    USEROBJECTFLAGS flags{};
    if (!GetUserObjectInformationW(GetProcessWindowStation(), UOI_FLAGS, &flags, sizeof flags,
                                   nullptr)) {
        return true;
    }
    return (flags.dwFlags & WSF_VISIBLE) != 0;
}

void WinPlatform::ShowMessageBox(const std::wstring& text, const std::wstring& title) {
    // Nothing is left to do when a box cannot be shown: what it says is in the run log.
    MessageBoxW(nullptr, text.c_str(), title.c_str(), MB_OK | MB_ICONINFORMATION);
}

}  // namespace quarn
