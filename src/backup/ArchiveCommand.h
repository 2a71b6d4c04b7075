#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace quarn {

// The archive's path as the archiver names it: a ZipFile without an extension gets
// ".rar", as the archiver gives it.
std::wstring ArchivePath(const std::wstring& backupDir, const std::wstring& zipFile);

// Adds the copies in the folder it runs in and its subfolders (the staging folder,
// which holds nothing else) to the archive under their names alone, and deletes them.
std::wstring BuildArchiveCommand(const std::wstring& archivePath);

// The archiver's listing goes to this file in the program folder; it is removed once read.
inline constexpr wchar_t kArchiveListFile[] = L"archivelist.tmp";

// "rar lt" lists each entry's name, size and CRC-32; "-scur" writes that list, when it
// goes to a file, as Unicode whatever the system's code pages.
std::wstring TechnicalListingCommand(const std::wstring& archivePath);

// Reads every entry and checks its CRC-32.
std::wstring TestCommand(const std::wstring& archivePath);

// Renames entries, each from the first name of a pair to the second.
std::wstring RenameCommand(const std::wstring& archivePath,
                           const std::vector<std::pair<std::wstring, std::wstring>>& renames);

// The archiver's documented exit codes the run tells apart, and their meaning.
inline constexpr std::uint32_t kArchiverSuccess = 0;
inline constexpr std::uint32_t kArchiverWarning = 1;
inline constexpr std::uint32_t kArchiverDamagedArchive = 3;  // a checksum error
inline constexpr std::uint32_t kArchiverNoFilesToAdd = 10;
std::wstring DescribeArchiverExit(std::uint32_t exitCode);

}  // namespace quarn
