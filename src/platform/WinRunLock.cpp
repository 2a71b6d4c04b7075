#include "platform/WinGrowingBuffer.h"
#include "platform/WinHandles.h"
#include "platform/WinLongPath.h"
#include "platform/WinPlatform.h"

namespace quarn {
namespace {

// A named mutex: the system releases it (as abandoned) when its owner dies.
class WinRunLock final : public RunLock {
public:
    explicit WinRunLock(UniqueKernelHandle mutex) : mutex_(std::move(mutex)) {}
    ~WinRunLock() override { ReleaseMutex(mutex_.Get()); }
    WinRunLock(const WinRunLock&) = delete;
    WinRunLock& operator=(const WinRunLock&) = delete;

private:
    UniqueKernelHandle mutex_;
};

// An open handle that shares nothing: the file system refuses every other opener,
// on this machine or through a network share, until the handle is closed.
class WinFileLock final : public RunLock {
public:
    explicit WinFileLock(UniqueFileHandle file) : file_(std::move(file)) {}

private:
    UniqueFileHandle file_;
};

}  // namespace

Result<std::unique_ptr<RunLock>> WinPlatform::LockFile(const std::wstring& path) {
    UniqueFileHandle file(CreateFileW(LongPathForm(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return Failed{LastError()};  // a sharing violation while another has it
    return std::unique_ptr<RunLock>(std::make_unique<WinFileLock>(std::move(file)));
}

Result<std::unique_ptr<RunLock>> WinPlatform::LockRun(const std::wstring& name) {
    UniqueKernelHandle mutex(CreateMutexW(nullptr, FALSE, name.c_str()));
    if (!mutex) {
        const std::uint32_t error = LastError();
        // The mutex exists and belongs to a run of another user: only a running
        // program keeps it in existence.
        return Failed{error == ERROR_ACCESS_DENIED ? win32::kBusy : error};
    }
    switch (WaitForSingleObject(mutex.Get(), 0)) {
        case WAIT_OBJECT_0:
        case WAIT_ABANDONED:  // the run that held it died; its files are safe to take over
            return std::unique_ptr<RunLock>(std::make_unique<WinRunLock>(std::move(mutex)));
        case WAIT_TIMEOUT:
            return Failed{win32::kBusy};
        default:
            return Failed{LastError()};
    }
}

}  // namespace quarn
