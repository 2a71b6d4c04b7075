#include "names/NamesFile.h"

#include <optional>

#include "common/PathText.h"
#include "common/RunStopped.h"

namespace quarn {
namespace {

constexpr std::size_t kLinesNamed = 10;

std::wstring LineNumbers(const std::vector<std::size_t>& numbers) {
    std::wstring text = numbers.size() == 1 ? L"line " : L"lines ";
    for (std::size_t i = 0; i < numbers.size() && i < kLinesNamed; ++i) {
        text += (i ? L", " : L"") + std::to_wstring(numbers[i]);
    }
    if (numbers.size() > kLinesNamed) {
        text += L" and " + std::to_wstring(numbers.size() - kLinesNamed) + L" more";
    }
    return text;
}

}  // namespace

std::wstring NamesFilePath(const std::wstring& archivePath) { return archivePath + L".names"; }

NamesFile::NamesFile(Platform& platform, const std::wstring& archivePath,
                     const std::wstring& programFolder)
    : platform_(platform),
      archivePath_(archivePath),
      path_(NamesFilePath(archivePath)),
      earlierPath_(JoinPath(programFolder, kEarlierNamesFile)) {}

void NamesFile::AddNote(const std::wstring& text) { note_ += (note_.empty() ? L"" : L" ") + text; }

bool NamesFile::TakeOwnFile(StagingNames& names, bool archiveExists, bool& missing) {
    const Result<std::string> bytes = platform_.ReadFileBytes(path_);
    missing = !bytes && win32::IsNotFound(bytes.Error());
    if (!bytes) {
        damaged_ = !missing;
        if (damaged_) {
            AddNote(L"The list of archive names " + path_ + L" could not be read: " +
                    platform_.ErrorText(bytes.Error()));
        }
        return false;
    }
    const NamesRead read = names.Add(*bytes);
    // Sealed by its first line when it was written: a list cut short, or put together
    // from pieces, no longer matches its seal. Before the archive exists there is
    // nothing that a missing line could name.
    const bool whole = read.refused.empty() && (read.sealed || !archiveExists);
    const bool unsealed = names.Archive() && !names.Archive()->seal;  // of an earlier version
    damaged_ = !whole && !unsealed;
    if (!read.refused.empty()) {
        AddNote(L"The unfit " + LineNumbers(read.refused) + L" of the list of archive names " +
                path_ + (read.refused.size() == 1 ? L" was" : L" were") +
                L" dropped (the file is kept as " + path_ + L".damaged).");
    } else if (damaged_) {
        AddNote(L"The list of archive names " + path_ + L" does not match its first line: it "
                L"was cut short or changed (the file is kept as " + path_ + L".damaged).");
    }
    return whole;
}

bool NamesFile::Load(StagingNames& names) {
    const bool archiveExists = platform_.StampOf(archivePath_).Ok();
    bool missing = false;
    bool whole = TakeOwnFile(names, archiveExists, missing);
    // What the earlier generations hold adds to the names; one that cannot be read adds nothing.
    const Result<std::string> generation =
        whole ? Result<std::string>(Failed{win32::kFileNotFound})
              : platform_.ReadFileBytes(path_ + L".bak");
    const Result<std::string> earlier = platform_.ReadFileBytes(earlierPath_);
    if (missing && (generation || (!earlier && archiveExists))) {
        AddNote(L"The list of archive names " + path_ + L" was missing.");
    }
    if (generation) {
        names.Add(*generation);
        AddNote(L"The names of its earlier generation " + path_ + L".bak were taken.");
    }
    if (earlier) {
        // A list of an earlier version has no seal: whether it is whole cannot be told.
        const NamesRead read = names.Add(*earlier);
        whole = whole && !archiveExists;
        earlierTaken_ = true;
        std::wstring moved = L"The names kept beside the program in " + earlierPath_ +
                             L" were moved to " + path_;
        if (!read.refused.empty()) {
            moved += L"; its unfit or repeated " + LineNumbers(read.refused) +
                     (read.refused.size() == 1 ? L" was" : L" were") + L" dropped";
        }
        AddNote(moved + L".");
    }
    mustWrite_ = !whole || earlierTaken_;
    return whole;
}

Status NamesFile::Write(const StagingNames& names) {
    const std::wstring newFile = path_ + L".new";
    Status written = platform_.WriteFileBytes(newFile, names.Saved());
    if (written && platform_.StampOf(path_)) {
        // Without an earlier generation the run still goes on.
        static_cast<void>(platform_.MoveFileOver(path_, path_ + (damaged_ ? L".damaged" : L".bak")));
    }
    if (written) written = platform_.MoveFileOver(newFile, path_);
    if (!written) {
        static_cast<void>(platform_.RemoveFile(newFile));  // the next write replaces it anyway
        return written;
    }
    damaged_ = false;  // the damaged file is kept once; later writes leave generations
    // The names it held are in the list now; a copy left behind is taken again, harmlessly.
    if (earlierTaken_) static_cast<void>(platform_.RemoveFile(earlierPath_));
    earlierTaken_ = false;
    mustWrite_ = false;
    return written;
}

void NamesFile::Save(const StagingNames& names) {
    if (!names.Changed() && !mustWrite_) return;
    if (const Status written = Write(names); !written) {
        throw RunStopped(ExitCode::BackupDirUnusable,
                         L"The list of archive names " + path_ + L" cannot be written: " +
                             platform_.ErrorText(written.Error()) + L" Nothing was backed up.");
    }
}

Status NamesFile::SaveRecords(const StagingNames& names) { return Write(names); }

}  // namespace quarn
