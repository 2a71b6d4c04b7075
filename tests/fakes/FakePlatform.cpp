#include "fakes/FakePlatform.h"

#include <algorithm>

#include "common/Crc32.h"
#include "common/PathText.h"
#include "common/TextEncoding.h"
#include "fakes/Rar5Writer.h"
#include "staging/LogListing.h"

namespace quarn::testing {
namespace {

constexpr std::uint32_t kErrorFileNotFound = win32::kFileNotFound;
constexpr std::uint32_t kErrorPathNotFound = win32::kPathNotFound;
constexpr std::uint32_t kErrorAccessDenied = win32::kAccessDenied;
constexpr std::uint32_t kErrorAlreadyExists = 183;

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

    Result<Value> QueryValue(const std::wstring& name) override {
        platform_.events.push_back(L"query " + name);
        if (const std::uint32_t error = platform_.Fails(L"QueryValue", name)) return Failed{error};
        const auto found = platform_.registry.find(name);
        if (found == platform_.registry.end()) return Failed{kErrorFileNotFound};
        return Value{found->second.type, found->second.data};
    }

private:
    FakePlatform& platform_;
};

}  // namespace

ContentCheck Checked(const std::string& bytes, std::optional<std::uint64_t> prefixLength) {
    ContentCheck check{bytes.size(), Crc32(0, bytes.data(), bytes.size()), std::nullopt};
    if (prefixLength && *prefixLength <= bytes.size()) {
        check.prefixCrc = Crc32(0, bytes.data(), static_cast<std::size_t>(*prefixLength));
    }
    return check;
}

FakePlatform::FakePlatform() {
    AddDirectory(L"C:\\");
    // The archiver where its installer puts it, found on PATH.
    AddFile(L"C:\\Program Files\\WinRAR\\rar.exe", L"");
    environment[L"PATH"] = L"C:\\Windows\\system32;C:\\Program Files\\WinRAR";
}

Result<std::wstring> FakePlatform::ComputerName() {
    if (const std::uint32_t error = Fails(L"ComputerName", L"")) return Failed{error};
    return computerName;
}

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

