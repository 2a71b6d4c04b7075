#pragma once

#include <functional>
#include <string>
#include <vector>

#include "names/StagingNames.h"
#include "platform/Platform.h"

namespace quarn {

// Where versions before this one kept the names: beside the program.
inline constexpr wchar_t kEarlierNamesFile[] = L"QuarnBackup.names";

// The names belong to the archive: "<archive>.names" beside it, with its earlier
// generation "<archive>.names.bak".
std::wstring NamesFilePath(const std::wstring& archivePath);

// Reads and writes the archive's names file so that damage loses only what is
// damaged, and no name that the archive holds is ever given to another log.
class NamesFile {
public:
    NamesFile(Platform& platform, const std::wstring& archivePath, const std::wstring& programFolder);

    // Takes the names of the names file line by line. When it is missing, unreadable,
    // does not match its seal or has lines that must be dropped, the earlier generation
    // fills in. A names file left beside the program by an earlier version is taken
    // over. True when the names are known whole; otherwise every name the archive
    // holds must be held too before any name is given out.
    bool Load(StagingNames& names);

    // Writes the names when they changed or the file must be made anew; the file it
    // replaces becomes the earlier generation, or ".damaged" when lines were dropped.
    // Stops the run when the names cannot be kept.
    void Save(const StagingNames& names);
    // The same once the archive was written: a failure, never a stop, when they
    // cannot be kept (the archive holds the run's copies already).
    Status SaveRecords(const StagingNames& names);

    // What the run log should say about the names file; empty when all was well.
    const std::wstring& Note() const { return note_; }

private:
    // Takes the names file's own lines; true when it was read whole. missing: there is none.
    bool TakeOwnFile(StagingNames& names, bool archiveExists, bool& missing);
    Status Write(const StagingNames& names);
    void AddNote(const std::wstring& text);

    Platform& platform_;
    std::wstring archivePath_;
    std::wstring path_;
    std::wstring earlierPath_;
    bool earlierTaken_ = false;
    bool damaged_ = false;
    bool mustWrite_ = false;
    std::wstring note_;
};

}  // namespace quarn
