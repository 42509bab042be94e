#include "file_identity.h"

FileIdentity IdentifyFile(const char* path)
{
    // No access asked for: only the file's metadata is read, so no one who
    // holds it open, however they share it, is in the way; and a folder
    // opens as one.
    HANDLE file = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return FileIdentity{false, 0, 0, 0};
    const FileIdentity identity = IdentifyOpenFile(file);
    CloseHandle(file);
    return identity;
}

FileIdentity IdentifyOpenFile(HANDLE file, uint64_t* size)
{
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(file, &information)) return FileIdentity{false, 0, 0, 0};
    if (size) *size = (uint64_t(information.nFileSizeHigh) << 32) | information.nFileSizeLow;
    return FileIdentity{true, information.dwVolumeSerialNumber, information.nFileIndexHigh,
                        information.nFileIndexLow};
}

bool IsSameFile(const FileIdentity& first, const FileIdentity& second)
{
    return first.known && second.known && first.volume == second.volume &&
           first.indexHigh == second.indexHigh && first.indexLow == second.indexLow;
}
