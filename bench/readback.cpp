// The program's reading of an archive's own headers, timed under Wine as on Windows:
//   readback <archive>              prints "<entries> entries in <milliseconds> ms"
//   readback --make <n> <archive>   first writes a RAR 5.0 archive of n small stored
//                                   entries, so that any number can be timed
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "archive/ArchiveReader.h"
#include "fakes/Rar5Writer.h"
#include "platform/WinPlatform.h"

int wmain(int argc, wchar_t** argv) {
    const bool make = argc == 4 && std::wstring(argv[1]) == L"--make";
    if (argc != 2 && !make) {
        std::fputs("usage: readback [--make <entries>] <archive>\n", stderr);
        return 2;
    }
    const std::wstring archive = argv[argc - 1];
    quarn::WinPlatform platform;
    if (make) {
        std::vector<std::pair<std::wstring, std::string>> entries;
        const long count = std::wcstol(argv[2], nullptr, 10);
        for (long i = 0; i < count; ++i) {
            entries.emplace_back(L"acct" + std::to_wstring(i % 300) + L"in" + std::to_wstring(i) + L".bkl",
                                 "From: " + std::to_string(i) + "\r\n");
        }
        if (!platform.WriteFileBytes(archive, quarn::testing::Rar5Archive(entries))) return 1;
    }
    LARGE_INTEGER frequency{}, start{}, end{};
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    quarn::Result<std::unique_ptr<quarn::ReadableFile>> file = platform.OpenForReading(archive);
    if (!file) return 1;
    const quarn::Result<quarn::ArchiveReading> reading = quarn::ReadArchive(**file);
    QueryPerformanceCounter(&end);
    if (!reading || reading->verdict != quarn::ArchiveReading::Verdict::Whole) return 1;
    std::printf("%zu entries in %.1f ms\n", reading->entries.size(),
                1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) /
                    static_cast<double>(frequency.QuadPart));
    return 0;
}
