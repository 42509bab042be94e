// Test-only fault injection in the Linux platform layer.
//
// Built only when CMake's UPDATER_FAULT_INJECTION option is ON, which puts the
// compile definition UPDATER_FAULT_INJECTION on the platform library (and on
// everything that links it). In a release build this header declares nothing
// and the platform calls carry no hook: nothing on the command line or in the
// environment can reach it.
//
// Typical use: ResetPlatformCallCounts(); run; n = PlatformCallCount(call);
// then for k in 1..n: ArmPlatformFault(call, k); run; check; DisarmPlatformFaults().
#pragma once

#ifdef UPDATER_FAULT_INJECTION

#include <cstdint>

#include "winapi.h"

// The one list of the calls that can be armed: X(call, default last error,
// value given back). An armed call fails the way Windows reports the failure,
// without touching the file system. ReadFile and WriteFile also report 0 bytes
// moved. CloseHandle still closes the descriptor, as close(2) does when it
// reports a late I/O error, so that a test run leaks nothing.
#define PLATFORM_FAULT_CALLS(X)                                          \
    X(CreateFileA, ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE)            \
    X(ReadFile, ERROR_READ_FAULT, FALSE)                                 \
    X(WriteFile, ERROR_DISK_FULL, FALSE)                                 \
    X(SetFilePointer, ERROR_SEEK_ON_DEVICE, INVALID_SET_FILE_POINTER)    \
    X(CloseHandle, ERROR_INVALID_HANDLE, FALSE)                          \
    X(FlushFileBuffers, ERROR_WRITE_FAULT, FALSE)                        \
    X(SetFileTime, ERROR_ACCESS_DENIED, FALSE)                           \
    X(GetFileAttributesA, ERROR_FILE_NOT_FOUND, INVALID_FILE_ATTRIBUTES) \
    X(SetFileAttributesA, ERROR_ACCESS_DENIED, FALSE)                    \
    X(GetFileAttributesExA, ERROR_FILE_NOT_FOUND, FALSE)                 \
    X(CreateDirectoryA, ERROR_ACCESS_DENIED, FALSE)                      \
    X(RemoveDirectoryA, ERROR_ACCESS_DENIED, FALSE)                      \
    X(DeleteFileA, ERROR_ACCESS_DENIED, FALSE)                           \
    X(MoveFileExA, ERROR_ACCESS_DENIED, FALSE)                           \
    X(AllowExecution, ERROR_ACCESS_DENIED, FALSE)                        \
    X(GetFileInformationByHandle, ERROR_INVALID_HANDLE, FALSE)           \
    X(FindFirstFileA, ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE)         \
    X(FlushFolderFiles, ERROR_WRITE_FAULT, FALSE)

#define PLATFORM_CALL_ENUMERATOR(call, defaultError, failValue) call,
enum class PlatformCall : uint32_t {
    PLATFORM_FAULT_CALLS(PLATFORM_CALL_ENUMERATOR) Count  // not a call: how many there are
};
#undef PLATFORM_CALL_ENUMERATOR

constexpr uint32_t kFailAllFollowing = UINT32_MAX;

// Makes the `nthCall`-th call of `call` from now on fail (1 = the very next
// call), and with `failures` > 1 that many consecutive calls from it
// (kFailAllFollowing: every call from it on). `lastError` replaces the
// call's default error from the list when not 0. Arming a call again
// replaces its earlier arming; `nthCall` 0 disarms it.
void ArmPlatformFault(PlatformCall call, uint32_t nthCall, uint32_t failures = 1,
                      uint32_t lastError = 0);

// Makes the `nthCall`-th WriteFile from now on (and with `writes` > 1 that
// many consecutive ones) write short: it succeeds (TRUE, last error left
// alone) but writes and reports only half of the bytes asked for, rounded
// down, so at least one byte fewer. This replaces WriteFile's earlier arming,
// as ArmPlatformFault(PlatformCall::WriteFile, ...) replaces this one;
// DisarmPlatformFaults ends it.
void ArmPlatformShortWrite(uint32_t nthCall, uint32_t writes = 1);

// Makes the file at `path` (now) behave as a running program does on
// Windows: MoveFileExA refuses to replace it (ERROR_ACCESS_DENIED), while
// moving it away to another name works. Up to kMaxRunningImages files run at
// once. False when there is no such file, or no room for another.
constexpr uint32_t kMaxRunningImages = 4;
bool ArmPlatformRunningImage(const char* path);

// Ends the process at the `nthCall`-th call from now on of any call of the
// list above, all counted together, before that call does anything: as a
// kill or a power cut ends it, with no destructor, handler or flush
// (SIGKILL). 0 disarms.
void ArmPlatformCrash(uint32_t nthCall);

// The power-cut model: from now on every change of a name (a file or folder
// made, moved, deleted), every write of data and every flush is appended to
// the file at `logPath`, one a line:
//   N create|mkdir|rmdir PATH     N rename FROM TO     N delete PATH COPY
//   D write PATH                  F flushfile PATH | F syncfs | F through TO
// with absolute paths; a deleted file (or one a move replaces) is copied to
// COPY first, so that its deletion can be taken back. With `nthFlush` not 0
// the process ends at the `nthFlush`-th flush (FlushFileBuffers,
// FlushFolderFiles, a written-through MoveFileExA) before it runs, as a
// power cut ends it.
void ArmPlatformPowerLog(const char* logPath, uint32_t nthFlush);

// No call fails any more, nothing crashes and no file runs. Counts are kept.
void DisarmPlatformFaults();

// How many times `call` was made since the process started or the last
// ResetPlatformCallCounts (failed and injected calls included).
uint32_t PlatformCallCount(PlatformCall call);
void ResetPlatformCallCounts();

// Sleep returns at once in this build, so that waits cost a fault sweep
// nothing; it adds what it was asked to wait to this count instead (since
// the process started or the last ResetPlatformCallCounts).
uint64_t PlatformSleptMilliseconds();

#endif  // UPDATER_FAULT_INJECTION
