// A scratch folder made the current directory, as the program folder, and
// archives written into it, for tests of the archive handle service.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "archive/archive_handle.h"
#include "support/current_directory_scope.h"
#include "support/scratch_folder.h"
#include "support/zip_builder.h"

class ProgramFolderScope : public ScratchFolder {
public:
    // Writes the archive built from `entries` into the folder and opens it.
    ArchiveHandle* Open(const std::vector<TestEntry>& entries, const ZipOptions& options = {});
    ArchiveHandle* OpenBytes(const ByteVector& bytes);

private:
    CurrentDirectoryScope current_{Path()};
};

// Whether `path` names one of the updater's own files or lies in one of its
// areas: a staged or old file, a record, the lock.
bool IsOwnFile(const std::filesystem::path& path);

// Files under `root` of the updater's own. None may stay once an archive is
// closed.
std::vector<std::string> FindOwnFiles(const std::filesystem::path& root);
