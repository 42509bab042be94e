#include "support/archive_fixture.h"

ArchiveHandle* ProgramFolderScope::Open(const std::vector<TestEntry>& entries,
                                        const ZipOptions& options)
{
    return OpenBytes(BuildZip(entries, options));
}

ArchiveHandle* ProgramFolderScope::OpenBytes(const ByteVector& bytes)
{
    const std::filesystem::path path = File("update.zip");
    WriteFileBytes(path, bytes);
    return OpenArchive(path.string().c_str());
}

bool IsOwnFile(const std::filesystem::path& path)
{
    return path.generic_string().find("~tvx") != std::string::npos;
}

std::vector<std::string> FindOwnFiles(const std::filesystem::path& root)
{
    std::vector<std::string> found;
    for (const auto& item : std::filesystem::recursive_directory_iterator(root)) {
        if (IsOwnFile(item.path())) found.push_back(item.path().string());
    }
    return found;
}
