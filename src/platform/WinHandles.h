#pragma once

#include <windows.h>

#include "platform/UniqueHandle.h"

namespace quarn {

struct KernelHandleTraits {  // processes and threads: NULL when absent
    using Type = HANDLE;
    static Type Invalid() { return nullptr; }
    static void Close(Type handle) { CloseHandle(handle); }
};

struct FileHandleTraits {  // CreateFile: INVALID_HANDLE_VALUE when absent
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Type handle) { CloseHandle(handle); }
};

struct FindHandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Type handle) { FindClose(handle); }
};

struct RegistryKeyTraits {
    using Type = HKEY;
    static Type Invalid() { return nullptr; }
    static void Close(Type key) { RegCloseKey(key); }
};

struct EventSourceTraits {
    using Type = HANDLE;
    static Type Invalid() { return nullptr; }
    static void Close(Type source) { DeregisterEventSource(source); }
};

struct EnvironmentStringsTraits {
    using Type = wchar_t*;
    static Type Invalid() { return nullptr; }
    static void Close(Type strings) { FreeEnvironmentStringsW(strings); }
};

using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;
using UniqueFileHandle = UniqueHandle<FileHandleTraits>;
using UniqueFindHandle = UniqueHandle<FindHandleTraits>;
using UniqueRegistryKey = UniqueHandle<RegistryKeyTraits>;
using UniqueEventSource = UniqueHandle<EventSourceTraits>;
using UniqueEnvironmentStrings = UniqueHandle<EnvironmentStringsTraits>;

}  // namespace quarn
