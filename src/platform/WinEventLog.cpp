#include "platform/WinGrowingBuffer.h"
#include "platform/WinHandles.h"
#include "platform/WinPlatform.h"

namespace quarn {

Status WinPlatform::ReportToEventLog(const std::wstring& source, EventKind kind,
                                     std::uint32_t eventId, const std::wstring& text) {
    // Any user may write under a source that is not registered: the event lands in
    // the Application log with its string shown as it is.
    const UniqueEventSource eventSource(RegisterEventSourceW(nullptr, source.c_str()));
    if (!eventSource) return Failed{LastError()};
    const WORD type = kind == EventKind::Error ? EVENTLOG_ERROR_TYPE : EVENTLOG_WARNING_TYPE;
    LPCWSTR strings[] = {text.c_str()};
    if (!ReportEventW(eventSource.Get(), type, 0, eventId, nullptr, 1, 0, strings, nullptr)) {
        return Failed{LastError()};
    }
    return {};
}

}  // namespace quarn
