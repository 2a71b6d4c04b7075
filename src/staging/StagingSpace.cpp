#include "staging/StagingSpace.h"

#include "common/RunStopped.h"

namespace quarn {
namespace {

// "512 KB", "20.1 MB", "3.4 GB", as Explorer counts them; rounded up or down, so
// that a need never reads as no more than what is free.
std::wstring SizeText(std::uint64_t bytes, bool roundUp) {
    constexpr std::uint64_t kKilo = 1024;
    if (bytes < kKilo * kKilo) {
        return std::to_wstring((bytes + (roundUp ? kKilo - 1 : 0)) / kKilo) + L" KB";
    }
    const bool giga = bytes >= kKilo * kKilo * kKilo;
    const std::uint64_t unit = giga ? kKilo * kKilo * kKilo : kKilo * kKilo;
    const std::uint64_t tenths = (bytes * 10 + (roundUp ? unit - 1 : 0)) / unit;
    return std::to_wstring(tenths / 10) + L"." + std::to_wstring(tenths % 10) +
           (giga ? L" GB" : L" MB");
}

}  // namespace

std::uint64_t SpaceForCopy(Platform& platform, const std::wstring& log) {
    const Result<FileStamp> stamp = platform.StampOf(log);
    const std::uint64_t size = stamp ? stamp->size : 0;
    return (size + kClusterBytes - 1) / kClusterBytes * kClusterBytes;
}

void CheckStagingSpace(Platform& platform, std::size_t logs, std::uint64_t copyBytes,
                       const std::wstring& stagingFolder) {
    const Result<std::uint64_t> free = platform.FreeBytes(stagingFolder);
    if (!free) return;  // cannot tell: the copies then tell for themselves, each with its reason
    const std::uint64_t needed = copyBytes + kStagingSpaceMarginBytes;
    if (needed <= *free) return;
    throw RunStopped(ExitCode::NotEnoughSpace,
                     std::wstring(L"There is not enough free space for ") +
                         (logs == 1 ? L"the copy of the 1 log file: it needs "
                                    : L"the copies of the " + std::to_wstring(logs) +
                                          L" log files: they need ") +
                         SizeText(needed, true) + L" (" + SizeText(kStagingSpaceMarginBytes, true) +
                         L" of it kept free) on the drive of " + stagingFolder + L", but only " +
                         SizeText(*free, false) + L" is free there.\r\n\r\nFree some space on that "
                         L"drive, or move the program to a drive with more room, and run the "
                         L"backup again. Nothing was copied or backed up.");
}

}  // namespace quarn