std::uint32_t FakePlatform::Fails(const std::wstring& call, const std::wstring& argument) {
    return failCall ? failCall(call, argument) : 0;
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
    // The program has no current folder: a relative path names no file at all.
    const std::wstring absolute = isAbsolute ? path : L"?:\\relative\\" + path;
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
    changed_[Key(resolved)] = ++changeClock_;
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

Result<std::unique_ptr<RegistryKey>> FakePlatform::OpenCurrentUserKey(const std::wstring& subKey,
                                                                      std::uint32_t access) {
    events.push_back(L"open " + subKey + L" " + std::to_wstring(access));
    if (!registryKeyExists) return Failed{kErrorFileNotFound};
    if (const std::uint32_t error = Fails(L"OpenCurrentUserKey", subKey)) return Failed{error};
    return std::unique_ptr<RegistryKey>(std::make_unique<FakeKey>(*this));
}

Result<std::wstring> FakePlatform::ExpandEnvironment(const std::wstring& text) {
    if (const std::uint32_t error = Fails(L"ExpandEnvironment", text)) return Failed{error};
    std::wstring expanded = text;
    for (const auto& [name, value] : environment) {
        const std::wstring reference = L"%" + name + L"%";
        for (std::size_t at; (at = expanded.find(reference)) != std::wstring::npos;) {
            expanded.replace(at, reference.size(), value);
        }
    }
    return expanded;
}

Result<std::wstring> FakePlatform::EnvironmentVariable(const std::wstring& name) {
    if (const std::uint32_t error = Fails(L"EnvironmentVariable", name)) return Failed{error};
    const auto found = environment.find(name);
    if (found == environment.end()) return Failed{win32::kEnvironmentVariableNotFound};
    return found->second;
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

Status FakePlatform::WriteProfileText(const std::wstring& section, const std::wstring& key,
                                      const std::wstring& value, const std::wstring& filePath) {
    events.push_back(L"ini write " + section + L"." + key + L"=" + value);
    if (const std::uint32_t error = Fails(L"WriteProfileText", filePath)) return Failed{error};
    auto& lines = profiles[Key(filePath)];
    for (auto& line : lines) {
        if (Key(line[0]) == Key(section) && Key(line[1]) == Key(key)) {
            line[2] = value;
            return {};
        }
    }
    lines.push_back({section, key, value});
    return {};
}

Result<std::wstring> FakePlatform::ProgramFolder() {
    if (const std::uint32_t error = Fails(L"ProgramFolder", L"")) return Failed{error};
    return programFolder;
}

Status FakePlatform::MakeDirectory(const std::wstring& path) {
    const std::wstring resolved = Resolve(path);
    const std::wstring key = Key(resolved);
    if (directories_.count(key) || files_.count(key)) return Failed{kErrorAlreadyExists};
    if (!directories_.count(ParentKey((resolved)))) return Failed{kErrorPathNotFound};
    for (const std::wstring& refused : unmakeableDirectories) {
        if (Key(refused) == key) return Failed{kErrorAccessDenied};
    }
    if (const std::uint32_t error = Fails(L"MakeDirectory", resolved)) return Failed{error};
    events.push_back(L"mkdir " + resolved);
    directories_[key] = resolved;
    return {};
}

Result<bool> FakePlatform::IsDirectory(const std::wstring& path) {
    if (const std::uint32_t error = Fails(L"IsDirectory", Resolve(path))) return Failed{error};
    return HasDirectory(path);
}

Result<std::wstring> FakePlatform::FullPath(const std::wstring& path) {
    if (const std::uint32_t error = Fails(L"FullPath", path)) return Failed{error};
    return Resolve(path);
}

Result<std::wstring> FakePlatform::FindFirstName(const std::wstring& pattern,
                                                 bool includeDirectories) {
    const std::wstring resolved = Resolve(pattern);
    if (const std::uint32_t error = Fails(L"FindFirstName", resolved)) return Failed{error};
    if (files_.count(Key(resolved))) return LastComponent(files_[Key(resolved)].first);
    if (includeDirectories && directories_.count(Key(resolved)) && resolved.size() > 3) {
        return LastComponent(directories_[Key(resolved)]);
    }
    return Failed{kErrorFileNotFound};
}

Result<std::vector<FolderEntry>> FakePlatform::FolderEntries(const std::wstring& folder) {
    const std::wstring key = Key(Resolve(folder));
    if (const std::uint32_t error = Fails(L"FolderEntries", Resolve(folder))) return Failed{error};
    if (!directories_.count(key)) return Failed{kErrorPathNotFound};
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

Result<std::wstring> FakePlatform::FinalPath(const std::wstring& path) {
    if (const std::uint32_t error = Fails(L"FinalPath", Resolve(path))) return Failed{error};
    const std::wstring real = FollowLinks(path);
    if (!directories_.count(Key(real)) && !files_.count(Key(real))) return Failed{kErrorFileNotFound};
    return L"\\\\?\\" + real;
}

Result<FileIdentity> FakePlatform::IdentityOf(const std::wstring& path) {
    if (const std::uint32_t error = Fails(L"IdentityOf", Resolve(path))) return Failed{error};
    const std::wstring key = Key(FollowLinks(path));
    if (!directories_.count(key) && !files_.count(key)) return Failed{kErrorFileNotFound};
    return FileIdentity{0x1234, std::hash<std::wstring>{}(key)};
}

Result<ContentCheck> FakePlatform::CheckContent(const std::wstring& path,
                                                std::optional<std::uint64_t> prefixLength) {
    if (const std::uint32_t error = Fails(L"CheckContent", Resolve(path))) return Failed{error};
    if (!HasFile(path)) return Failed{kErrorFileNotFound};
    return Checked(FileBytes(path), prefixLength);
}

Result<CopiedFile> FakePlatform::CopyViaTemporary(const std::wstring& from,
                                                  const std::wstring& temporary,
                                                  const std::wstring& to,
                                                  std::optional<std::uint64_t> prefixLength) {
    events.push_back(L"copy " + from + L" -> " + to + L" via " + temporary);
    const auto source = files_.find(Key(Resolve(from)));
    if (source == files_.end()) return Failed{kErrorFileNotFound};
    const auto error = copyErrors.find(Resolve(from));
    if (error != copyErrors.end()) return Failed{error->second};
    if (const std::uint32_t failed = Fails(L"CopyViaTemporary", Resolve(from))) return Failed{failed};
    if (!directories_.count(ParentKey(Resolve(to))) || !directories_.count(ParentKey(Resolve(temporary)))) {
        return Failed{kErrorPathNotFound};
    }
    const Result<FileStamp> stamp = StampOf(from);
    if (!stamp) return Failed{stamp.Error()};
    files_[Key(Resolve(to))] = {Resolve(to), source->second.second};
    changed_[Key(Resolve(to))] = ++changeClock_;
    return CopiedFile{*stamp, Checked(source->second.second, prefixLength)};
}

Status FakePlatform::MoveFileOver(const std::wstring& from, const std::wstring& to) {
    const auto source = files_.find(Key(Resolve(from)));
    if (source == files_.end()) return Failed{kErrorFileNotFound};
    if (!directories_.count(ParentKey(Resolve(to))) || unwritableFiles.count(Resolve(to))) {
        return Failed{kErrorAccessDenied};
    }
    if (const std::uint32_t error = Fails(L"MoveFileOver", Resolve(to))) return Failed{error};
    events.push_back(L"move " + Resolve(from) + L" -> " + Resolve(to));
    std::string bytes = std::move(source->second.second);
    files_.erase(source);
    files_[Key(Resolve(to))] = {Resolve(to), std::move(bytes)};
    changed_[Key(Resolve(to))] = ++changeClock_;
    return {};
}

Status FakePlatform::RemoveFile(const std::wstring& path) {
    const std::wstring resolved = Resolve(path);
    if (undeletableFiles.count(resolved)) return Failed{kErrorAccessDenied};
    if (const std::uint32_t error = Fails(L"RemoveFile", resolved)) return Failed{error};
    if (files_.erase(Key(resolved))) events.push_back(L"remove " + resolved);
    return {};
}

Result<FileStamp> FakePlatform::StampOf(const std::wstring& path) {
    if (const std::uint32_t error = Fails(L"StampOf", Resolve(path))) return Failed{error};
    if (HasDirectory(path)) return Failed{kErrorAccessDenied};
    if (!HasFile(path)) return Failed{kErrorFileNotFound};
    const auto time = writeTimes.find(Resolve(path));
    return FileStamp{FileBytes(path).size(), Ticks(time == writeTimes.end() ? now : time->second),
                     changed_[Key(Resolve(path))]};
}

Result<std::string> FakePlatform::ReadFileBytes(const std::wstring& path) {
    if (const std::uint32_t error = Fails(L"ReadFileBytes", Resolve(path))) return Failed{error};
    if (!HasFile(path)) return Failed{kErrorFileNotFound};
    return FileBytes(path);
}

namespace {

// The bytes as they were when it was opened; a read fails when failCall names
// "ReadAt" and the file's path.
class FakeReadableFile final : public ReadableFile {
public:
    FakeReadableFile(FakePlatform& platform, std::wstring path, std::string bytes)
        : platform_(platform), path_(std::move(path)), bytes_(std::move(bytes)) {}
    Result<std::uint64_t> Size() override { return std::uint64_t{bytes_.size()}; }
    Result<std::size_t> ReadAt(std::uint64_t offset, std::uint8_t* buffer,
                               std::size_t count) override {
        if (const std::uint32_t error = platform_.Fails(L"ReadAt", path_)) return Failed{error};
        if (offset >= bytes_.size()) return std::size_t{0};
        const std::size_t n = std::min<std::size_t>(count, bytes_.size() - offset);
        std::copy_n(bytes_.data() + offset, n, buffer);
        return n;
    }

private:
    FakePlatform& platform_;
    std::wstring path_;
    std::string bytes_;
};

}  // namespace

Result<std::unique_ptr<ReadableFile>> FakePlatform::OpenForReading(const std::wstring& path) {
    const std::wstring resolved = Resolve(path);
    if (const std::uint32_t error = Fails(L"OpenForReading", resolved)) return Failed{error};
    if (!HasFile(resolved)) return Failed{kErrorFileNotFound};
    return std::unique_ptr<ReadableFile>(
        std::make_unique<FakeReadableFile>(*this, resolved, FileBytes(resolved)));
}

Status FakePlatform::WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    const std::wstring resolved = Resolve(path);
    if (!directories_.count(ParentKey(resolved))) return Failed{kErrorPathNotFound};
    if (unwritableFiles.count(resolved)) return Failed{kErrorAccessDenied};
    if (const std::uint32_t error = Fails(L"WriteFileBytes", resolved)) return Failed{error};
    AddFileBytes(resolved, bytes);
    return {};
}

Status FakePlatform::AppendFileBytes(const std::wstring& path, const std::string& bytes) {
    const std::wstring resolved = Resolve(path);
    if (!directories_.count(ParentKey(resolved))) return Failed{kErrorPathNotFound};
    if (unwritableFiles.count(resolved)) return Failed{kErrorAccessDenied};
    if (const std::uint32_t error = Fails(L"AppendFileBytes", resolved)) return Failed{error};
    AddFileBytes(resolved, FileBytes(resolved) + bytes);
    return {};
}

Result<ProcessEnd> FakePlatform::RunProcess(const std::wstring& commandLine, WindowShow,
                                            const std::wstring& workingFolder,
                                            const std::vector<ChildVariable>& variables,
                                            const std::wstring& outputFile, std::uint32_t timeoutMs) {
    events.push_back(L"run " + commandLine);
    std::map<std::wstring, std::wstring> inherited = environment;
    for (const ChildVariable& variable : variables) {
        if (variable.value) {
            inherited[variable.name] = *variable.value;
        } else {
            inherited.erase(variable.name);
        }
    }
    started.push_back({commandLine, workingFolder, timeoutMs, inherited, outputFile});
    if (const std::uint32_t error = Fails(L"RunProcess", commandLine)) return Failed{error};
    if (!onProcess) return ProcessEnd{};
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

Result<std::unique_ptr<RunLock>> FakePlatform::LockRun(const std::wstring& name) {
    lockNames.push_back(name);
    if (runLockHeldElsewhere) return Failed{win32::kBusy};
    if (const std::uint32_t error = Fails(L"LockRun", name)) return Failed{error};
    return std::unique_ptr<RunLock>(std::make_unique<FakeRunLock>(runLockHeld));
}

Result<std::uint64_t> FakePlatform::FreeBytes(const std::wstring& folder) {
    if (const std::uint32_t error = Fails(L"FreeBytes", Resolve(folder))) return Failed{error};
    const auto found = freeBytes.find(Key(Resolve(folder).substr(0, 2)));
    if (found == freeBytes.end()) return std::uint64_t{1} << 40;  // plenty
    return found->second;
}

Status FakePlatform::ReportToEventLog(const std::wstring& source, EventKind kind,
                                      std::uint32_t eventId, const std::wstring& text) {
    if (!eventLogReachable) return Failed{1722};  // the RPC server is unavailable
    eventLog.push_back({source, kind, eventId, text});
    return {};
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

Result<std::unique_ptr<RunLock>> FakePlatform::LockFile(const std::wstring& path) {
    const std::wstring resolved = Resolve(path);
    if (lockedElsewhere.count(resolved) || lockedFiles.count(resolved)) {
        return Failed{win32::kSharingViolation};
    }
    if (const Status written = WriteFileBytes(resolved, FileBytes(resolved)); !written) {
        return Failed{written.Error()};
    }
    return std::unique_ptr<RunLock>(std::make_unique<FakeFileLock>(lockedFiles, resolved));
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

namespace {

// The quoted arguments of a command line, in order.
std::vector<std::wstring> QuotedArguments(const std::wstring& commandLine) {
    std::vector<std::wstring> quoted;
    for (std::size_t open = commandLine.find(L'"'); open != std::wstring::npos;) {
        const std::size_t close = commandLine.find(L'"', open + 1);
        quoted.push_back(commandLine.substr(open + 1, close - open - 1));
        open = close == std::wstring::npos ? close : commandLine.find(L'"', close + 1);
    }
    return quoted;
}

// The names of a list file as the archiver reads it under -scul.
std::vector<std::wstring> ListFileNames(const std::string& bytes) {
    std::vector<std::wstring> names;
    const std::wstring text = FromUtf16Le(bytes);
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) end = text.size();
        std::wstring line = text.substr(start, end - start);
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        if (!line.empty()) names.push_back(line);
        start = end + 1;
    }
    return names;
}

}  // namespace

std::function<Result<ProcessEnd>(const std::wstring&)> ListingAndArchiver(
    FakePlatform& platform, std::vector<std::wstring> listed, std::uint32_t archiverExitCode) {
    return [&platform, listed, archiverExitCode](const std::wstring& commandLine) {
        ProcessEnd end;
        const std::wstring workingFolder = platform.started.back().workingFolder;
        if (commandLine == ListingCommand(platform.systemFolder)) {
            platform.AddFileBytes(JoinPath(workingFolder, L"filelist.tmp"), Utf16Lines(listed));
            platform.AddFile(JoinPath(workingFolder, L"done.tmp"), L"done \r\n");
            return Result<ProcessEnd>(end);
        }
        // The archiver's own path, quoted, then its command.
        const std::vector<std::wstring> quoted = QuotedArguments(commandLine);
        const std::size_t afterProgram = commandLine.find(L'"', 1) + 2;
        const std::wstring command =
            afterProgram > commandLine.size()
                ? L""
                : commandLine.substr(afterProgram, commandLine.find(L' ', afterProgram) - afterProgram);
        const std::wstring archive = quoted.size() > 1 ? quoted[1] : L"";
        const auto exit = platform.archiverExits.find(command);
        end.exitCode = exit != platform.archiverExits.end() ? exit->second
                       : command == L"a"                    ? archiverExitCode
                                                            : 0;
        if (command.empty()) {  // its banner
            platform.AddFile(platform.started.back().outputFile,
                             L"\r\nRAR " + platform.archiverVersion +
                                 L"   Copyright (c) 1993-2024 Alexander Roshal   12 May 2024\r\n");
            return Result<ProcessEnd>(end);
        }
        if (end.exitCode != 0 || command == L"t") return Result<ProcessEnd>(end);
        // What it holds is the archive file's: a file that is gone, or was set aside,
        // leaves a new archive to "a" and nothing to rename.
        if (!platform.HasFile(archive)) {
            platform.archive.clear();
            if (command != L"a") {
                end.exitCode = 10;
                return Result<ProcessEnd>(end);
            }
        }
        const std::vector<std::wstring> names =
            quoted.size() > 2 && !quoted[2].empty() && quoted[2][0] == L'@'
                ? ListFileNames(platform.FileBytes(quoted[2].substr(1)))
                : std::vector<std::wstring>{};
        if (command == L"e") {
            // From the archive file itself, which may be one set aside: what is intact comes
            // out, and a damaged one ends with a checksum error.
            const StoredEntries stored = Rar5StoredEntries(platform.FileBytes(archive));
            for (const std::wstring& name : names) {
                for (const auto& [entry, bytes] : stored.entries) {
                    if (entry == name) platform.AddFileBytes(JoinPath(quoted[3], name), bytes);
                }
            }
            end.exitCode = stored.whole ? 0 : 3;
            return Result<ProcessEnd>(end);
        }
        if (command == L"rn") {
            for (std::size_t i = 0; i + 1 < names.size(); i += 2) {
                const auto found = platform.archive.find(names[i]);
                if (found == platform.archive.end()) continue;
                std::wstring content = found->second;
                platform.archive.erase(found);
                platform.archive[names[i + 1]] = content;
            }
        } else {
            // -r -df: the archiver takes the staged copies away.
            for (const std::wstring& path : platform.FilesBelow(workingFolder)) {
                const std::size_t dot = path.rfind(L'.');
                const std::wstring extension = dot == std::wstring::npos ? L"" : path.substr(dot);
                if (extension == L".bkl" || extension == L".bks") {
                    const std::wstring name = path.substr(path.rfind(L'\\') + 1);
                    if (!platform.archiveLoses.count(name)) platform.archive[name] = platform.FileContent(path);
                    static_cast<void>(platform.RemoveFile(path));
                }
            }
        }
        std::vector<std::pair<std::wstring, std::string>> entries;
        for (const auto& [name, content] : platform.archive) entries.emplace_back(name, ToUtf8(content));
        platform.AddFileBytes(archive, Rar5Archive(entries));
        return Result<ProcessEnd>(end);
    };
}

}  // namespace quarn::testing
