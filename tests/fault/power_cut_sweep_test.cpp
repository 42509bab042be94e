// The update run over an installation (installation.h) cut off at each of
// its flushes, as a power cut ends it, and the disk then left in every state
// the cut can leave: of the changes to names made since the last flush only
// the first k reached the disk (k from none to all), and data written but
// not flushed reads as zeros. Then the main program's next step: with the
// archive gone, the install must be the new version already; with it there,
// the next run must end in the new version byte for byte, the archive
// deleted and nothing of the updater's own left.
//
// The model: a flush (FlushFileBuffers, FlushFolderFiles, a written-through
// rename) puts every earlier change of a name on the disk, in order, as the
// journals of ext4 and NTFS do; a flush of one file puts that file's data
// there, one of the file system every file's. Nothing else is assumed: not
// that a rename over a file flushes its data first (ext4's auto_da_alloc).
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "installation.h"
#include "support/file_content.h"

namespace fs = std::filesystem;

namespace {

struct Event {
    char type;         // 'N' a name changed, 'D' data written, 'F' a flush
    std::string what;  // create, mkdir, rmdir, rename, delete, write, flushfile, syncfs, through
    std::string first;
    std::string second;
};

std::vector<Event> ReadLog(const fs::path& log)
{
    std::vector<Event> events;
    std::ifstream in(log);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        Event event;
        std::string type;
        fields >> type >> event.what >> event.first >> event.second;
        event.type = type.empty() ? '?' : type[0];
        events.push_back(event);
    }
    return events;
}

size_t CountFlushes(const std::vector<Event>& events)
{
    size_t flushes = 0;
    for (const Event& event : events) flushes += event.type == 'F';
    return flushes;
}

// The files whose data never reached the disk, where they are at the cut.
std::set<std::string> FindUnflushedData(const std::vector<Event>& events)
{
    std::set<std::string> dirty;
    for (const Event& event : events) {
        if (event.what == "write") dirty.insert(event.first);
        if (event.what == "flushfile" || event.what == "delete") dirty.erase(event.first);
        if (event.what == "syncfs") dirty.clear();
        if (event.what == "rename" && dirty.erase(event.first)) dirty.insert(event.second);
    }
    return dirty;
}

// Takes one change of a name back.
void TakeBack(const Event& event)
{
    std::error_code ignored;
    if (event.what == "create") fs::remove(event.first, ignored);
    if (event.what == "mkdir") fs::remove(event.first, ignored);
    if (event.what == "rmdir") fs::create_directory(event.first, ignored);
    if (event.what == "rename") fs::rename(event.second, event.first, ignored);
    if (event.what == "delete") fs::copy_file(event.second, event.first, ignored);
}

// The program folder (but the updater) and the archive, copied to `to`.
void CopyInstall(const Installation& installation, const fs::path& from, const fs::path& to)
{
    fs::remove_all(to);
    fs::create_directories(to / "prog");
    for (const auto& item : fs::directory_iterator(from / "prog")) {
        if (item.path().filename() == "updater") continue;
        fs::copy(item.path(), to / "prog" / item.path().filename(), fs::copy_options::recursive);
    }
    const fs::path archive = installation.Archive().filename();
    if (fs::exists(from / archive)) fs::copy_file(from / archive, to / archive);
}

void RestoreInstall(const Installation& installation, const fs::path& snapshot)
{
    const fs::path root = installation.Program().parent_path();
    for (const auto& item : fs::directory_iterator(installation.Program())) {
        if (item.path().filename() != "updater") fs::remove_all(item.path());
    }
    fs::remove(installation.Archive());
    for (const auto& item : fs::directory_iterator(snapshot / "prog")) {
        fs::copy(item.path(), installation.Program() / item.path().filename(),
                 fs::copy_options::recursive);
    }
    const fs::path archive = snapshot / installation.Archive().filename();
    if (fs::exists(archive)) fs::copy_file(archive, installation.Archive());
    (void)root;
}

