// A program folder holding the older version of an application, its
// program and its updater still running (so each must be moved aside, not
// replaced) and an old file an earlier version of the updater kept beside
// its name (so the run must sweep it), with an archive of the newer version
// beside it, for sweeps that run the fault updater over it again and again:
// with calls failing, or with the process killed at a call.
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "support/scratch_folder.h"
#include "support/zip_builder.h"

constexpr int kExitUpdated = 0;
constexpr int kExitKept = 2;

// Every file by its path relative to the program folder ('/'-separated),
// and every folder, with a '/' at its end and no content.
using FolderState = std::map<std::string, ByteVector>;

// What the archive is: the update as released, or with its last entry
// (readme.txt) damaged, so that the run fails at its end and must undo all.
enum class UpdateKind { Whole, DamagedLast };

// The last entry of the archive, a file of the old version too.
constexpr char kLastEntry[] = "readme.txt";

struct RunResult {
    bool exited = false;  // ended by itself, with exitCode
    bool killed = false;  // ended by the crash the run was armed with
    int exitCode = -1;
    std::string errors;  // the child's standard error
};

class Installation {
public:
    Installation();

    // The older version installed, and the archive of `kind` in place.
    void Reset(UpdateKind kind);

    // The archive of `kind` in place, the program folder left as it is.
    void PlaceArchive(UpdateKind kind);

    // From now on the program folder is `folder` (one moved or copied there,
    // with the updater in it).
    void SetProgramFolder(const std::filesystem::path& folder) { program_ = folder; }

    // The fault updater run as a user runs it (no display, answer No), with
    // `faults` in its environment ("FAULT_FAIL='CALL N K'", "FAULT_CRASH=N").
    RunResult Run(const std::string& faults);

    // The program folder as it is now, the fault updater itself left out.
    FolderState State() const;

    // How many calls a clean run over `kind` makes of each call the fault
    // updater counts; "Total" is the platform calls together.
    std::map<std::string, unsigned long> CountCalls(UpdateKind kind);

    const std::filesystem::path& Program() const { return program_; }
    const std::filesystem::path& Archive() const { return archive_; }

    static const FolderState& OldVersion();
    static const FolderState& NewVersion();

private:
    ScratchFolder root_;
    std::filesystem::path program_;
    std::filesystem::path archive_;
};

// An old file an earlier version of the updater kept beside its name.
extern const char kKeptBeside[];

// `state` with the updater's own files and the old kept-beside file left
// out, and those in `own`.
FolderState WithoutOwnFiles(const FolderState& state, FolderState* own = nullptr);

// Runs `work(installation, i)` for i from 0 to count - 1, shared out over
// the cores, each worker with an installation of its own; stops early once
// a test assertion failed.
void RunOverInstallations(size_t count, const std::function<void(Installation&, size_t)>& work);
