#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/Platform.h"

namespace quarn {

// The oldest archiver the program works with: RAR 5.00 is the first to read and
// update the RAR 5.0 format it has made by default since, and it knows every command
// and switch the program gives (rn, e, t, list files in UTF-16 with -scul).
inline constexpr unsigned kOldestArchiverVersion = 500;  // major * 100 + minor
std::wstring VersionText(unsigned version);

// The archiver's version as the first line it prints names it ("RAR 7.01   Copyright
// ..."); none when that line holds no version.
std::optional<unsigned> ArchiverVersion(const std::wstring& output);

// Runs the archiver with the arguments in folder, waiting at most timeoutMs, and
// returns its exit code for the caller to judge. The archiver is rar.exe beside this
// program, else the first on PATH, always by its full path. Stops the run when the
// archiver cannot be found or started (exit 8), does not end in time (13) or its end
// cannot be awaited (9), and, before any failure it reports is taken for what it says,
// when it is older than the oldest the program supports (8). The messages say what it
// was doing ("writing C:\B\x.rar") and end with the consequence ("Nothing was backed
// up."). Sets note, also when it stops the run, to what the run log should say about
// processes it left running.
std::uint32_t RunArchiverCommand(Platform& platform, const std::wstring& arguments,
                                 const std::wstring& folder, std::uint32_t timeoutMs,
                                 const std::wstring& doing, const std::wstring& consequence,
                                 std::wstring& note);

// The same, after writing names to listFile (see ListFileBytes), which arguments name;
// removes the list once the archiver has read it. Stops the run when the list cannot
// be written.
std::uint32_t RunArchiverWithList(Platform& platform, const std::wstring& listFile,
                                  const std::vector<std::wstring>& names, const std::wstring& arguments,
                                  const std::wstring& folder, std::uint32_t timeoutMs,
                                  const std::wstring& doing, const std::wstring& consequence,
                                  std::wstring& note);

}  // namespace quarn
