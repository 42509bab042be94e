#include "installation.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <sstream>
#include <thread>

#include "support/archive_fixture.h"
#include "support/file_content.h"

namespace fs = std::filesystem;

const char kKeptBeside[] = "data/config.ini.~tvx00010002.old";

namespace {

// The programs that run while the update goes on.
const char* const kRunning[] = {"Tavix.exe", "Updater.exe"};

FolderState OldFiles()
{
    FolderState old;
    old["Tavix.exe"] = PseudoRandomBytes(30000, 1);
    old["Updater.exe"] = Bytes("the old updater\n");
    old[kLastEntry] = Bytes("old readme\n");
    old["data/"] = {};
    old["data/config.ini"] = Bytes("[old]\n");
    old["data/keep.txt"] = Bytes("kept across the update\n");
    return old;
}

// What the archive brings: the program, written in three pieces with the
// mode a Unix build gives it, and a new updater; a folder entry; a replaced configuration; a new
// nested plugin and a new read-only licence; the readme, stored, last.
std::vector<TestEntry> UpdateEntries(UpdateKind kind)
{
    std::vector<TestEntry> entries;
    TestEntry program = FileEntry("Tavix.exe", PseudoRandomBytes(40000, 2), 8);
    program.versionMadeBy = (3 << 8) | 20;  // made on Unix, runnable there
    program.externalAttributes = 0100755u << 16;
    entries.push_back(program);
    entries.push_back(FileEntry("Updater.exe", Bytes("the new updater\n"), 8));
    entries.push_back(FolderEntry("data/"));
    entries.push_back(FileEntry("data/config.ini", RepeatedText(2000), 8));
    entries.push_back(FileEntry("plugins/new/plugin.dll", PseudoRandomBytes(5000, 3), 0));
    TestEntry licence = FileEntry("license.txt", Bytes("read-only licence\n"), 8);
    licence.externalAttributes = 0x21;
    entries.push_back(licence);
    TestEntry readme = FileEntry(kLastEntry, Bytes("new readme, version 2\n"), 0);
    if (kind == UpdateKind::DamagedLast) readme.crc = Crc32Of(readme.data) ^ 1;
    entries.push_back(readme);
    return entries;
}

FolderState NewFiles()
{
    FolderState next = OldFiles();
    for (const TestEntry& entry : UpdateEntries(UpdateKind::Whole)) {
        if (entry.name.back() != '/') next[entry.name] = entry.data;
    }
    next["plugins/"] = {};
    next["plugins/new/"] = {};
    return next;
}

const ByteVector& ArchiveBytes(UpdateKind kind)
{
    static const ByteVector whole = BuildZip(UpdateEntries(UpdateKind::Whole));
    static const ByteVector damaged = BuildZip(UpdateEntries(UpdateKind::DamagedLast));
    return kind == UpdateKind::Whole ? whole : damaged;
}

}  // namespace

Installation::Installation()
    : program_(root_.Path() / "prog"), archive_(root_.Path() / "update.zip")
{
    fs::create_directories(program_);
    fs::copy_file(FAULT_UPDATER, program_ / "updater");
}

void Installation::Reset(UpdateKind kind)
{
    for (const auto& item : fs::directory_iterator(program_)) {
        if (item.path().filename() != "updater") fs::remove_all(item.path());
    }
    for (const auto& [name, bytes] : OldVersion()) {
        if (name.back() == '/') {
            fs::create_directories(program_ / name);
        } else {
            WriteFileBytes(program_ / name, bytes);
        }
    }
    WriteFileBytes(program_ / kKeptBeside, Bytes("[older]\n"));
    PlaceArchive(kind);
}

void Installation::PlaceArchive(UpdateKind kind)
{
    WriteFileBytes(archive_, ArchiveBytes(kind));
}

RunResult Installation::Run(const std::string& faults)
{
    const fs::path errors = root_.Path() / "stderr.txt";
    std::ostringstream command;
    command << "cd '" << program_.string() << "' && env -u DISPLAY -u WAYLAND_DISPLAY "
            << "ASAN_OPTIONS=detect_leaks=1:exitcode=97 UBSAN_OPTIONS=halt_on_error=1 "
            << "FAULT_RUNNING=";
    const char* separator = "";
    for (const char* running : kRunning) {
        command << separator << running;
        separator = ":";
    }
    command << " " << faults << " ./updater '" << archive_.string() << "' </dev/null >/dev/null 2>'"
            << errors.string() << "'";
    const int status = std::system(command.str().c_str());
    RunResult result;
    // The shell reports a child killed by a signal as 128 + the signal.
    result.killed = status != -1 && ((WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) ||
                                     (WIFEXITED(status) && WEXITSTATUS(status) == 128 + SIGKILL));
    result.exited = status != -1 && WIFEXITED(status) && !result.killed;
    result.exitCode = result.exited ? WEXITSTATUS(status) : -1;
    result.errors = ReadFileText(errors);
    return result;
}

FolderState Installation::State() const
{
    FolderState state;
    for (const auto& item : fs::recursive_directory_iterator(program_)) {
        const std::string name = item.path().lexically_relative(program_).generic_string();
        if (name == "updater") continue;
        if (item.is_directory()) {
            state[name + "/"] = {};
        } else {
            state[name] = ReadFileBytes(item.path());
        }
    }
    return state;
}

std::map<std::string, unsigned long> Installation::CountCalls(UpdateKind kind)
{
    Reset(kind);
    const RunResult clean = Run("");
    EXPECT_EQ(clean.exitCode, kind == UpdateKind::Whole ? kExitUpdated : kExitKept) << clean.errors;
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

const FolderState& Installation::OldVersion()
{
    static const FolderState old = OldFiles();
    return old;
}

const FolderState& Installation::NewVersion()
{
    static const FolderState next = NewFiles();
    return next;
}

FolderState WithoutOwnFiles(const FolderState& state, FolderState* own)
{
    FolderState rest;
    for (const auto& [name, bytes] : state) {
        if (IsOwnFile(name)) {
            if (own && name != kKeptBeside) (*own)[name] = bytes;
        } else {
            rest[name] = bytes;
        }
    }
    return rest;
}

void RunOverInstallations(size_t count, const std::function<void(Installation&, size_t)>& work)
{
    // Every copy of the updater is made first: a child forked while a copy
    // is still open for writing holds it open, and starting that copy fails
    // with "Text file busy".
    const unsigned cores = std::max(1u, std::min(4u, std::thread::hardware_concurrency()));
    std::vector<Installation> installations(cores);
    std::atomic<size_t> next{0};
    auto worker = [&](Installation& installation) {
        for (size_t i = next++; i < count && !::testing::Test::HasFailure(); i = next++) {
            work(installation, i);
        }
    };
    std::vector<std::thread> threads;
    for (Installation& installation : installations) {
        threads.emplace_back(worker, std::ref(installation));
    }
    for (std::thread& thread : threads) thread.join();
}
