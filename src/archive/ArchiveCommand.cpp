#include "archive/ArchiveCommand.h"

#include "common/TextEncoding.h"

namespace quarn {
namespace {

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

}  // namespace

std::wstring ArchivePath(const std::wstring& backupDir, const std::wstring& zipFile) {
    const bool hasExtension = zipFile.find(L'.') != std::wstring::npos;
    return backupDir + L"\\" + zipFile + (hasExtension ? L"" : L".rar");
}

std::wstring BuildArchiveCommand(const std::wstring& archivePath) {
    return L"a -r -ep -df -m5  -inul " + Quoted(archivePath) + L" " + L"*.bkl " + L"*.bks";
}

std::wstring TestCommand(const std::wstring& archivePath) {
    return L"t -inul " + Quoted(archivePath);
}

std::wstring RenameCommand(const std::wstring& archivePath, const std::wstring& listFile) {
    return L"rn -inul -scul " + Quoted(archivePath) + L" " + Quoted(L"@" + listFile);
}

std::wstring ExtractCommand(const std::wstring& archivePath, const std::wstring& listFile,
                            const std::wstring& folder) {
    return L"e -inul -o+ -scul " + Quoted(archivePath) + L" " + Quoted(L"@" + listFile) + L" " +
           Quoted(folder + L"\\");
}

std::string ListFileBytes(const std::vector<std::wstring>& names) {
    std::wstring text;
    for (const std::wstring& name : names) text += name + L"\r\n";
    return kUtf16LeByteOrderMark + ToUtf16Le(text);
}

std::wstring DescribeArchiverExit(std::uint32_t exitCode) {
    switch (exitCode) {
        case 0: return L"success";
        case 1: return L"warning: some files could not be added";
        case 2: return L"fatal error";
        case 3: return L"checksum error: the archive is damaged";
        case 4: return L"the archive is locked";
        case 5: return L"write error";
        case 6: return L"a file could not be opened";
        case 7: return L"wrong command line";
        case 8: return L"not enough memory";
        case 9: return L"the archive could not be created";
        case 10: return L"no files to add";
        case 11: return L"wrong password";
        case 255: return L"stopped by the user";
        default: return L"unknown error";
    }
}

}  // namespace quarn
