// Private to the Linux half: the thread's last-error value and the mapping
// from errno to the Win32 error codes that the Windows calls report.
#pragma once

#include <string>

#include "../winapi.h"

namespace platform_unix {

// The Win32 error that best reports errno `err`; `fallback` for errno values
// with no closer match (EIO reported as a read or a write fault, say).
DWORD Win32ErrorFromErrno(int err, DWORD fallback = ERROR_GEN_FAILURE);

// SetLastError(Win32ErrorFromErrno(err, fallback)).
void SetLastErrorFromErrno(int err, DWORD fallback = ERROR_GEN_FAILURE);

// For a POSIX path that does not exist: ERROR_FILE_NOT_FOUND when the folder
// it would be in exists, ERROR_PATH_NOT_FOUND when that folder is missing.
DWORD NotFoundError(const std::string& posixPath);

// SetLastError(NotFoundError(posixPath)), with the folder looked at when
// GetLastError is called rather than now: the code tells whether the folder
// exists then.
void SetLastErrorNotFound(const std::string& posixPath);

}  // namespace platform_unix
