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

LockAttempt WinPlatform::LockFile(const std::wstring& path) {
    LockAttempt attempt;
    UniqueFileHandle file(CreateFileW(LongPathForm(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        attempt.error = GetLastError();
        attempt.state = attempt.error == ERROR_SHARING_VIOLATION || attempt.error == ERROR_LOCK_VIOLATION
                            ? LockAttempt::State::HeldElsewhere
                            : LockAttempt::State::Failed;
        return attempt;
    }
    attempt.state = LockAttempt::State::Held;
    attempt.lock = std::make_unique<WinFileLock>(std::move(file));
    return attempt;
}

LockAttempt WinPlatform::LockRun(const std::wstring& name) {
    LockAttempt attempt;
    UniqueKernelHandle mutex(CreateMutexW(nullptr, FALSE, name.c_str()));
    if (!mutex) {
        attempt.error = GetLastError();
        // The mutex exists and belongs to a run of another user: only a running
        // program keeps it in existence.
        attempt.state = attempt.error == ERROR_ACCESS_DENIED ? LockAttempt::State::HeldElsewhere
                                                             : LockAttempt::State::Failed;
        return attempt;
    }
    switch (WaitForSingleObject(mutex.Get(), 0)) {
        case WAIT_OBJECT_0:
        case WAIT_ABANDONED:  // the run that held it died; its files are safe to take over
            attempt.state = LockAttempt::State::Held;
            attempt.lock = std::make_unique<WinRunLock>(std::move(mutex));
            break;
        case WAIT_TIMEOUT:
            attempt.state = LockAttempt::State::HeldElsewhere;
            break;
        default:
            attempt.error = GetLastError();
            break;
    }
    return attempt;
}

}  // namespace quarn