struct Tally {
    std::mutex mutex;
    unsigned long states = 0, alreadyNew = 0, recovered = 0, broken = 0;
};

// One cut: the run ended at flush `cut` (0: after its end), then every state
// the disk can be left in checked.
void CheckCut(Installation& installation, size_t cut, Tally* tally)
{
    const std::string what = cut ? "cut at flush " + std::to_string(cut) : "cut after the run";
    const fs::path root = installation.Program().parent_path();
    const fs::path log = root / "power.log";
    for (const auto& item : fs::directory_iterator(root)) {
        if (item.path().filename().string().rfind("power.log", 0) == 0) fs::remove(item.path());
    }
    installation.Reset(UpdateKind::Whole);
    installation.Run("FAULT_POWER_LOG='" + log.string() +
                     "' FAULT_POWER_CUT=" + std::to_string(cut));
    const std::vector<Event> events = ReadLog(log);
    size_t durable = 0;  // events before it are on the disk
    for (size_t i = 0; i < events.size(); ++i) {
        if (events[i].type == 'F') durable = i + 1;
    }
    std::vector<const Event*> unflushed;
    for (size_t i = durable; i < events.size(); ++i) {
        if (events[i].type == 'N') unflushed.push_back(&events[i]);
    }
    const std::set<std::string> zeroed = FindUnflushedData(events);
    ScratchFolder snapshot;
    CopyInstall(installation, root, snapshot.Path());
    for (size_t kept = 0; kept <= unflushed.size(); ++kept) {
        const std::string state = what + ", " + std::to_string(kept) + " of " +
                                  std::to_string(unflushed.size()) + " name changes kept";
        RestoreInstall(installation, snapshot.Path());
        for (const std::string& path : zeroed) {
            if (fs::is_regular_file(path))
                WriteFileBytes(path, ByteVector(size_t(fs::file_size(path)), 0));
        }
        for (size_t i = unflushed.size(); i-- > kept;) TakeBack(*unflushed[i]);
        bool whole = false;
        bool already = false;
        if (!fs::exists(installation.Archive())) {
            // The main program sees no archive and runs no updater again.
            already = true;
            whole = WithoutOwnFiles(installation.State()) == Installation::NewVersion();
            EXPECT_TRUE(whole) << state << ": the archive is gone, the new version is not whole";
        } else {
            const RunResult again = installation.Run("");
            whole = again.exitCode == kExitUpdated &&
                    installation.State() == Installation::NewVersion() &&
                    !fs::exists(installation.Archive());
            EXPECT_TRUE(whole) << state << ": the next run exits " << again.exitCode
                               << " and the folder is not the new version alone\n"
                               << again.errors;
        }
        std::lock_guard<std::mutex> lock(tally->mutex);
        ++tally->states;
        (already ? tally->alreadyNew : tally->recovered) += whole;
        tally->broken += !whole;
    }
}

TEST(PowerCutSweep, EveryStateACutCanLeaveEndsInTheNewVersion)
{
    size_t flushes = 0;
    {
        Installation counting;
        const fs::path log = counting.Program().parent_path() / "power.log";
        counting.Reset(UpdateKind::Whole);
        EXPECT_EQ(counting.Run("FAULT_POWER_LOG='" + log.string() + "'").exitCode, kExitUpdated);
        flushes = CountFlushes(ReadLog(log));
    }
    ASSERT_GE(flushes, 3u) << "the staged data, the record and the commit";
    Tally tally;
    RunOverInstallations(flushes + 1, [&](Installation& installation, size_t i) {
        CheckCut(installation, i + 1 <= flushes ? i + 1 : 0, &tally);
    });
    std::printf(
        "power-cut sweep: %zu flushes, %lu states: %lu already the new version, %lu brought "
        "there by the next run, %lu broken\n",
        flushes, tally.states, tally.alreadyNew, tally.recovered, tally.broken);
    EXPECT_EQ(tally.broken, 0u);
}

}  // namespace
