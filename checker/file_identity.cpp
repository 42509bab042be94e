#include "file_identity.h"

FileIdentity IdentifyFile(const char* path)
{
    FileIdentity identity{false, 0, 0, 0};
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return identity;
    BY_HANDLE_FILE_INFORMATION information;
    if (GetFileInformationByHandle(file, &information)) {
        identity = FileIdentity{true, information.dwVolumeSerialNumber, information.nFileIndexHigh,
                                information.nFileIndexLow};
    }
    CloseHandle(file);
    return identity;
}

bool IsSameFile(const FileIdentity& first, const FileIdentity& second)
{
    return first.known && second.known && first.volume == second.volume &&
           first.indexHigh == second.indexHigh && first.indexLow == second.indexLow;
}
