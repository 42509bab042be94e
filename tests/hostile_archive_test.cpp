// Archives built to attack the reader, each run through the update loop
// (describe and extract every entry) in a program folder nested three levels
// deep in a sandbox. Whatever the archive says, nothing may appear outside
// that folder, no temporary may stay, and the folder must hold exactly the
// files each case expects. The checker, run first over the same folder, must
// give each entry the very result the update loop gives it.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "app/archive_unpack.h"
#include "checker/check_run.h"
#include "support/current_directory_scope.h"
#include "support/scratch_folder.h"
#include "support/zip_builder.h"

namespace fs = std::filesystem;

namespace {

constexpr char kDirectoryMark[] = "<dir>";

// What a folder holds: relative paths with '/' separators, mapped to the file
// content or kDirectoryMark.
using FolderContent = std::map<std::string, std::string>;

struct UpdateOutcome {
    bool opened = false;
    int32_t entryCount = 0;
    std::vector<int32_t> results;  // ExtractArchiveEntry's, per index
    FolderContent program;         // what the program folder holds afterwards
};

FolderContent ListFolder(const fs::path& root, const fs::path& skip = {})
{
    FolderContent content;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
         ++it) {
        const std::string relative = it->path().lexically_relative(root).generic_string();
        if (it->is_directory()) {
            if (it->path() == skip) it.disable_recursion_pending();
            content[relative] = kDirectoryMark;
        } else {
            content[relative] = ReadFileText(it->path());
        }
    }
    return content;
}

// What the checker says of each entry of `archive` for `install`, which it
// only reads.
std::vector<EntryVerdict> CheckEntries(const fs::path& archive, const fs::path& install)
{
    ArchiveCheck check;
    std::vector<EntryVerdict> verdicts;
    if (OpenCheck(&check, archive.string().c_str(), install.string().c_str()) ==
        CheckStart::Ready) {
        EntryVerdict verdict;
        while (CheckNextEntry(&check, &verdict)) verdicts.push_back(verdict);
    }
    CloseCheck(&check);
    EXPECT_TRUE(check.scratchRemoved);
    return verdicts;
}

class Sandbox {
public:
    Sandbox() : program_(root_.Path() / "a" / "b" / "prog") { fs::create_directories(program_); }

    // Writes the archive beside (not inside) the program folder and runs the
    // update loop over it with the program folder as current directory.
    // `entryName` is a name the archive itself gives a file, however much it
    // looks like a temporary.
    UpdateOutcome Run(const ByteVector& archive, const std::string& entryName = "")
    {
        const fs::path archivePath = root_.Path() / "update.zip";
        WriteFileBytes(archivePath, archive);
        const std::vector<EntryVerdict> verdicts = CheckEntries(archivePath, program_);
        CurrentDirectoryScope inProgram(program_);

        UpdateOutcome outcome;
        ArchiveUnpack unpack;
        OpenUnpack(&unpack, archivePath.string().c_str());
        outcome.opened = unpack.handle != nullptr;
        outcome.entryCount = unpack.entryCount;
        while (UnpackNextEntry(&unpack)) outcome.results.push_back(unpack.extracted);
        CloseUnpack(&unpack);

        EXPECT_EQ(verdicts.size(), outcome.results.size()) << "the checker saw other entries";
        for (size_t i = 0; i < verdicts.size() && i < outcome.results.size(); ++i) {
            EXPECT_EQ(verdicts[i].result, outcome.results[i]) << "the checker disagrees on " << i;
            EXPECT_EQ(verdicts[i].kind == VerdictKind::Refused, outcome.results[i] != RESULT_OK);
        }
        outcome.program = ListFolder(program_);
        std::vector<std::string> outside;
        for (const auto& [path, content] : ListFolder(root_.Path(), program_)) {
            outside.push_back(path);
        }
        EXPECT_EQ(outside, (std::vector<std::string>{"a", "a/b", "a/b/prog", "update.zip"}))
            << "something was written outside the program folder";
        EXPECT_TRUE(ReadFileBytes(archivePath) == archive) << "the archive itself was changed";
        for (const auto& [path, content] : outcome.program) {
            if (path == entryName) continue;
            EXPECT_NE(fs::path(path).filename().string().rfind("~tvx", 0), 0u)
                << "temporary left behind: " << path;
        }
        return outcome;
    }

private:
    ScratchFolder root_;
    fs::path program_;
};

