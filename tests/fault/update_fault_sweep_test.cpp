// A full update over a program folder that holds the older version, its
// program still running (so it must be moved aside) and an old file an
// earlier run moved aside (so it must be deleted), run once for every call
// the update makes of each platform function, and of the allocator, with
// exactly that call failing the way Windows reports it. After every run: the
// process ended by itself with 0 or 2 and no sanitizer report, every file is
// byte for byte its old or its new version, no old file is lost, nothing
// else is left but files moved aside whose deletion failed, and the archive
// is kept unless the update went through.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/fault_injection.h"
#include "support/scratch_folder.h"
#include "support/zip_builder.h"

namespace fs = std::filesystem;

namespace {

// Every call the driver can fail: the platform's, and the allocator.
#define CALL_NAME(call, defaultError, failValue) #call,
const char* const kCalls[] = {PLATFORM_FAULT_CALLS(CALL_NAME) "Allocation"};
#undef CALL_NAME

constexpr int kExitUpdated = 0;
constexpr int kExitKept = 2;

struct Version {
    std::map<std::string, ByteVector> files;
};

// The installed version: a program, its readme and a configuration in a
// folder, and a file the update does not touch.
Version OldVersion()
{
    Version old;
    old.files["Tavix.exe"] = PseudoRandomBytes(30000, 1);
    old.files["readme.txt"] = Bytes("old readme\n");
    old.files["data/config.ini"] = Bytes("[old]\n");
    old.files["data/keep.txt"] = Bytes("kept across the update\n");
    return old;
}

// What an earlier run moved aside and could not delete then.
const char kLeftover[] = "data/config.ini.~tvx00010002.old";

// The old file a name moved aside under stands for, or "" when `name` is
// not of that form: NAME.~tvxPPPPSSSS.old.
std::string MovedAsideFrom(const std::string& name)
{
    const size_t mark = name.rfind(".~tvx");
    if (mark == std::string::npos || name.size() != mark + 17 ||
        name.compare(name.size() - 4, 4, ".old") != 0) {
        return "";
    }
    return name.substr(0, mark);
}

// What the archive brings: a program written in three pieces, a replaced
// readme (stored) and configuration, a folder entry, a new nested plugin and
// a new read-only licence.
std::vector<TestEntry> UpdateEntries()
{
    std::vector<TestEntry> entries;
    entries.push_back(FileEntry("Tavix.exe", PseudoRandomBytes(40000, 2), 8));
    entries.push_back(FileEntry("readme.txt", Bytes("new readme, version 2\n"), 0));
    TestEntry folder = FileEntry("data/", {}, 0);
    folder.externalAttributes = 0x10;
    entries.push_back(folder);
    entries.push_back(FileEntry("data/config.ini", RepeatedText(2000), 8));
    entries.push_back(FileEntry("plugins/new/plugin.dll", PseudoRandomBytes(5000, 3), 0));
    TestEntry licence = FileEntry("license.txt", Bytes("read-only licence\n"), 8);
    licence.externalAttributes = 0x21;
    entries.push_back(licence);
    return entries;
}

Version NewVersion()
{
    Version next = OldVersion();
    for (const TestEntry& entry : UpdateEntries()) {
        if (entry.name.back() != '/') next.files[entry.name] = entry.data;
    }
    return next;
}

struct RunResult {
    bool exited = false;
    int exitCode = -1;
    std::string errors;  // the child's standard error
};

// One program folder with its own copy of the updater and its own archive,
// so that several runs can go on at once.
class Installation {
public:
    Installation() : program_(root_.Path() / "prog"), archive_(root_.Path() / "update.zip")
    {
        fs::create_directories(program_);
        fs::copy_file(FAULT_UPDATER, program_ / "updater");
    }

