#pragma once

#include <string>
#include <utility>
#include <vector>

namespace quarn::testing {

// A RAR 5.0 archive that stores each entry's bytes as they are, laid out as the
// format's maker documents it: what the fake archiver leaves for the program to read.
std::string Rar5Archive(const std::vector<std::pair<std::wstring, std::string>>& entries);

// The entries of such an archive, up to the first header that fails its checksum or is
// cut short; whole when there is none.
struct StoredEntries {
    std::vector<std::pair<std::wstring, std::string>> entries;
    bool whole = true;
};
StoredEntries Rar5StoredEntries(const std::string& archive);

}  // namespace quarn::testing