UpdateOutcome RunUpdateLoop(const ByteVector& archive)
{
    Sandbox sandbox;
    return sandbox.Run(archive);
}

TestEntry File(const std::string& name, const std::string& text, uint16_t method = 8)
{
    return FileEntry(name, Bytes(text), method);
}

bool AllFailed(const UpdateOutcome& outcome)
{
    for (int32_t result : outcome.results) {
        if (result == RESULT_OK) return false;
    }
    return true;
}

TEST(HostileArchive, EntryCountsThatLie)
{
    const std::vector<TestEntry> two{File("one.txt", "first"), File("two.txt", "second")};
    const FolderContent both{{"one.txt", "first"}, {"two.txt", "second"}};

    ZipOptions more;
    more.entriesOnDisk = 5;
    more.totalEntries = 5;
    UpdateOutcome outcome = RunUpdateLoop(BuildZip(two, more));
    EXPECT_EQ(outcome.entryCount, 5);
    EXPECT_EQ(outcome.program, both);
    EXPECT_EQ(outcome.results, (std::vector<int32_t>{RESULT_OK, RESULT_OK, RESULT_CORRUPT,
                                                     RESULT_CORRUPT, RESULT_CORRUPT}));

    // The most a count can claim: every claimed entry past the real ones
    // fails fast instead of walking the directory again and again.
    ZipOptions most;
    most.entriesOnDisk = 0xFFFF;
    most.totalEntries = 0xFFFF;
    outcome = RunUpdateLoop(BuildZip(two, most));
    EXPECT_EQ(outcome.entryCount, 0xFFFF);
    EXPECT_EQ(outcome.program, both);

    ZipOptions fewer;
    fewer.entriesOnDisk = 1;
    fewer.totalEntries = 1;
    outcome = RunUpdateLoop(BuildZip(two, fewer));
    EXPECT_EQ(outcome.program, (FolderContent{{"one.txt", "first"}}));
    EXPECT_EQ(outcome.results, (std::vector<int32_t>{RESULT_OK}));

    ZipOptions none;
    none.entriesOnDisk = 0;
    none.totalEntries = 0;
    outcome = RunUpdateLoop(BuildZip(two, none));
    EXPECT_TRUE(outcome.opened);
    EXPECT_TRUE(outcome.program.empty());

    ZipOptions disagreeing;
    disagreeing.totalEntries = 3;
    outcome = RunUpdateLoop(BuildZip(two, disagreeing));
    EXPECT_FALSE(outcome.opened);
    EXPECT_TRUE(outcome.program.empty());
}