    // The older version installed, and the archive in place, as before an update.
    void Reset()
    {
        for (const auto& item : fs::directory_iterator(program_)) {
            if (item.path().filename() != "updater") fs::remove_all(item.path());
        }
        for (const auto& [name, bytes] : OldFiles().files) {
            fs::create_directories((program_ / name).parent_path());
            WriteFileBytes(program_ / name, bytes);
        }
        WriteFileBytes(program_ / kLeftover, Bytes("[older]\n"));
        WriteFileBytes(archive_, ArchiveBytes());
    }

    // The updater run as a user runs it (no display, answer No), with the
    // `nthCall`-th call of `call` failing; no call fails when `call` is empty.
    RunResult Run(const std::string& call, unsigned long nthCall)
    {
        const fs::path errors = root_.Path() / "stderr.txt";
        std::ostringstream command;
        command << "cd '" << program_.string() << "' && env -u DISPLAY -u WAYLAND_DISPLAY "
                << "ASAN_OPTIONS=detect_leaks=1:exitcode=97 UBSAN_OPTIONS=halt_on_error=1 "
                << "FAULT_RUNNING=Tavix.exe ";
        if (!call.empty()) command << "FAULT_FAIL='" << call << " " << nthCall << "' ";
        command << "./updater '" << archive_.string() << "' </dev/null >/dev/null 2>'"
                << errors.string() << "'";
        const int status = std::system(command.str().c_str());
        RunResult result;
        result.exited = status != -1 && WIFEXITED(status);
        result.exitCode = result.exited ? WEXITSTATUS(status) : -1;
        result.errors = ReadFileText(errors);
        return result;
    }

    // Every check after one run; gives the number of old files lost.
    unsigned long Check(const std::string& what, const RunResult& result, bool archiveMayStay)
    {
        EXPECT_TRUE(result.exited &&
                    (result.exitCode == kExitUpdated || result.exitCode == kExitKept))
            << what << ": exit " << result.exitCode << "\n"
            << result.errors;

        const Version& old = OldFiles();
        const Version& next = NewFiles();
        unsigned long lost = 0;
        bool allNew = true;
        for (const auto& [name, newBytes] : next.files) {
            const fs::path path = program_ / name;
            const auto oldBytes = old.files.find(name);
            if (!fs::exists(path)) {
                EXPECT_EQ(oldBytes, old.files.end()) << what << ": lost " << name;
                lost += oldBytes != old.files.end();
                allNew = false;
                continue;
            }
            const ByteVector bytes = ReadFileBytes(path);
            const bool isNew = bytes == newBytes;
            const bool isOld = oldBytes != old.files.end() && bytes == oldBytes->second;
            EXPECT_TRUE(isNew || isOld)
                << what << ": " << name << " is neither version (" << bytes.size() << " bytes)";
            allNew = allNew && isNew;
        }
        for (const auto& item : fs::recursive_directory_iterator(program_)) {
            if (item.is_directory()) continue;
            const std::string name = item.path().lexically_relative(program_).generic_string();
            // Moved aside and not deleted: only beside a file of its own name.
            const std::string movedFrom = MovedAsideFrom(name);
            const bool movedAside = !movedFrom.empty() && fs::exists(program_ / movedFrom);
            EXPECT_TRUE(name == "updater" || next.files.count(name) || movedAside)
                << what << ": left behind " << name;
        }

        const bool archiveKept = fs::exists(archive_);
        if (result.exitCode == kExitUpdated) {
            EXPECT_TRUE(allNew) << what << ": exit 0 but not every file is new";
            EXPECT_TRUE(!archiveKept || archiveMayStay) << what << ": archive kept after exit 0";
        } else {
            EXPECT_TRUE(archiveKept) << what << ": archive deleted after a failed update";
        }
        return lost;
    }

    const fs::path& Program() const { return program_; }
    const fs::path& Archive() const { return archive_; }

