// The install folder copied into the scratch, so that the update is tried on
// what the program folder holds: files byte for byte with their read-only
// attribute, and folders, empty ones too.
#pragma once

#include "../archive/file_identity.h"
#include "../platform/winapi.h"

struct InstallCopy {
    FileIdentity archive;        // the archive, looked for among the files copied
    char archiveCopy[MAX_PATH];  // its copy, when it lies in the install folder; else empty
    char failedPath[MAX_PATH];   // what could not be copied
};

// Copies everything below `installFolder` into the existing folder `target`.
// Files whose path does not fit in MAX_PATH on either side are left out: no
// step of the updater can reach them either. False, naming the path in
// `failedPath`, when something could not be read or written.
bool CopyInstallFolder(const char* installFolder, const char* target, InstallCopy* copy);