TEST(HostileArchive, DirectoryOffsetsPastTheEndOrIntoTheData)
{
    const std::vector<TestEntry> two{File("one.txt", "first"), File("two.txt", "second")};
    ZipLayout layout;
    const ByteVector plain = BuildZip(two, {}, &layout);

    for (uint32_t offset : {layout.endRecordPos + 1, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
        ZipOptions pastEnd;
        pastEnd.directoryOffset = offset;
        UpdateOutcome outcome = RunUpdateLoop(BuildZip(two, pastEnd));
        EXPECT_FALSE(outcome.opened) << offset;
        EXPECT_TRUE(outcome.program.empty()) << offset;
    }

    ZipOptions hugeSize;
    hugeSize.directorySize = 0xFFFFFFFF;
    EXPECT_FALSE(RunUpdateLoop(BuildZip(two, hugeSize)).opened);

    // Offsets that still fit before the end record move the archive's start,
    // so every header is looked for in the wrong place.
    for (uint32_t offset : {0u, layout.entries[1].localHeaderPos, layout.directoryPos - 3}) {
        ZipOptions intoData;
        intoData.directoryOffset = offset;
        UpdateOutcome outcome = RunUpdateLoop(BuildZip(two, intoData));
        EXPECT_TRUE(outcome.program.empty()) << offset;
        EXPECT_TRUE(AllFailed(outcome)) << offset;
    }

    // A directory that claims the local headers as its own.
    ZipOptions wholeFile;
    wholeFile.directoryOffset = 0;
    wholeFile.directorySize = layout.endRecordPos;
    UpdateOutcome outcome = RunUpdateLoop(BuildZip(two, wholeFile));
    EXPECT_TRUE(outcome.program.empty());
    EXPECT_TRUE(AllFailed(outcome));
}

TEST(HostileArchive, SizesThatCannotBeTrue)
{
    // 0xFFFFFFFF everywhere, as a ZIP64 archive writes without its extra field.
    for (uint16_t method : {0, 8}) {
        TestEntry marker = File("marker.bin", "small content", method);
        marker.compressedSize = 0xFFFFFFFF;
        marker.uncompressedSize = 0xFFFFFFFF;
        UpdateOutcome outcome = RunUpdateLoop(BuildZip({marker, File("after.txt", "after")}));
        EXPECT_EQ(outcome.program, (FolderContent{{"after.txt", "after"}})) << method;
        EXPECT_NE(outcome.results[0], RESULT_OK) << method;
    }

    // Declared as 4 GB, holding a few bytes.
    for (uint16_t method : {0, 8}) {
        TestEntry huge = File("huge.bin", "not four gigabytes", method);
        huge.uncompressedSize = 0xFFFFFFF0;
        UpdateOutcome outcome = RunUpdateLoop(BuildZip({huge}));
        EXPECT_TRUE(outcome.program.empty()) << method;
        EXPECT_NE(outcome.results[0], RESULT_OK) << method;
    }

    // Compressed size larger than the whole file.
    TestEntry beyond = File("beyond.bin", "data", 0);
    beyond.compressedSize = 0x7FFFFFF0;
    beyond.uncompressedSize = 0x7FFFFFF0;
    UpdateOutcome outcome = RunUpdateLoop(BuildZip({beyond}));
    EXPECT_TRUE(outcome.program.empty());
    EXPECT_NE(outcome.results[0], RESULT_OK);
}

TEST(HostileArchive, DeflateBombStopsAtTheDeclaredSize)
{
    const size_t declared = 1 << 20;
    const ByteVector zeros(size_t(32) << 20, 0);
    const ByteVector kernel = DeflateRaw(zeros, 9);
    ASSERT_LT(kernel.size(), size_t(64) << 10);

    // Declared as the first megabyte, with that megabyte's CRC: exactly it.
    TestEntry bomb;
    bomb.name = "bomb.bin";
    bomb.data.assign(declared, 0);
    bomb.payload = kernel;
    UpdateOutcome outcome = RunUpdateLoop(BuildZip({bomb}));
    ASSERT_EQ(outcome.results, (std::vector<int32_t>{RESULT_OK}));
    EXPECT_EQ(outcome.program.at("bomb.bin").size(), declared);

    // Declared with the CRC of everything it would inflate to: refused.
    bomb.crc = Crc32Of(zeros);
    outcome = RunUpdateLoop(BuildZip({bomb}));
    EXPECT_TRUE(outcome.program.empty());
    EXPECT_NE(outcome.results[0], RESULT_OK);
}

TEST(HostileArchive, NamesOfEveryLength)
{
    // The longest name a header can carry, in both headers.
    TestEntry longest = File(std::string(0xFFFF, 'n'), "long");
    UpdateOutcome outcome = RunUpdateLoop(BuildZip({longest, File("short.txt", "short")}));
    EXPECT_EQ(outcome.program, (FolderContent{{"short.txt", "short"}}));
    EXPECT_NE(outcome.results[0], RESULT_OK);

    // A long name whose first 259 bytes would make a shorter, valid name.
    TestEntry cut = File("dir/" + std::string(255, 'x') + "/file.txt", "cut");
    outcome = RunUpdateLoop(BuildZip({cut}));
    for (const auto& [path, content] : outcome.program) {
        EXPECT_EQ(content, kDirectoryMark) << "a file under a cut name: " << path;
    }
    EXPECT_NE(outcome.results[0], RESULT_OK);

    // A name length that runs past the end of the archive.
    TestEntry runaway = File("runaway.txt", "runaway");
    runaway.central.nameLength = 0xFFFF;
    outcome = RunUpdateLoop(BuildZip({runaway}));
    EXPECT_TRUE(outcome.program.empty());

    // An empty name: there is no file to make.
    outcome = RunUpdateLoop(BuildZip({File("", "nameless")}));
    EXPECT_TRUE(outcome.program.empty());
    EXPECT_NE(outcome.results[0], RESULT_OK);
}

TEST(HostileArchive, OverlappingEntriesAndRepeatedNames)
{
    // Two central headers sharing one local header and its data: each file
    // still holds exactly what its entry declares.
    ZipLayout layout;
    std::vector<TestEntry> shared{File("one.txt", "shared data"), File("two.txt", "shared data")};
    BuildZip(shared, {}, &layout);
    shared[1].central.localHeaderOffset = layout.entries[0].localHeaderPos;
    UpdateOutcome outcome = RunUpdateLoop(BuildZip(shared));
    EXPECT_EQ(outcome.program,
              (FolderContent{{"one.txt", "shared data"}, {"two.txt", "shared data"}}));

    // A second entry that claims the first one's data but declares its own.
    std::vector<TestEntry> claimed{File("one.txt", "first"), File("two.txt", "other")};
    BuildZip(claimed, {}, &layout);
    claimed[1].central.localHeaderOffset = layout.entries[0].localHeaderPos;
    outcome = RunUpdateLoop(BuildZip(claimed));
    EXPECT_EQ(outcome.program, (FolderContent{{"one.txt", "first"}}));
    EXPECT_EQ(outcome.results[1], RESULT_CORRUPT);

    // The same name twice: the file the first wrote is never replaced by
    // the second (see NamesWindowsWouldChange for other spellings of one
    // file)...
    outcome = RunUpdateLoop(BuildZip({File("same.txt", "older"), File("same.txt", "newer")}));
    EXPECT_EQ(outcome.program, (FolderContent{{"same.txt", "older"}}));
    EXPECT_EQ(outcome.results, (std::vector<int32_t>{RESULT_OK, RESULT_NO_FILE}));

    // ...but a first that wrote nothing leaves the name to the second.
    TestEntry damaged = File("same.txt", "older", 0);
    damaged.crc = 0x12345678;
    outcome = RunUpdateLoop(BuildZip({damaged, File("same.txt", "newer")}));
    EXPECT_EQ(outcome.program, (FolderContent{{"same.txt", "newer"}}));
    EXPECT_EQ(outcome.results, (std::vector<int32_t>{RESULT_CORRUPT, RESULT_OK}));

    // A file, then a folder of the same name, then a file inside it.
    TestEntry folder = File("clash/", "", 0);
    folder.externalAttributes = 0x10;
    outcome =
        RunUpdateLoop(BuildZip({File("clash", "file"), folder, File("clash/inner.txt", "x")}));
    EXPECT_EQ(outcome.program, (FolderContent{{"clash", "file"}}));
    EXPECT_EQ(outcome.results, (std::vector<int32_t>{RESULT_OK, RESULT_NO_FILE, RESULT_NO_FILE}));
}

TEST(HostileArchive, LocalHeadersThatPointElsewhere)
{
    ZipLayout layout;
    std::vector<TestEntry> crossed{File("a.txt", "alpha"), File("b.txt", "bravo")};
    BuildZip(crossed, {}, &layout);

    // Each entry's central header points at the other's local header.
    std::vector<TestEntry> swapped = crossed;
    swapped[0].central.localHeaderOffset = layout.entries[1].localHeaderPos;
    swapped[1].central.localHeaderOffset = layout.entries[0].localHeaderPos;
    UpdateOutcome outcome = RunUpdateLoop(BuildZip(swapped));
    EXPECT_TRUE(outcome.program.empty());
    EXPECT_EQ(outcome.results, (std::vector<int32_t>{RESULT_CORRUPT, RESULT_CORRUPT}));

    // Into the data, at the central directory, at the end record, past the end.
    for (uint32_t offset : {layout.entries[0].dataPos, layout.directoryPos, layout.endRecordPos,
                            layout.endRecordPos + 100, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
        std::vector<TestEntry> misplaced = crossed;
        misplaced[0].central.localHeaderOffset = offset;
        outcome = RunUpdateLoop(BuildZip(misplaced));
        EXPECT_EQ(outcome.program, (FolderContent{{"b.txt", "bravo"}})) << offset;
        EXPECT_EQ(outcome.results[0], RESULT_CORRUPT) << offset;
    }

    // A local extra field that runs past the end of the archive.
    TestEntry runaway = File("extra.txt", "extra");
    runaway.local.extraLength = 0xFFFF;
    outcome = RunUpdateLoop(BuildZip({runaway}));
    EXPECT_TRUE(outcome.program.empty());
    EXPECT_NE(outcome.results[0], RESULT_OK);

    // An entry whose data runs into the central directory.
    TestEntry overrun = File("overrun.bin", "overrun", 0);
    overrun.compressedSize = 200;
    overrun.uncompressedSize = 200;
    outcome = RunUpdateLoop(BuildZip({overrun}));
    EXPECT_TRUE(outcome.program.empty());
    EXPECT_NE(outcome.results[0], RESULT_OK);
}

TEST(HostileArchive, PathTricksStayInsideTheProgramFolder)
{
    struct Trick {
        std::string name;
        std::string landsAt;  // relative to the program folder; empty: refused
    };
    const std::vector<Trick> tricks{
        {"../escape.txt", ""},
        {"..\\escape.txt", ""},
        {"../../../../escape.txt", "escape.txt"},
        {"a/../../escape.txt", ""},
        {"a\\..\\..\\escape.txt", ""},
        {"./../escape.txt", "escape.txt"},
        {"inner/..", ""},
        {"..", ""},
        {".", ""},
        {"inner/.", ""},
        {"/rooted.txt", "rooted.txt"},
        {"\\rooted2.txt", "rooted2.txt"},
        {"//server/share/unc.txt", "server/share/unc.txt"},
        {"\\\\server\\share\\unc2.txt", "server/share/unc2.txt"},
        {"C:\\drive.txt", "drive.txt"},
        {"C:drive2.txt", "drive2.txt"},
        {"C:/../drive3.txt", ""},
        {"x:\\y:\\/z.txt", "z.txt"},
        {"a/b/../../../c.txt", "c.txt"},
        {"a/b/../c.txt", "c.txt"},
        {"deep/./dot.txt", "deep/dot.txt"},
        {"double//slash.txt", "double/slash.txt"},
        {"mixed\\sep/arated.txt", "mixed/sep/arated.txt"},
        {"..name.txt", "..name.txt"},
        // Names that were once cut to another file's: at a zero byte, and
        // at 260 bytes or more ("Tavix.exe" and "readme.txt" once cleaned).
        {std::string("Tavix.exe\0.txt", 14), ""},
        {std::string(251, '/') + "Tavix.exe_manual_with_a_long_name.txt", ""},
        {[] {
             std::string name;
             for (int i = 0; i < 50; ++i) name += "a/../";
             return name + "readme.txt.bak";
         }(),
         ""},
    };
    for (const Trick& trick : tricks) {
        UpdateOutcome outcome = RunUpdateLoop(BuildZip({File(trick.name, "payload")}));
        ASSERT_EQ(outcome.results.size(), 1u) << trick.name;
        if (trick.landsAt.empty()) {
            EXPECT_NE(outcome.results[0], RESULT_OK) << trick.name;
            for (const auto& [path, content] : outcome.program) {
                EXPECT_EQ(content, kDirectoryMark) << trick.name << " made " << path;
            }
        } else {
            EXPECT_EQ(outcome.results[0], RESULT_OK) << trick.name;
            const auto found = outcome.program.find(trick.landsAt);
            ASSERT_NE(found, outcome.program.end()) << trick.name;
            EXPECT_EQ(found->second, "payload") << trick.name;
            size_t files = 0;
            for (const auto& [path, content] : outcome.program) files += content != kDirectoryMark;
            EXPECT_EQ(files, 1u) << trick.name;
        }
    }

    // Folder entries lose their climbing steps the same way.
    TestEntry climbing = File("../../outside/", "", 0);
    climbing.externalAttributes = 0x10;
    TestEntry refused = File("inner/../", "", 0);  // nothing left: the base itself
    refused.externalAttributes = 0x10;
    UpdateOutcome outcome = RunUpdateLoop(BuildZip({climbing, refused}));
    EXPECT_EQ(outcome.program, (FolderContent{{"outside", kDirectoryMark}}));
    EXPECT_EQ(outcome.results, (std::vector<int32_t>{RESULT_OK, RESULT_OK}));

    // A name that looks like one of extraction's own temporaries is an
    // ordinary file once written, and no temporary stays beside it.
    Sandbox sandbox;
    outcome = sandbox.Run(BuildZip({File("~tvx00010001.tmp", "payload")}), "~tvx00010001.tmp");
    EXPECT_EQ(outcome.program, (FolderContent{{"~tvx00010001.tmp", "payload"}}));

    // A local name that differs from the central one, of the same length.
    TestEntry disguised = File("safe.txt", "payload");
    disguised.localName = "../x.txt";
    outcome = RunUpdateLoop(BuildZip({disguised}));
    EXPECT_EQ(outcome.program, (FolderContent{{"safe.txt", "payload"}}));
}

// Names Windows would turn into another file (trimmed, a device, a stream)
// are refused with nothing made, not even a folder, on Linux too; so is a
// second spelling of a file the run already wrote. "." is only a step.
TEST(HostileArchive, NamesWindowsWouldChange)
{
    const auto folderEntry = [](const std::string& name) {
        TestEntry entry = File(name, "", 0);
        entry.externalAttributes = 0x10;
        return entry;
    };
    TestEntry superscript = File("COM\xC2\xB9.txt", "payload");
    superscript.flags = 0x0800;
    const std::vector<TestEntry> refused{
        File("bin /x.dll", "payload"),
        File(".. /x.txt", "payload"),
        File(". /x.txt", "payload"),
        File("a/.. /b.txt", "payload"),
        File("NUL/x.txt", "payload"),
        File("aux/x.txt", "payload"),
        File("a.txt.", "payload"),
        File("space ", "payload"),
        File("Con .log", "payload"),
        File("lpt0.txt", "payload"),
        File("a.txt:zone", "payload"),
        File("dir:x/y.txt", "payload"),
        superscript,
        folderEntry("bin /"),
        folderEntry("NUL/"),
        folderEntry("dir/x:y/"),
    };
    for (const TestEntry& entry : refused) {
        const UpdateOutcome outcome = RunUpdateLoop(BuildZip({entry}));
        EXPECT_EQ(outcome.results, (std::vector<int32_t>{RESULT_NO_FILE})) << entry.name;
        EXPECT_TRUE(outcome.program.empty()) << entry.name;
    }

    // Whether this file system takes "A.TXT" for "a.txt", as Windows does.
    ScratchFolder probe;
    WriteFileBytes(probe.Path() / "probe.txt", Bytes("x"));
    const bool foldsCase = fs::exists(probe.Path() / "PROBE.TXT");
    UpdateOutcome outcome = RunUpdateLoop(
        BuildZip({File("a.txt", "first"), File("./a.txt", "second"), File("sub/b.txt", "first"),
                  File("sub//b.txt", "second"), File("A.TXT", "third"), File("./ok.txt", "fine"),
                  File("COM10.txt", "fine"), File(".hidden", "fine")}));
    const int32_t caseTwin = foldsCase ? RESULT_NO_FILE : RESULT_OK;
    EXPECT_EQ(outcome.results,
              (std::vector<int32_t>{RESULT_OK, RESULT_NO_FILE, RESULT_OK, RESULT_NO_FILE, caseTwin,
                                    RESULT_OK, RESULT_OK, RESULT_OK}));
    EXPECT_EQ(outcome.program.at("a.txt"), "first");
    EXPECT_EQ(outcome.program.at("sub/b.txt"), "first");
    EXPECT_EQ(outcome.program.at("ok.txt"), "fine");
}

TEST(HostileArchive, DamagedDataNeverLeavesAPartialFile)
{
    std::vector<TestEntry> entries;
    TestEntry badCrc = File("crc.txt", "content");
    badCrc.crc = 0xDEADBEEF;
    entries.push_back(badCrc);
    TestEntry badDeflate = File("deflate.bin", "", 8);
    badDeflate.data = ByteVector(40000, 'd');
    badDeflate.payload = ByteVector(300, 0xFF);
    entries.push_back(badDeflate);
    TestEntry unknownMethod = File("method.bin", "content", 12);
    entries.push_back(unknownMethod);
    TestEntry encrypted = File("secret.txt", "content");
    encrypted.password = "password";
    entries.push_back(encrypted);
    TestEntry truncated = File("cut.bin", "", 0);
    truncated.data = ByteVector(50000, 'c');
    truncated.compressedSize = 40000;
    entries.push_back(truncated);
    entries.push_back(File("good.txt", "good"));

    const UpdateOutcome outcome = RunUpdateLoop(BuildZip(entries));
    EXPECT_EQ(outcome.program, (FolderContent{{"good.txt", "good"}}));
    for (size_t i = 0; i + 1 < outcome.results.size(); ++i) {
        EXPECT_NE(outcome.results[i], RESULT_OK) << entries[i].name;
    }
}

}  // namespace
