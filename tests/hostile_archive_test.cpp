// Archives built to attack the reader, each run through the update loop
// (describe and extract every entry) in an empty program folder nested three
// levels deep in a sandbox. Whatever the archive says, nothing may appear
// outside that folder, the folder must hold exactly the files each case
// expects once the loop is through, and closing must leave the whole update
// or none of it: the empty folder again when any entry failed, with nothing
// of the updater's own. The checker, run first over the same folder, must
// give each entry the very result the update loop gives it.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "app/archive_unpack.h"
#include "checker/check_run.h"
#include "support/archive_fixture.h"
#include "support/code_page_scope.h"
#include "support/current_directory_scope.h"
#include "support/file_time.h"
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
    std::vector<int32_t> results;       // ExtractArchiveEntry's, per index
    std::vector<ArchiveEntry> entries;  // as described, per index
    FolderContent program;              // what the entries made of the program folder, staged
                                        // before the close
    std::vector<std::string> refusals;  // the checker's reasons, per index ("" when none)
    std::string unopened;               // the checker's reason when the archive does not open
};

// `ownFiles` false leaves out the updater's own files (its undo record, the
// old files it keeps until the close).
FolderContent ListFolder(const fs::path& root, const fs::path& skip = {}, bool ownFiles = true)
{
    FolderContent content;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
         ++it) {
        if (!ownFiles && IsOwnFile(it->path())) continue;
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
// only reads, or why it cannot open the archive.
std::vector<EntryVerdict> CheckEntries(const fs::path& archive, const fs::path& install,
                                       std::string* unopened)
{
    ArchiveCheck check;
    std::vector<EntryVerdict> verdicts;
    const CheckStart start = OpenCheck(&check, archive.string().c_str(), install.string().c_str());
    if (start == CheckStart::Ready) {
        EntryVerdict verdict;
        while (CheckNextEntry(&check, &verdict)) verdicts.push_back(verdict);
    }
    if (start == CheckStart::ArchiveUnopened) *unopened = check.problem;
    CloseCheck(&check);
    EXPECT_TRUE(check.scratchRemoved);
    return verdicts;
}

// The program folder as the staged files would make it: what it holds, with
// what the update staged for it (its mirror in the new area) laid over it.
FolderContent StagedView(const fs::path& program)
{
    FolderContent view = ListFolder(program, {}, false);
    const fs::path mirror = program / "~tvx.new" / "t";
    if (fs::exists(mirror)) {
        for (const auto& [path, content] : ListFolder(mirror)) view[path] = content;
    }
    return view;
}

class Sandbox {
public:
    Sandbox() : program_(root_.Path() / "a" / "b" / "prog") { fs::create_directories(program_); }

    // Writes the archive beside (not inside) the program folder and runs the
    // update loop over it with the program folder as current directory.
    UpdateOutcome Run(const ByteVector& archive)
    {
        const fs::path archivePath = root_.Path() / "update.zip";
        WriteFileBytes(archivePath, archive);
        UpdateOutcome outcome;
        const std::vector<EntryVerdict> verdicts =
            CheckEntries(archivePath, program_, &outcome.unopened);
        CurrentDirectoryScope inProgram(program_);

        ArchiveUnpack unpack;
        OpenUnpack(&unpack, archivePath.string().c_str());
        outcome.opened = unpack.handle != nullptr;
        outcome.entryCount = unpack.entryCount;
        while (UnpackNextEntry(&unpack)) {
            outcome.results.push_back(unpack.extracted);
            outcome.entries.push_back(unpack.entry);
        }
        outcome.program = StagedView(program_);
        const bool updated = CloseUnpack(&unpack);
        const FolderContent closed = ListFolder(program_);
        EXPECT_TRUE(closed == (updated ? outcome.program : FolderContent{}))
            << "closing left part of an update, or something of the updater's own";
        EXPECT_EQ(outcome.unopened.empty(), outcome.opened) << "the checker opened it otherwise";

        EXPECT_EQ(verdicts.size(), outcome.results.size()) << "the checker saw other entries";
        for (const EntryVerdict& verdict : verdicts) outcome.refusals.push_back(verdict.reason);
        for (size_t i = 0; i < verdicts.size() && i < outcome.results.size(); ++i) {
            EXPECT_EQ(verdicts[i].result, outcome.results[i]) << "the checker disagrees on " << i;
            EXPECT_EQ(verdicts[i].kind == VerdictKind::Refused, outcome.results[i] != RESULT_OK);
        }
        std::vector<std::string> outside;
        for (const auto& [path, content] : ListFolder(root_.Path(), program_)) {
            outside.push_back(path);
        }
        EXPECT_EQ(outside, (std::vector<std::string>{"a", "a/b", "a/b/prog", "update.zip"}))
            << "something was written outside the program folder";
        EXPECT_TRUE(ReadFileBytes(archivePath) == archive) << "the archive itself was changed";
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

// A directory that does not add up is refused whole: nothing installed, the
// archive kept, and the checker says why.
TEST(HostileArchive, EntryCountsThatLie)
{
    const std::vector<TestEntry> two{File("one.txt", "first"), File("two.txt", "second")};
    const std::pair<uint16_t, const char*> counts[] = {
        {5, "the end record counts 5 entries but the directory holds 2"},
        // The most a count can claim: refused at once, not walked for each.
        {0xFFFF, "the end record counts 65535 entries but the directory holds 2"},
        {1, "the end record counts 1 entry but the directory holds 2"},
        {0, "the end record counts 0 entries but the directory holds 2"},
    };
    for (const auto& [count, reason] : counts) {
        ZipOptions lying;
        lying.entriesOnDisk = count;
        lying.totalEntries = count;
        UpdateOutcome outcome = RunUpdateLoop(BuildZip(two, lying));
        EXPECT_FALSE(outcome.opened) << count;
        EXPECT_TRUE(outcome.program.empty()) << count;
        EXPECT_EQ(outcome.unopened, reason);
    }

    ZipOptions disagreeing;
    disagreeing.totalEntries = 3;
    UpdateOutcome outcome = RunUpdateLoop(BuildZip(two, disagreeing));
    EXPECT_FALSE(outcome.opened);
    EXPECT_TRUE(outcome.program.empty());

    ZipLayout layout;
    BuildZip(two, {}, &layout);
    ZipOptions longer;
    longer.afterDirectory = ByteVector(46, 0);
    longer.directorySize = layout.directorySize + 46;
    outcome = RunUpdateLoop(BuildZip(two, longer));
    EXPECT_FALSE(outcome.opened);
    EXPECT_EQ(outcome.unopened, "the directory does not end where the end record says");

    std::vector<TestEntry> damaged = two;
    damaged[1].central.signature = 0x02014B51;
    outcome = RunUpdateLoop(BuildZip(damaged));
    EXPECT_FALSE(outcome.opened);
    EXPECT_TRUE(outcome.program.empty()) << "not even the entry before the damage";
    EXPECT_EQ(outcome.unopened,
              "the central header of entry 2 is damaged (the end record counts 2)");
}

// End records that are not the archive's own: one hidden in the comment, one
// appended, one in bytes after the archive's; and bytes after the only one.
TEST(HostileArchive, EndRecordsThatAreNotTheArchivesOwn)
{
    const std::vector<TestEntry> two{File("one.txt", "first"), File("two.txt", "second")};
    const FolderContent both{{"one.txt", "first"}, {"two.txt", "second"}};

    ZipOptions hidden;
    hidden.comment = EndRecordBytes(0, 0, 0, 0);
    UpdateOutcome outcome = RunUpdateLoop(BuildZip(two, hidden));
    EXPECT_EQ(outcome.program, both);
    EXPECT_EQ(outcome.results, (std::vector<int32_t>{RESULT_OK, RESULT_OK}));

    ZipLayout layout;
    BuildZip(two, {}, &layout);
    for (uint32_t offset : {0u, layout.endRecordPos + 22}) {
        ZipOptions appended;
        appended.trailer = EndRecordBytes(0, 0, offset, 0);
        outcome = RunUpdateLoop(BuildZip(two, appended));
        EXPECT_FALSE(outcome.opened) << offset;
        EXPECT_TRUE(outcome.program.empty()) << offset;
        EXPECT_EQ(outcome.unopened, "no central directory starts where its end record says");
    }

    // Bytes after the only end record: read as the other tools read them,
    // once the directory walk holds.
    ZipOptions trailing;
    trailing.trailer = PseudoRandomBytes(189, 5);
    for (uint8_t& byte : trailing.trailer) byte = byte == 0x50 ? 0x51 : byte;
    outcome = RunUpdateLoop(BuildZip(two, trailing));
    EXPECT_EQ(outcome.program, both);
    EXPECT_EQ(outcome.results, (std::vector<int32_t>{RESULT_OK, RESULT_OK}));

    // Not when those bytes hold another end record signature, nor when the
    // directory does not add up.
    ZipOptions marked = trailing;
    const ByteVector signature = {0x50, 0x4B, 0x05, 0x06};
    marked.trailer.insert(marked.trailer.begin() + 100, signature.begin(), signature.end());
    ZipOptions lying = trailing;
    lying.entriesOnDisk = lying.totalEntries = 1;
    for (const ZipOptions& options : {marked, lying}) {
        outcome = RunUpdateLoop(BuildZip(two, options));
        EXPECT_FALSE(outcome.opened);
        EXPECT_TRUE(outcome.program.empty());
    }
    EXPECT_EQ(RunUpdateLoop(BuildZip(two, lying)).unopened,
              "the end record counts 1 entry but the directory holds 2");
}

// Headers whose parts say more than they hold.
TEST(HostileArchive, ExtraBlocksAndNamesThatSayTooMuch)
{
    // Flags for three times over data for one, then Info-ZIP's "ux" block.
    TestEntry stamped = File("stamped.txt", "stamped");
    stamped.localExtra = ExtendedTimestampExtra(0x07, {1700000000});
    const ByteVector ux = {'u', 'x', 11, 0, 1, 4, 0xE8, 3, 0, 0, 4, 0xE8, 3, 0, 0};
    stamped.localExtra.insert(stamped.localExtra.end(), ux.begin(), ux.end());
    UpdateOutcome outcome = RunUpdateLoop(BuildZip({stamped}));
    ASSERT_EQ(outcome.results, (std::vector<int32_t>{RESULT_OK}));
    const ArchiveEntry& entry = outcome.entries[0];
    EXPECT_EQ(Ticks(entry.writeTime), (1700000000 + 11644473600LL) * 10000000LL);
    EXPECT_EQ(Ticks(entry.accessTime), Ticks(entry.creationTime)) << "both from the DOS time";
    EXPECT_GT(Ticks(entry.accessTime), Ticks(entry.writeTime));

    // In code page 936 a name ending in a lead byte would lose it.
    CodePageScope gbk(936);
    ASSERT_TRUE(gbk.Ok());
    outcome = RunUpdateLoop(BuildZip({File("Tavix.exe\x81", "not the program")}));
    EXPECT_TRUE(outcome.program.empty());
    EXPECT_EQ(outcome.results, (std::vector<int32_t>{RESULT_CORRUPT}));
    EXPECT_EQ(outcome.refusals,
              (std::vector<std::string>{"its name ends in half a character (a lone lead byte of "
                                        "this system's code page)"}));
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
    EXPECT_FALSE(outcome.opened);
    EXPECT_TRUE(outcome.program.empty());
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
    outcome = RunUpdateLoop(
        BuildZip({File("clash", "file"), FolderEntry("clash/"), File("clash/inner.txt", "x")}));
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

    // Folder entries lose their climbing steps the same way ("inner/../"
    // leaves nothing: the base itself).
    UpdateOutcome outcome =
        RunUpdateLoop(BuildZip({FolderEntry("../../outside/"), FolderEntry("inner/../")}));
    EXPECT_EQ(outcome.program, (FolderContent{{"outside", kDirectoryMark}}));
    EXPECT_EQ(outcome.results, (std::vector<int32_t>{RESULT_OK, RESULT_OK}));

    // Names of the updater's own, in any case, as any component, with a
    // trailing dot or as the 8.3 alias Windows gives them, are refused: the
    // swap or its undo would take such a file for its own.
    for (const char* own :
         {"~tvx00010001.tmp", "bin/~TVX0001ABCD.old", "Tavix.exe.~tvx00010001.old",
          "~tvx.undo/x.txt", "sub/~Tvx.Done", "~tvx.new/t/fine.txt", "~TVX.SWAP", "~tvx.commit.",
          "~tvx.lock", "~TVX~1.NEW/t/x.txt", "docs/~tvx.old/00000001"}) {
        outcome = RunUpdateLoop(BuildZip({File(own, "payload"), File("fine.txt", "fine")}));
        EXPECT_EQ(outcome.results, (std::vector<int32_t>{RESULT_NO_FILE, RESULT_OK})) << own;
        EXPECT_EQ(outcome.program, (FolderContent{{"fine.txt", "fine"}})) << own;
    }

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
        FolderEntry("bin /"),
        FolderEntry("NUL/"),
        FolderEntry("dir/x:y/"),
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
