// Test-only fault injection in the Linux platform layer.
//
// Built only when CMake's UPDATER_FAULT_INJECTION option is ON, which puts the
// compile definition UPDATER_FAULT_INJECTION on the platform library (and on
// everything that links it). In a release build this header declares nothing
// and the platform calls carry no hook: nothing on the command line or in the
// environment can reach it.
//
// An armed call fails the way Windows reports the failure, without touching
// the file system:
//   CreateFileA        -> INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED
//   ReadFile           -> FALSE, *bytesRead 0, ERROR_READ_FAULT
//   WriteFile          -> FALSE, *bytesWritten 0, ERROR_DISK_FULL
//   SetFilePointer     -> INVALID_SET_FILE_POINTER, ERROR_SEEK_ON_DEVICE
//   CloseHandle        -> FALSE, ERROR_INVALID_HANDLE (the descriptor is still
//                         closed, like close(2) reporting a late I/O error,
//                         so that a test run leaks nothing)
//   SetFileTime        -> FALSE, ERROR_ACCESS_DENIED
//   GetFileAttributesA -> INVALID_FILE_ATTRIBUTES, ERROR_FILE_NOT_FOUND
//   CreateDirectoryA   -> FALSE, ERROR_ACCESS_DENIED
//   DeleteFileA        -> FALSE, ERROR_ACCESS_DENIED
//   MoveFileExA        -> FALSE, ERROR_ACCESS_DENIED
//
// Typical use: ResetPlatformCallCounts(); run; n = PlatformCallCount(call);
// then for k in 1..n: ArmPlatformFault(call, k); run; check; DisarmPlatformFaults().
#pragma once

#ifdef UPDATER_FAULT_INJECTION

#include <cstdint>

enum class PlatformCall : uint32_t {
    CreateFileA,
    ReadFile,
    WriteFile,
    SetFilePointer,
    CloseHandle,
    SetFileTime,
    GetFileAttributesA,
    CreateDirectoryA,
    DeleteFileA,
    MoveFileExA,
    Count  // not a call: the number of calls above
};

constexpr uint32_t kFailAllFollowing = UINT32_MAX;

// Makes the `nthCall`-th call of `call` from now on fail (1 = the very next
// call), and with `failures` > 1 that many consecutive calls from it
// (kFailAllFollowing: every call from it on). `lastError` replaces the
// default error listed above when not 0. Arming a call again replaces its
// earlier arming; `nthCall` 0 disarms it.
void ArmPlatformFault(PlatformCall call, uint32_t nthCall, uint32_t failures = 1,
                      uint32_t lastError = 0);

// No call fails any more. Counts are kept.
void DisarmPlatformFaults();

// How many times `call` was made since the process started or the last
// ResetPlatformCallCounts (failed and injected calls included).
uint32_t PlatformCallCount(PlatformCall call);
void ResetPlatformCallCounts();

// Memory-allocation faults (the reliability work) belong here too: give them
// their own Arm/Disarm/Count functions over the same counting scheme (see
// FaultSite in platform/unix/fault_injection.cpp) and have the allocating
// code ask ShouldInjectFault the same way the platform calls do.

#endif  // UPDATER_FAULT_INJECTION
