#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quarn {

// The archive's path as the archiver names it: a ZipFile without an extension gets
// ".rar", as the archiver gives it.
std::wstring ArchivePath(const std::wstring& backupDir, const std::wstring& zipFile);

// Each command's arguments, after the archiver's own path. Entry names reach the
// archiver only through list files: on its command line a name that begins with "-"
// is a switch, and one that begins with "@" a list file even after "--".

// Adds the copies in the folder it runs in and its subfolders (the staging folder,
// which holds nothing else) to the archive under their names alone, and deletes them.
std::wstring BuildArchiveCommand(const std::wstring& archivePath);

// Reads every entry and checks its CRC-32.
std::wstring TestCommand(const std::wstring& archivePath);

// Renames entries as the list file says: old and new name in turn, one a line.
std::wstring RenameCommand(const std::wstring& archivePath, const std::wstring& listFile);

// Extracts the entries the list file names into folder, replacing files there.
std::wstring ExtractCommand(const std::wstring& archivePath, const std::wstring& listFile,
                            const std::wstring& folder);

// A list file as the archiver reads it under "-scul": UTF-16 with its byte-order
// mark, one name a line.
std::string ListFileBytes(const std::vector<std::wstring>& names);

// The archiver's documented exit codes the run tells apart, and their meaning.
inline constexpr std::uint32_t kArchiverSuccess = 0;
inline constexpr std::uint32_t kArchiverWarning = 1;
inline constexpr std::uint32_t kArchiverFatalError = 2;  // also: not an archive at all
inline constexpr std::uint32_t kArchiverDamagedArchive = 3;  // a checksum error
inline constexpr std::uint32_t kArchiverNoFilesToAdd = 10;
std::wstring DescribeArchiverExit(std::uint32_t exitCode);

}  // namespace quarn
