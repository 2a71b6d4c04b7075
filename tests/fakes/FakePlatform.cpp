#include "fakes/FakePlatform.h"

#include <algorithm>

#include "backup/LogListing.h"
#include "common/PathText.h"
#include "common/TextEncoding.h"

namespace quarn::testing {
namespace {

constexpr long kErrorFileNotFound = 2;
constexpr long kErrorPathNotFound = 3;
constexpr long kErrorAccessDenied = 5;
constexpr long kErrorMoreData = 234;

std::wstring LastComponent(const std::wstring& path) { return SplitAtBackslash(path).back(); }

// Ordered like the system's file times: later is larger.
std::uint64_t Ticks(const LocalTime& at) {
    return ((((at.year * 13ULL + at.month) * 32 + at.day) * 24 + at.hour) * 60 + at.minute) * 60 +
           at.second;
}

std::wstring Parent(const std::wstring& path) {
    const std::size_t separator = path.rfind(L'\\');
    std::wstring parent = path.substr(0, separator);
    return parent.size() == 2 && parent[1] == L':' ? parent + L"\\" : parent;
}

class FakeKey final : public RegistryKey {
public:
    FakeKey(FakePlatform& platform) : platform_(platform) { ++platform_.openKeys; }
    ~FakeKey() override { --platform_.openKeys; }

    long QueryValue(const std::wstring& name, std::uint32_t& type, std::uint8_t* data,
                    std::uint32_t& size) override {
        platform_.events.push_back(L"query " + name);
        const auto found = platform_.registry.find(name);
        if (found == platform_.registry.end()) return kErrorFileNotFound;
        type = found->second.type;
        const auto stored = static_cast<std::uint32_t>(found->second.data.size());
        if (data != nullptr && size < stored) {
            size = stored;
            return kErrorMoreData;
        }
        if (data != nullptr) std::copy(found->second.data.begin(), found->second.data.end(), data);
        size = stored;
        return 0;
    }

private:
    FakePlatform& platform_;
};

}  // namespace

FakePlatform::FakePlatform() { AddDirectory(L"C:\\"); }

void FakePlatform::SetRegistryText(const std::wstring& name, const std::wstring& text,
                                   std::uint32_t type) {
    std::vector<std::uint8_t> data;
    for (wchar_t c : text + L'\0') {
        data.push_back(static_cast<std::uint8_t>(c & 0xFF));
        data.push_back(static_cast<std::uint8_t>((c >> 8) & 0xFF));
    }
    SetRegistryRaw(name, type, data);
}

void FakePlatform::SetRegistryDword(const std::wstring& name, std::int32_t value) {
    const auto bits = static_cast<std::uint32_t>(value);
    SetRegistryRaw(name, 4, {static_cast<std::uint8_t>(bits), static_cast<std::uint8_t>(bits >> 8),
                             static_cast<std::uint8_t>(bits >> 16),
                             static_cast<std::uint8_t>(bits >> 24)});
}

void FakePlatform::SetRegistryRaw(const std::wstring& name, std::uint32_t type,
                                  std::vector<std::uint8_t> data) {
    registry[name] = {type, std::move(data)};
}

std::wstring FakePlatform::Key(const std::wstring& path) {
    std::wstring key = path;
    for (wchar_t& c : key) {
        if (c >= L'A' && c <= L'Z') c = c - L'A' + L'a';
    }
    return key;
}

std::wstring FakePlatform::Resolve(const std::wstring& given) const {
    // The \\?\ forms name the same files as the plain ones.
    std::wstring path = given;
    if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) {
        path = L"\\\\" + path.substr(8);
    } else if (path.rfind(L"\\\\?\\", 0) == 0) {
        path = path.substr(4);
    }
    const bool isDrive = path.size() >= 2 && path[1] == L':' && (path.size() == 2 || path[2] == L'\\');
    const bool isAbsolute = isDrive || path.rfind(L"\\\\", 0) == 0;
    const std::wstring absolute = isAbsolute ? path : currentDirectory + L"\\" + path;
    const bool isShare = absolute.rfind(L"\\\\", 0) == 0;

