#pragma once

#include <string>

#include "platform/Platform.h"

namespace quarn {

// Stops the run when the program's folder is the mail data folder or lies below
// it: the archiver deletes what it has archived, and the program's files would mix
// with the mail client's. Decided by the file system as well as by the text, so
// that no link, junction, substituted drive or second drive letter can hide it.
void RefuseProgramInsideDataDir(Platform& platform, const std::wstring& programFolder,
                                const std::wstring& dataDir);

}  // namespace quarn
