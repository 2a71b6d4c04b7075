#include <windows.h>

#include "platform/WinPlatform.h"
#include "run/frmQuarnLogBackup.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    quarn::WinPlatform platform;
    quarn::frmQuarnLogBackup form(platform);
    return static_cast<int>(form.Form_Load());
}