    std::vector<std::wstring> kept;
    const std::vector<std::wstring> parts = SplitAtBackslash(absolute);
    const std::size_t first = isShare ? 2 : 0;
    for (std::size_t i = first; i < parts.size(); ++i) {
        if (parts[i].empty() || parts[i] == L".") continue;
        if (parts[i] == L"..") {
            if (kept.size() > 1) kept.pop_back();
            continue;
        }
        kept.push_back(parts[i]);
    }
    std::wstring resolved = isShare ? L"\\\\" : L"";
    for (std::size_t i = 0; i < kept.size(); ++i) resolved += (i ? L"\\" : L"") + kept[i];
    if (kept.size() == (isShare ? 2u : 1u)) resolved += L"\\";  // roots keep their separator
    return resolved;
}

std::wstring FakePlatform::ParentKey(const std::wstring& path) const {
    return Key(Resolve(Parent(Resolve(path))));
}

void FakePlatform::AddDirectory(const std::wstring& path) {
    const std::wstring resolved = Resolve(path);
    const std::wstring parent = Resolve(Parent(resolved));
    if (parent != resolved) AddDirectory(parent);
    directories_[Key(resolved)] = resolved;
}

void FakePlatform::AddFile(const std::wstring& path, const std::wstring& content) {
    AddFileBytes(path, ToUtf8(content));
}

void FakePlatform::AddFileBytes(const std::wstring& path, const std::string& bytes) {
    const std::wstring resolved = Resolve(path);
    AddDirectory(Parent(resolved));
    files_[Key(resolved)] = {resolved, bytes};
}

bool FakePlatform::HasFile(const std::wstring& path) const { return files_.count(Key(Resolve(path))) > 0; }

bool FakePlatform::HasDirectory(const std::wstring& path) const {
    return directories_.count(Key(Resolve(path))) > 0;
}

std::string FakePlatform::FileBytes(const std::wstring& path) const {
    const auto found = files_.find(Key(Resolve(path)));
    return found == files_.end() ? "" : found->second.second;
}

std::wstring FakePlatform::FileContent(const std::wstring& path) const {
    return FromUtf8(FileBytes(path)).value_or(L"(not UTF-8)");
}

