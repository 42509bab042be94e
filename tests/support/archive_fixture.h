// A program folder made the current directory, and archives written into it,
// for tests of the archive handle service.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "archive/archive_handle.h"
#include "support/temp_dir.h"
#include "support/zip_builder.h"

class ProgramFolderScope {
public:
    ProgramFolderScope();
    ~ProgramFolderScope();
    ProgramFolderScope(const ProgramFolderScope&) = delete;
    ProgramFolderScope& operator=(const ProgramFolderScope&) = delete;

    const std::filesystem::path& Path() const { return folder_.Path(); }
    std::filesystem::path File(const std::string& name) const { return folder_.File(name); }

    // Writes the archive built from `entries` into the folder and opens it.
    ArchiveHandle* Open(const std::vector<TestEntry>& entries, const ZipOptions& options = {});
    ArchiveHandle* OpenBytes(const ByteVector& bytes);

private:
    TempDir folder_;
    std::string previous_;
};

// Names of files under `root` that an extraction left behind as temporaries.
std::vector<std::string> FindTemporaries(const std::filesystem::path& root);

int64_t FileTimeValue(const FILETIME& time);
