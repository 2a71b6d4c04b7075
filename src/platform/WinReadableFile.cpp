#include <windows.h>

#include <algorithm>
#include <memory>

#include "platform/WinGrowingBuffer.h"
#include "platform/WinHandles.h"
#include "platform/WinLongPath.h"
#include "platform/WinPlatform.h"

namespace quarn {
namespace {

// A file read at any offset through one handle; reads never move a shared position.
class WinReadableFile final : public ReadableFile {
public:
    explicit WinReadableFile(UniqueFileHandle file) : file_(std::move(file)) {}

    Result<std::uint64_t> Size() override {
        LARGE_INTEGER size{};
        if (GetFileSizeEx(file_.Get(), &size) == FALSE) return Failed{LastError()};
        return static_cast<std::uint64_t>(size.QuadPart);
    }

    Result<std::size_t> ReadAt(std::uint64_t offset, std::uint8_t* buffer,
                               std::size_t count) override {
        std::size_t done = 0;
        while (done < count) {
            OVERLAPPED at{};
            const std::uint64_t position = offset + done;
            at.Offset = static_cast<DWORD>(position & 0xFFFFFFFFU);
            at.OffsetHigh = static_cast<DWORD>(position >> 32);
            const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(count - done, 1U << 30));
            DWORD read = 0;
            if (ReadFile(file_.Get(), buffer + done, wanted, &read, &at) == FALSE) {
                const DWORD error = LastError();
                if (error == ERROR_HANDLE_EOF) break;
                return Failed{error};
            }
            if (read == 0) break;
            done += read;
        }
        return done;
    }

private:
    UniqueFileHandle file_;
};

}  // namespace

Result<std::unique_ptr<ReadableFile>> WinPlatform::OpenForReading(const std::wstring& path) {
    // Shared every way: reading never stands in the way of another program.
    UniqueFileHandle file(CreateFileW(LongPathForm(path).c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_RANDOM_ACCESS, nullptr));
    if (!file) return Failed{LastError()};
    return std::unique_ptr<ReadableFile>(std::make_unique<WinReadableFile>(std::move(file)));
}

}  // namespace quarn
