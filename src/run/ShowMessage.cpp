#include "run/ShowMessage.h"

#include "run/frmQuarnLogBackup.h"

namespace quarn {

void ShowMessage(const std::wstring& text) {
    frmQuarnLogBackup& form = frmQuarnLogBackup::Instance();
    if (form.bIsSilent) return;
    form.platform().ShowMessageBox(text, kProgressTitle);
}

}  // namespace quarn
