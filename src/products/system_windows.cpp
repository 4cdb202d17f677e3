#include "products/system.hpp"

#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>


namespace {

HANDLE handle(FileHandle file)
{
    return reinterpret_cast<HANDLE>(file);
}

// The console control handler runs in a thread of its own; the lock keeps
// it and the main thread from changing the list of unfinished files or
// moving a listed file at the same time.
CRITICAL_SECTION lock;

// Removes the unfinished files, then lets the default handler end the
// process. The lock is kept, so the main thread cannot move a file into
// place after this. The files were opened with FILE_SHARE_DELETE, so
// removing them while the main thread still writes works; their names go
// when the process ends.
BOOL WINAPI removeUnfinishedAndDie(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT)
        return FALSE;
    EnterCriticalSection(&lock);
    removeUnfinished([](const char* name) { DeleteFileA(name); });
    return FALSE;
}

void installHandler()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    InitializeCriticalSection(&lock);
    SetConsoleCtrlHandler(removeUnfinishedAndDie, TRUE);
}

}  // namespace

bool mayReplaceFile(const std::string& name)
{
    // A directory cannot be opened this way, nor a read-only file.
    const HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        return true;
    }
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND;
}

FileHandle createNewFile(const std::string& name, bool& taken)
{
    const HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                    nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        taken = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
        return noFile;
    }
    taken = false;
    return reinterpret_cast<FileHandle>(file);
}

void copyPermissions(FileHandle, const std::string&)
{
    // A new file gets the folder's permissions, as the replaced one had.
}

bool writeFileAt(FileHandle file, const char* data, std::size_t size, std::uint64_t offset)
{
    while (size > 0) {
        const DWORD chunk = size > (1U << 30) ? (1U << 30) : static_cast<DWORD>(size);
        OVERLAPPED at {};
        at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFU);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD written = 0;
        if (!WriteFile(handle(file), data, chunk, &written, &at) || written == 0)
            return false;
        data += written;
        size -= written;
        offset += written;
    }
    return true;
}

bool syncFile(FileHandle file)
{
    return FlushFileBuffers(handle(file)) != 0;
}

bool closeFile(FileHandle file)
{
    return CloseHandle(handle(file)) != 0;
}

bool replaceFile(const std::string& from, const std::string& to)
{
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool removeFile(const std::string& name)
{
    return DeleteFileA(name.c_str()) != 0;
}

unsigned long currentProcessId()
{
    return GetCurrentProcessId();
}

void holdInterrupts()
{
    installHandler();
    EnterCriticalSection(&lock);
}

void releaseInterrupts()
{
    LeaveCriticalSection(&lock);
}