std::vector<std::wstring> FakePlatform::FilesIn(const std::wstring& folder) const {
    const std::wstring key = Key(Resolve(folder));
    std::vector<std::wstring> names;
    for (const auto& [fileKey, file] : files_) {
        if (ParentKey((file.first)) == key) names.push_back(LastComponent(file.first));
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::wstring> FakePlatform::FilesBelow(const std::wstring& folder) const {
    const std::wstring prefix = Key(Resolve(folder)) + L"\\";
    std::vector<std::wstring> paths;
    for (const auto& [fileKey, file] : files_) {
        if (fileKey.rfind(prefix, 0) == 0) paths.push_back(file.first);
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

std::unique_ptr<RegistryKey> FakePlatform::OpenCurrentUserKey(const std::wstring& subKey,
                                                              std::uint32_t access) {
    events.push_back(L"open " + subKey + L" " + std::to_wstring(access));
    if (!registryKeyExists) return nullptr;
    return std::make_unique<FakeKey>(*this);
}

std::wstring FakePlatform::ExpandEnvironment(const std::wstring& text) {
    std::wstring expanded = text;
    for (const auto& [name, value] : environment) {
        const std::wstring reference = L"%" + name + L"%";
        for (std::size_t at; (at = expanded.find(reference)) != std::wstring::npos;) {
            expanded.replace(at, reference.size(), value);
        }
    }
    return expanded;
}

std::optional<std::wstring> FakePlatform::EnvironmentVariable(const std::wstring& name) {
    const auto found = environment.find(name);
    if (found == environment.end()) return std::nullopt;
    return found->second;
}

void FakePlatform::PutEnvironmentVariable(const std::wstring& name,
                                          const std::optional<std::wstring>& value) {
    if (value) {
        environment[name] = *value;
    } else {
        environment.erase(name);
    }
}

std::wstring FakePlatform::ReadProfileText(const std::wstring& section, const std::wstring& key,
                                           std::size_t bufferChars, const std::wstring& filePath) {
    events.push_back(L"ini read " + section + L"." + key + L" " + filePath);
    for (const auto& line : profiles[Key(filePath)]) {
        if (Key(line[0]) == Key(section) && Key(line[1]) == Key(key)) {
            return line[2].substr(0, bufferChars - 1);
        }
    }
    return {};
}

bool FakePlatform::WriteProfileText(const std::wstring& section, const std::wstring& key,
                                    const std::wstring& value, const std::wstring& filePath) {
    events.push_back(L"ini write " + section + L"." + key + L"=" + value);
    auto& lines = profiles[Key(filePath)];
    for (auto& line : lines) {
        if (Key(line[0]) == Key(section) && Key(line[1]) == Key(key)) {
            line[2] = value;
            return true;
        }
    }
    lines.push_back({section, key, value});
    return true;
}

bool FakePlatform::ChangeDirectory(const std::wstring& path) {
    if (path.empty()) return false;
    const std::wstring resolved = Resolve(path);
    if (!directories_.count(Key(resolved))) return false;
    events.push_back(L"cd " + resolved);
    currentDirectory = resolved;
    return true;
}

bool FakePlatform::MakeDirectory(const std::wstring& path) {
    if (path.empty()) return false;
    const std::wstring resolved = Resolve(path);
    const std::wstring key = Key(resolved);
    if (directories_.count(key) || files_.count(key) || !directories_.count(ParentKey((resolved)))) {
        return false;
    }
    for (const std::wstring& refused : unmakeableDirectories) {
        if (Key(refused) == key) return false;
    }
    events.push_back(L"mkdir " + resolved);
    directories_[key] = resolved;
    return true;
}

bool FakePlatform::IsDirectory(const std::wstring& path) { return HasDirectory(path); }

std::wstring FakePlatform::FindFirstName(const std::wstring& pattern, bool includeDirectories) {
    if (pattern.empty() || pattern.back() == L'\\') return {};
    const std::wstring resolved = Resolve(pattern);
    if (files_.count(Key(resolved))) return LastComponent(files_[Key(resolved)].first);
    if (includeDirectories && directories_.count(Key(resolved)) && resolved.size() > 3) {
        return LastComponent(directories_[Key(resolved)]);
    }
    return {};
}

std::vector<FolderEntry> FakePlatform::FolderEntries(const std::wstring& folder) {
    const std::wstring key = Key(Resolve(folder));
    std::vector<FolderEntry> entries;
    for (const auto& [directoryKey, path] : directories_) {
        if (directoryKey != key && ParentKey(path) == key) entries.push_back({LastComponent(path), true, 0, {}});
    }
    for (const std::wstring& name : FilesIn(folder)) {
        const auto time = writeTimes.find(Resolve(JoinPath(folder, name)));
        const LocalTime at = time == writeTimes.end() ? now : time->second;
        entries.push_back({name, false, Ticks(at), at});
    }
    return entries;
}

std::wstring FakePlatform::FollowLinks(const std::wstring& path) const {
    std::wstring real = Resolve(path);
    for (const auto& [link, target] : links) {
        const std::wstring linkKey = Key(Resolve(link));
        const std::wstring key = Key(real);
        if (key == linkKey || key.rfind(linkKey + L"\\", 0) == 0) {
            real = Resolve(target) + real.substr(linkKey.size());
        }
    }
    return Resolve(real);
}

std::wstring FakePlatform::FinalPath(const std::wstring& path) {
    const std::wstring real = FollowLinks(path);
    if (!directories_.count(Key(real)) && !files_.count(Key(real))) return {};
    return L"\\\\?\\" + real;
}

std::optional<FileIdentity> FakePlatform::IdentityOf(const std::wstring& path) {
    const std::wstring key = Key(FollowLinks(path));
    if (!directories_.count(key) && !files_.count(key)) return std::nullopt;
    return FileIdentity{0x1234, std::hash<std::wstring>{}(key)};
}

CopyOutcome FakePlatform::CopyViaTemporary(const std::wstring& from, const std::wstring& temporary,
                                           const std::wstring& to) {
    events.push_back(L"copy " + from + L" -> " + to + L" via " + temporary);
    const auto source = files_.find(Key(Resolve(from)));
    if (source == files_.end()) return {kErrorFileNotFound, {}};
    const auto error = copyErrors.find(Resolve(from));
    if (error != copyErrors.end()) return {error->second, {}};
    if (!directories_.count(ParentKey(Resolve(to))) || !directories_.count(ParentKey(Resolve(temporary)))) {
        return {kErrorPathNotFound, {}};
    }
    files_[Key(Resolve(to))] = {Resolve(to), source->second.second};
    return {0, *StampOf(from)};
}

std::uint32_t FakePlatform::MoveFileOver(const std::wstring& from, const std::wstring& to) {
    const auto source = files_.find(Key(Resolve(from)));
    if (source == files_.end()) return kErrorFileNotFound;
    if (!directories_.count(ParentKey(Resolve(to))) || unwritableFiles.count(Resolve(to))) {
        return kErrorAccessDenied;
    }
    events.push_back(L"move " + Resolve(from) + L" -> " + Resolve(to));
    std::string bytes = std::move(source->second.second);
    files_.erase(source);
    files_[Key(Resolve(to))] = {Resolve(to), std::move(bytes)};
    return 0;
}

bool FakePlatform::RemoveFile(const std::wstring& path) {
    const std::wstring resolved = Resolve(path);
    if (undeletableFiles.count(resolved)) return false;
    if (files_.erase(Key(resolved))) events.push_back(L"remove " + resolved);
    return true;
}

std::optional<std::uint64_t> FakePlatform::FileSize(const std::wstring& path) {
    if (!HasFile(path)) return std::nullopt;
    return FileBytes(path).size();
}

std::optional<FileStamp> FakePlatform::StampOf(const std::wstring& path) {
    if (!HasFile(path)) return std::nullopt;
    const auto time = writeTimes.find(Resolve(path));
    return FileStamp{FileBytes(path).size(), Ticks(time == writeTimes.end() ? now : time->second)};
}

std::optional<std::string> FakePlatform::ReadFileBytes(const std::wstring& path) {
    if (!HasFile(path)) return std::nullopt;
    return FileBytes(path);
}

bool FakePlatform::WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    const std::wstring resolved = Resolve(path);
    if (!directories_.count(ParentKey(resolved)) || unwritableFiles.count(resolved)) return false;
    AddFileBytes(resolved, bytes);
    return true;
}

bool FakePlatform::AppendFileBytes(const std::wstring& path, const std::string& bytes) {
    const std::wstring resolved = Resolve(path);
    if (!directories_.count(ParentKey(resolved)) || unwritableFiles.count(resolved)) return false;
    AddFileBytes(resolved, FileBytes(resolved) + bytes);
    return true;
}

ProcessOutcome FakePlatform::RunProcess(const std::wstring& commandLine, WindowShow,
                                        const std::wstring& workingFolder,
                                        std::uint32_t timeoutMs) {
    events.push_back(L"run " + commandLine);
    started.push_back({commandLine, workingFolder, timeoutMs, environment});
    if (!onProcess) return {};
    return onProcess(commandLine);
}

namespace {

class FakeRunLock final : public RunLock {
public:
    explicit FakeRunLock(bool& held) : held_(held) { held_ = true; }
    ~FakeRunLock() override { held_ = false; }

private:
    bool& held_;
};

}  // namespace

LockAttempt FakePlatform::LockRun(const std::wstring& name) {
    lockNames.push_back(name);
    LockAttempt attempt;
    attempt.state = runLockHeldElsewhere ? LockAttempt::State::HeldElsewhere : LockAttempt::State::Held;
    if (!runLockHeldElsewhere) attempt.lock = std::make_unique<FakeRunLock>(runLockHeld);
    return attempt;
}

std::optional<std::uint64_t> FakePlatform::FreeBytes(const std::wstring& folder) {
    const auto found = freeBytes.find(Key(Resolve(folder).substr(0, 2)));
    if (found == freeBytes.end()) return std::nullopt;
    return found->second;
}

bool FakePlatform::ReportToEventLog(const std::wstring& source, EventKind kind,
                                    std::uint32_t eventId, const std::wstring& text) {
    if (!eventLogReachable) return false;
    eventLog.push_back({source, kind, eventId, text});
    return true;
}

namespace {

class FakeFileLock final : public RunLock {
public:
    FakeFileLock(std::set<std::wstring>& locked, std::wstring path)
        : locked_(locked), path_(std::move(path)) {
        locked_.insert(path_);
    }
    ~FakeFileLock() override { locked_.erase(path_); }

private:
    std::set<std::wstring>& locked_;
    std::wstring path_;
};

}  // namespace

LockAttempt FakePlatform::LockFile(const std::wstring& path) {
    const std::wstring resolved = Resolve(path);
    LockAttempt attempt;
    if (lockedElsewhere.count(resolved) || lockedFiles.count(resolved)) {
        attempt.state = LockAttempt::State::HeldElsewhere;
        attempt.error = 32;
        return attempt;
    }
    if (!WriteFileBytes(resolved, FileBytes(resolved))) {
        attempt.error = kErrorAccessDenied;
        return attempt;
    }
    attempt.state = LockAttempt::State::Held;
    attempt.lock = std::make_unique<FakeFileLock>(lockedFiles, resolved);
    return attempt;
}

void FakePlatform::ShowMessageBox(const std::wstring& text, const std::wstring& title) {
    events.push_back(L"box " + title + L": " + text);
    boxes.push_back({title, text});
}

namespace {

std::string Utf16Lines(const std::vector<std::wstring>& lines) {
    std::string bytes;
    for (const std::wstring& line : lines) {
        for (wchar_t c : line + L"\r\n") {
            bytes += static_cast<char>(c & 0xFF);
            bytes += static_cast<char>((c >> 8) & 0xFF);
        }
    }
    return bytes;
}

}  // namespace

std::function<ProcessOutcome(const std::wstring&)> ListingAndArchiver(
    FakePlatform& platform, std::vector<std::wstring> listed, std::uint32_t archiverExitCode) {
    return [&platform, listed, archiverExitCode](const std::wstring& commandLine) {
        ProcessOutcome outcome;
        outcome.started = true;
        if (commandLine == kListingCommand) {
            platform.AddFileBytes(L"filelist.tmp", Utf16Lines(listed));
            platform.AddFile(L"done.tmp", L"done \r\n");
            return outcome;
        }
        outcome.exitCode = archiverExitCode;
        const std::wstring workingFolder = platform.started.back().workingFolder;
        if (archiverExitCode != 0) return outcome;
        if (commandLine.find(L"rar lb ") != std::wstring::npos) {
            std::vector<std::wstring> names;
            for (const auto& [name, content] : platform.archive) names.push_back(name);
            platform.AddFileBytes(JoinPath(workingFolder, L"archivelist.tmp"), Utf16Lines(names));
            return outcome;
        }
        // -r -df: the archiver takes the staged copies away.
        for (const std::wstring& path : platform.FilesBelow(workingFolder)) {
            const std::size_t dot = path.rfind(L'.');
            const std::wstring extension = dot == std::wstring::npos ? L"" : path.substr(dot);
            if (extension == L".bkl" || extension == L".bks") {
                platform.archive[path.substr(path.rfind(L'\\') + 1)] = platform.FileContent(path);
                platform.RemoveFile(path);
            }
        }
        const std::size_t quote = commandLine.find(L'"');
        platform.AddFile(commandLine.substr(quote + 1, commandLine.find(L'"', quote + 1) - quote - 1),
                         L"archive");
        return outcome;
    };
}

}  // namespace quarn::testing