    static const Version& OldFiles()
    {
        static const Version old = OldVersion();
        return old;
    }
    static const Version& NewFiles()
    {
        static const Version next = NewVersion();
        return next;
    }
    static const ByteVector& ArchiveBytes()
    {
        static const ByteVector bytes = BuildZip(UpdateEntries());
        return bytes;
    }

private:
    ScratchFolder root_;
    fs::path program_;
    fs::path archive_;
};

// How often a clean update makes each call, from the driver's report.
std::map<std::string, unsigned long> CountCalls(Installation& installation)
{
    installation.Reset();
    const RunResult clean = installation.Run("", 0);
    EXPECT_EQ(clean.exitCode, kExitUpdated) << clean.errors;
    std::map<std::string, unsigned long> counts;
    const size_t start = clean.errors.find("fault-counts");
    if (start == std::string::npos) return counts;
    std::istringstream line(clean.errors.substr(start));
    std::string field;
    line >> field;
    while (line >> field) {
        const size_t equals = field.find('=');
        counts[field.substr(0, equals)] = std::stoul(field.substr(equals + 1));
    }
    return counts;
}

TEST(UpdateFaultSweep, CleanUpdateInstallsEveryFile)
{
    Installation installation;
    installation.Reset();
    const RunResult result = installation.Run("", 0);
    installation.Check("clean run", result, false);
    EXPECT_EQ(result.exitCode, kExitUpdated);
    for (const auto& item : fs::recursive_directory_iterator(installation.Program())) {
        EXPECT_EQ(MovedAsideFrom(item.path().filename().string()), "")
            << "what was moved aside is deleted by a clean run: " << item.path();
    }
    EXPECT_FALSE(fs::exists(installation.Archive()));
    EXPECT_EQ(ReadFileBytes(installation.Program() / "data/keep.txt"),
              Installation::OldFiles().files.at("data/keep.txt"));
}

TEST(UpdateFaultSweep, EveryCallFailingInTurnLeavesOldOrNewFilesOnly)
{
    struct Run {
        std::string call;
        unsigned long nthCall;
    };
    std::vector<Run> runs;
    std::map<std::string, unsigned long> counts;
    {
        Installation first;
        counts = CountCalls(first);
    }
    for (const char* call : kCalls) {
        const auto count = counts.find(call);
        ASSERT_NE(count, counts.end()) << call;
        EXPECT_GT(count->second, 0u) << call << " is never made: the sweep would test nothing";
        for (unsigned long n = 1; n <= count->second; ++n) runs.push_back({call, n});
    }

    // The runs are independent, so they share out over the cores. Every copy
    // of the updater is made first: a child forked while a copy is still open
    // for writing holds it open, and starting that copy fails with "Text file
    // busy".
    const unsigned cores = std::max(1u, std::min(4u, std::thread::hardware_concurrency()));
    std::vector<Installation> installations(cores);
    std::atomic<size_t> next{0};
    std::atomic<unsigned long> updated{0}, kept{0}, lost{0};
    auto work = [&](Installation& installation) {
        for (size_t i = next++; i < runs.size() && !::testing::Test::HasFailure(); i = next++) {
            installation.Reset();
            const RunResult result = installation.Run(runs[i].call, runs[i].nthCall);
            (result.exitCode == kExitUpdated ? updated : kept) += 1;
            lost += installation.Check(runs[i].call + " #" + std::to_string(runs[i].nthCall),
                                       result, runs[i].call == "DeleteFileA");
        }
    };
    std::vector<std::thread> workers;
    for (Installation& installation : installations) {
        workers.emplace_back(work, std::ref(installation));
    }
    for (std::thread& worker : workers) worker.join();

    std::printf(
        "fault sweep: %zu runs, one injected fault each: %lu updates went through, "
        "%lu kept the archive, %lu files lost\n",
        runs.size(), updated.load(), kept.load(), lost.load());
    for (const auto& [call, count] : counts) std::printf("  %s: %lu calls\n", call.c_str(), count);
    EXPECT_EQ(lost.load(), 0u);
}

}  // namespace
