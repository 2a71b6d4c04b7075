#include "archive/ArchiveContents.h"

#include "common/RunStopped.h"

namespace quarn {

EntriesByName ByFoldedName(Platform& platform, std::vector<ArchiveEntry> entries) {
    EntriesByName byName;
    for (ArchiveEntry& entry : entries) {
        std::wstring folded = platform.FoldCase(entry.name);
        byName.emplace(std::move(folded), std::move(entry));
    }
    return byName;
}

const ArchiveEntry* HeldUnder(Platform& platform, const EntriesByName& entries, const std::wstring& name) {
    const std::wstring folded = platform.FoldCase(name);
    const auto found = entries.lower_bound(folded);
    return found == entries.end() || found->first != folded ? nullptr : &found->second;
}

std::optional<std::wstring> VisitArchiveEntries(Platform& platform, const std::wstring& archivePath,
                                                const std::wstring& consequence, const EntryVisitor& onEntry) {
    const auto stop = [&](const std::wstring& reason) {
        throw RunStopped(ExitCode::ArchiverFailed, L"The archive " + archivePath +
                                                       L" cannot be read: " + reason + L" " +
                                                       consequence);
    };
    Result<std::unique_ptr<ReadableFile>> file = platform.OpenForReading(archivePath);
    if (!file) {
        if (win32::IsNotFound(file.Error())) return std::nullopt;
        stop(platform.ErrorText(file.Error()));
    }
    const Result<ArchiveReading> reading = ReadArchive(**file, onEntry);
    if (!reading) stop(platform.ErrorText(reading.Error()));
    switch (reading->verdict) {
        case ArchiveReading::Verdict::Whole: return std::nullopt;
        case ArchiveReading::Verdict::Damaged: return L"it " + reading->reason;
        case ArchiveReading::Verdict::Unreadable: stop(L"it " + reading->reason + L".");
    }
    return std::nullopt;
}

ArchiveContents ArchiveContentsOf(Platform& platform, const std::wstring& archivePath,
                                  const std::wstring& consequence) {
    ArchiveContents contents;
    contents.damage = VisitArchiveEntries(platform, archivePath, consequence, [&contents](ArchiveEntry&& entry) {
        contents.entries.push_back(std::move(entry));
    });
    return contents;
}

}  // namespace quarn
