#pragma once

#include <cstdint>
#include <string>

#include "platform/Platform.h"

namespace quarn {

// Runs one archiver command line in folder, waiting at most timeoutMs, and returns
// its exit code for the caller to judge. Stops the run when the archiver cannot be
// started (exit 8), does not end in time (13) or its end cannot be awaited (9). The
// messages say what it was doing ("writing C:\B\x.rar") and end with the consequence
// ("Nothing was backed up."). Sets note, also when it stops the run, to what the run
// log should say about processes it left running. Its output goes to outputFile when
// one is given.
std::uint32_t RunArchiverCommand(Platform& platform, const std::wstring& commandLine,
                                 const std::wstring& folder, std::uint32_t timeoutMs,
                                 const std::wstring& doing, const std::wstring& consequence,
                                 std::wstring& note, const std::wstring& outputFile = {});

}  // namespace quarn
