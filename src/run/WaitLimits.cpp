#include "run/WaitLimits.h"

#include <algorithm>
#include <string>

namespace quarn {
namespace {

void ShortenedByTest(Platform& platform, const wchar_t* variable, std::uint32_t& limitMs) {
    // Not set, or not readable: the wait keeps its length.
    const Result<std::wstring> value = platform.EnvironmentVariable(variable);
    if (!value || value->empty() || value->size() > 5 ||
        value->find_first_not_of(L"0123456789") != std::wstring::npos) {
        return;
    }
    const std::uint32_t testMs = static_cast<std::uint32_t>(std::stoul(*value)) * 1000;
    if (testMs > 0) limitMs = std::min(limitMs, testMs);
}

}  // namespace

WaitLimits ReadWaitLimits(Platform& platform) {
    WaitLimits limits;
    ShortenedByTest(platform, kListingLimitVariable, limits.listingMs);
    ShortenedByTest(platform, kArchiverLimitVariable, limits.archiverMs);
    return limits;
}

}  // namespace quarn
