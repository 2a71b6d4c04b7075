#include "archive/StepNote.h"

#include "common/Counted.h"

namespace quarn {

std::wstring LeftRunningNote(Platform& platform, const ProcessEnd& end, const std::wstring& step) {
    if (end.leftRunning == 0) return {};
    std::wstring note = Counted(end.leftRunning, L"process", L"processes") + L" that " + step +
                        L" started" + (end.leftRunning == 1 ? L" was" : L" were") +
                        L" still running after it was ended";
    if (!end.endedAll) note += L" (" + platform.ErrorText(end.endedAll.Error()) + L")";
    return note + L"; Windows ends them when this program ends.";
}

}  // namespace quarn
