#include "names/NameRecovery.h"

#include <algorithm>
#include <set>

#include "common/Counted.h"

namespace quarn {
namespace {

// Names a note spells out; the rest are counted.
constexpr std::size_t kNamesTold = 10;

struct Match {
    std::size_t log;
    std::size_t name;
    std::uint64_t length;
};

// Every entry held under a name a log could have had whose content is that log's
// beginning, longest first.
std::vector<Match> Matches(Platform& platform, const StagingNames& names, const std::vector<UnnamedLog>& logs,
                           const std::function<const ArchiveEntry*(const std::wstring& name)>& heldBefore) {
    std::vector<Match> matches;
    for (std::size_t log = 0; log < logs.size(); ++log) {
        for (const std::size_t name : names.UnownedNamesOf(logs[log].flattenedName)) {
            const ArchiveEntry* held = heldBefore(names.Entry(name).name);
            // An empty entry is the beginning of every log: it proves nothing.
            if (held == nullptr || held->size == 0 || !held->crc32) continue;
            const Result<ContentCheck> check = platform.CheckContent(logs[log].source, held->size);
            if (check && check->prefixCrc == held->crc32) matches.push_back({log, name, held->size});
        }
    }
    std::stable_sort(matches.begin(), matches.end(),
                     [](const Match& a, const Match& b) { return a.length > b.length; });
    return matches;
}

void Tell(std::wstring& note, const std::vector<std::wstring>& told, std::size_t shared) {
    const auto add = [&note](const std::wstring& text) { note += (note.empty() ? L"" : L" ") + text; };
    if (!told.empty()) {
        std::wstring list;
        for (std::size_t i = 0; i < told.size() && i < kNamesTold; ++i) list += (i > 0 ? L"; " : L"") + told[i];
        if (told.size() > kNamesTold) list += L"; and " + std::to_wstring(told.size() - kNamesTold) + L" more";
        add(Counted(told.size(), L"log took back its entry", L"logs took back their entries") +
            L", each the beginning of its log: " + list + L".");
    }
    if (shared > 0) {
        add(Counted(shared, L"entry is", L"entries are") +
            L" the beginning of more than one log and stay in the archive under their names; those "
            L"logs got new names.");
    }
}

}  // namespace

std::vector<std::optional<std::size_t>> TakeBackEntries(
    Platform& platform, StagingNames& names, const std::vector<UnnamedLog>& logs,
    const std::function<const ArchiveEntry*(const std::wstring& name)>& heldBefore,
    std::wstring& note) {
    const std::vector<Match> matches = Matches(platform, names, logs, heldBefore);
    std::vector<std::optional<std::size_t>> taken(logs.size());
    std::set<std::size_t> settled;  // names given or left held
    std::vector<std::wstring> told;
    std::size_t shared = 0;
    for (const Match& match : matches) {
        if (taken[match.log] || settled.count(match.name) > 0) continue;
        // Logs that took a longer entry of their own no longer count as matching.
        const auto open = std::count_if(matches.begin(), matches.end(), [&](const Match& other) {
            return other.name == match.name && !taken[other.log];
        });
        settled.insert(match.name);
        if (open > 1) {
            ++shared;
            continue;
        }
        taken[match.log] = match.name;
        names.GiveTo(match.name, logs[match.log].source);
        told.push_back(names.Entry(match.name).name + L" for " + logs[match.log].source + L" (its first " +
                       std::to_wstring(match.length) + L" bytes)");
    }
    Tell(note, told, shared);
    return taken;
}

}  // namespace quarn
