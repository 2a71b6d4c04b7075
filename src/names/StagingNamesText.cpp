// The names list's text, read into the index of names and written from it.
#include "names/StagingNames.h"

#include "common/TextEncoding.h"
#include "common/TextLines.h"

namespace quarn {

NamesRead StagingNames::Add(const std::string& bytes) {
    const bool utf16 = bytes.compare(0, 2, kUtf16LeByteOrderMark) == 0;
    const std::string text = utf16 ? ToUtf8(FromUtf16Le(bytes)) : std::string();
    const std::string& lines = utf16 ? text : bytes;

    NamesRead read;
    std::optional<ListSeal> expected;
    ListSeal found;
    std::size_t number = 0;
    EachLine(WithoutUtf8ByteOrderMark(lines), [&](std::string_view line) {
        ++number;
        if (number == 1 && line.rfind(kArchiveRecordMark, 0) == 0) {
            const std::optional<NamesListLine> parsed = ParseNamesListLine(line);
            if (parsed) expected = std::get<ArchiveRecord>(*parsed).seal;
        } else {
            Seal(found, line);
        }
        if (!line.empty() && !AddLine(line, number == 1)) read.refused.push_back(number);
    });
    read.sealed = expected && *expected == found;
    if (utf16) changed_ = true;  // written back as UTF-8
    return read;
}

bool StagingNames::AddLine(std::string_view text, bool first) {
    std::optional<NamesListLine> line = ParseNamesListLine(text);
    if (!line) return false;
    if (auto* record = std::get_if<ArchiveRecord>(&*line)) {
        // Only the first line speaks for the list; one found elsewhere is dropped.
        if (!first || archive_) return false;
        archive_ = std::move(*record);
        return true;
    }
    if (auto* fullRun = std::get_if<FullRunLine>(&*line)) {
        if (LastFullRun(fullRun->dataDir)) return false;
        fullRuns_.push_back(std::move(*fullRun));
        return true;
    }
    NameLine& name = std::get<NameLine>(*line);
    const bool isLog = !name.source.empty() && !name.keptDay;
    const std::wstring foldedName = platform_.FoldCase(name.name);
    const std::wstring foldedSource = isLog ? platform_.FoldCase(name.source) : std::wstring();
    if (Find(byName_, ToUtf8(name.name), foldedName, &Utf8Entry::name) ||
        (isLog && Find(bySource_, ToUtf8(name.source), foldedSource, &Utf8Entry::source))) {
        return false;
    }
    const bool changed = changed_;
    Insert({ToUtf8(name.name), ToUtf8(name.source), name.record, name.keptDay, name.missingSince},
           foldedName, foldedSource);
    changed_ = changed;  // taken as it was read
    return true;
}

std::string StagingNames::Saved() const {
    std::string rest;
    std::size_t size = 0;
    for (const Utf8Entry& entry : entries_) size += entry.name.size() + entry.source.size() + 56;
    rest.reserve(size);
    ListSeal seal;
    const auto add = [&](const std::string& line) {
        Seal(seal, line);
        rest += line;
        rest += "\r\n";
    };
    for (const FullRunLine& line : fullRuns_) add(FullRunLineText(line));
    for (const Utf8Entry& entry : entries_) {
        add(NameLineText(entry.name, entry.source, entry.record, entry.keptDay, entry.missingSince));
    }
    ArchiveRecord archive = archive_.value_or(ArchiveRecord{});
    archive.seal = seal;
    // A list without a record of the archive has nothing to seal it with: the next
    // run reads it as one it cannot trust whole, which it is not.
    const std::string first = archive_ ? ArchiveRecordLine(archive) + "\r\n" : "";
    return kUtf8ByteOrderMark + first + rest;
}

}  // namespace quarn
