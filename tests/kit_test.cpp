// The main program's client library (kit/): SHA-256 against published
// vectors, the drop list applied only inside the program folder, and the
// outcome told from the note, the running version and the updater's record.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "../archive/own_names.h"
#include "support/file_content.h"
#include "support/scratch_folder.h"
#include "tavix_update.h"

namespace fs = std::filesystem;

namespace {

std::string Sha256Hex(const std::string& data, size_t piece)
{
    TvxSha256 hash;
    TvxStartSha256(&hash);
    for (size_t at = 0; at < data.size(); at += piece) {
        TvxAddSha256(&hash, data.data() + at, std::min(piece, data.size() - at));
    }
    unsigned char digest[32];
    TvxFinishSha256(&hash, digest);
    std::string hex;
    for (unsigned char byte : digest) {
        char two[3];
        std::snprintf(two, sizeof two, "%02x", byte);
        hex += two;
    }
    return hex;
}

bool WriteText(const fs::path& path, const std::string& text)
{
    fs::create_directories(path.parent_path());
    return WriteFileBytes(path, ByteVector(text.begin(), text.end()));
}

}  // namespace

TEST(Kit, Sha256OfTheStandardsVectorsInAnyPieces)
{
    const struct {
        std::string data;
        const char* digest;
    } vectors[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& vector : vectors) {
        for (size_t piece : {size_t(1), size_t(55), size_t(64), size_t(1000000)}) {
            EXPECT_EQ(Sha256Hex(vector.data, piece), vector.digest)
                << vector.data.size() << " bytes in pieces of " << piece;
        }
    }
}

TEST(Kit, ADownloadIsCheckedBySizeAndHash)
{
    ScratchFolder scratch;
    const std::string data(200000, 'a');
    ASSERT_TRUE(WriteText(scratch.File("update.zip"), data));
    const std::string path = scratch / "update.zip";
    std::string hash = Sha256Hex(data, data.size());
    EXPECT_EQ(TvxCheckDownload(path.c_str(), data.size(), hash.c_str()), TVX_DOWNLOAD_OK);
    for (char& c : hash) c = char(std::toupper(c));
    EXPECT_EQ(TvxCheckDownload(path.c_str(), data.size(), hash.c_str()), TVX_DOWNLOAD_OK);
    EXPECT_EQ(TvxCheckDownload(path.c_str(), data.size() + 1, hash.c_str()),
              TVX_DOWNLOAD_WRONG_SIZE);
    EXPECT_EQ(TvxCheckDownload(path.c_str(), data.size() - 1, hash.c_str()),
              TVX_DOWNLOAD_WRONG_SIZE);
    hash[10] = hash[10] == '0' ? '1' : '0';
    EXPECT_EQ(TvxCheckDownload(path.c_str(), data.size(), hash.c_str()), TVX_DOWNLOAD_WRONG_HASH);
    EXPECT_EQ(TvxCheckDownload(path.c_str(), data.size(), hash.substr(1).c_str()),
              TVX_DOWNLOAD_BAD_HASH);
    EXPECT_EQ(TvxCheckDownload((scratch / "none.zip").c_str(), 0, hash.c_str()),
              TVX_DOWNLOAD_UNREADABLE);
}

// A folder goes only once empty; no name leads out of the program folder.
TEST(Kit, TheDropListRemovesOnlyWhatItNamesInsideTheProgramFolder)
{
    ScratchFolder scratch;
    const fs::path program = scratch.File("Tavix");
    for (const char* name : {"plugins/a.dll", "plugins/b.dll", "plugins/user.ini", "old/x.txt",
                             "old/deep/y.txt", "keep.txt"}) {
        ASSERT_TRUE(WriteText(program / name, name));
    }
    fs::create_directories(program / "old" / "empty");
    ASSERT_TRUE(WriteText(scratch.File("outside.txt"), "theirs"));
    const std::string readOnly = (program / "plugins" / "b.dll").string();
    ASSERT_TRUE(SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(WriteText(program / TVX_DROP_LIST_NAME,
                          "old/empty/\nplugins/\nplugins/b.dll\nplugins/a.dll\nold/\n"
                          "old/deep/y.txt\nold/deep/\nold/x.txt\nmissing.txt\r\n../outside.txt\n"
                          "/keep.txt\nC:keep.txt\nkeep.txt/\nupdater.EXE\n"));
    ASSERT_TRUE(WriteText(program / TVX_UPDATER_NAME, "updater"));

    const std::string folder = program.string();
    const std::string list = (program / TVX_DROP_LIST_NAME).string();
    // Stayed: plugins/ (it holds user.ini), the three names that lead out or
    // through a drive, keep.txt, a file where the list names a folder, and
    // the updater.
    EXPECT_EQ(TvxRemoveDroppedFiles(folder.c_str(), list.c_str()), 6);
    EXPECT_TRUE(fs::exists(program / TVX_UPDATER_NAME));
    EXPECT_FALSE(fs::exists(program / "plugins" / "a.dll"));
    EXPECT_FALSE(fs::exists(program / "plugins" / "b.dll"));
    EXPECT_EQ(ReadFileText(program / "plugins" / "user.ini"), "plugins/user.ini");
    EXPECT_FALSE(fs::exists(program / "old"));
    EXPECT_EQ(ReadFileText(program / "keep.txt"), "keep.txt");
    EXPECT_EQ(ReadFileText(scratch.File("outside.txt")), "theirs");

    EXPECT_EQ(TvxRemoveDroppedFiles(folder.c_str(), (scratch / "none.txt").c_str()), 0);
}

class KitOutcome : public ::testing::Test {
protected:
    // A note as TvxStartUpdate leaves it, `secondsAgo` after its attempt.
    void WriteNote(int attempts, long long secondsAgo, const std::string& archive)
    {
        FILETIME now;
        GetSystemTimeAsFileTime(&now);
        const unsigned long long ticks =
            ((unsigned long long)now.dwHighDateTime << 32 | now.dwLowDateTime) -
            (unsigned long long)(secondsAgo * 10000000LL);
        ASSERT_TRUE(WriteText(program_ / TVX_NOTE_NAME,
                              "tavix-update 1\nfrom 2.0\nto 2.1\nattempts " +
                                  std::to_string(attempts) + "\nstarted " + std::to_string(ticks) +
                                  "\narchive " + archive + "\n"));
    }

    TvxUpdateState Read(const char* running)
    {
        TvxUpdateState state;
        EXPECT_TRUE(TvxReadUpdateState(folder_.c_str(), running, &state));
        return state;
    }

    ScratchFolder scratch_;
    fs::path program_ = scratch_.File("Tavix");
    std::string folder_ = program_.string();
    std::string archive_ = scratch_ / "tavix-2.1.zip";
};

TEST_F(KitOutcome, TheRunningVersionTellsAnUpdateInstalledFromOneUndone)
{
    fs::create_directories(program_);
    EXPECT_EQ(Read("2.0").outcome, TVX_NO_UPDATE);
    EXPECT_EQ(Read("2.0").action, TVX_ACT_NOTHING);

    // The new version runs while a scanner kept the archive: installed.
    ASSERT_TRUE(WriteText(archive_, "zip"));
    WriteNote(1, 3, archive_);
    TvxUpdateState state = Read("2.1");
    EXPECT_EQ(state.outcome, TVX_INSTALLED);
    EXPECT_EQ(state.action, TVX_ACT_FINISH);
    EXPECT_TRUE(state.archiveKept);

    // The old version, seconds after the attempt: the holder may still hold.
    state = Read("2.0");
    EXPECT_EQ(state.outcome, TVX_NOT_INSTALLED);
    EXPECT_EQ(state.reason, TVX_REASON_UNDONE);
    EXPECT_EQ(state.action, TVX_ACT_RETRY_LATER);
    EXPECT_GE(state.waitSeconds, DWORD(TVX_RETRY_PAUSE_SECONDS - 4));
    EXPECT_LE(state.waitSeconds, DWORD(TVX_RETRY_PAUSE_SECONDS - 2));
    WriteNote(1, TVX_RETRY_PAUSE_SECONDS + 1, archive_);
    EXPECT_EQ(Read("2.0").action, TVX_ACT_RETRY_NOW);
    WriteNote(1, -3600, archive_);  // a clock set back counts as waited
    EXPECT_EQ(Read("2.0").action, TVX_ACT_RETRY_NOW);
    WriteNote(TVX_MOST_ATTEMPTS, 3600, archive_);
    EXPECT_EQ(Read("2.0").action, TVX_ACT_GIVE_UP);
    WriteNote(1, 3600, archive_ + ".gone");
    state = Read("2.0");
    EXPECT_EQ(state.reason, TVX_REASON_ARCHIVE_GONE);
    EXPECT_EQ(state.action, TVX_ACT_DOWNLOAD);

    // The updater's record: finish the run first, whatever version runs.
    for (const char* record : {kSwapRecordName, kCommittedRecordName}) {
        for (const char* running : {"2.0", "2.1"}) {
            WriteNote(1, 3, archive_);
            ASSERT_TRUE(WriteText(program_ / record, ""));
            state = Read(running);
            EXPECT_EQ(state.outcome, TVX_INTERRUPTED) << record << " " << running;
            EXPECT_EQ(state.action, TVX_ACT_RETRY_NOW) << record << " " << running;
            fs::remove(program_ / record);
        }
    }

    // Neither version: installed by other means, and the note goes.
    EXPECT_EQ(Read("3.0").outcome, TVX_NO_UPDATE);
    EXPECT_FALSE(fs::exists(program_ / TVX_NOTE_NAME));

    ASSERT_TRUE(WriteText(program_ / TVX_NOTE_NAME, "tavix-update 1\nfrom 2.0\n"));
    TvxUpdateState unread;
    EXPECT_FALSE(TvxReadUpdateState(folder_.c_str(), "2.0", &unread));
}

TEST_F(KitOutcome, FinishingRemovesTheDroppedFilesTheListTheKeptArchiveAndTheNote)
{
    ASSERT_TRUE(WriteText(program_ / "old.dll", "old"));
    ASSERT_TRUE(WriteText(program_ / TVX_DROP_LIST_NAME, "old.dll\n"));
    ASSERT_TRUE(WriteText(archive_, "zip"));
    WriteNote(2, 3, archive_);
    const TvxUpdateState state = Read("2.1");
    ASSERT_EQ(state.outcome, TVX_INSTALLED);
    EXPECT_EQ(TvxFinishUpdate(folder_.c_str(), &state), 0);
    EXPECT_FALSE(fs::exists(program_ / "old.dll"));
    EXPECT_FALSE(fs::exists(program_ / TVX_DROP_LIST_NAME));
    EXPECT_FALSE(fs::exists(archive_));
    EXPECT_FALSE(fs::exists(program_ / TVX_NOTE_NAME));
    EXPECT_EQ(Read("2.1").outcome, TVX_NO_UPDATE);
}

TEST(Kit, ReadOnlyFilesOfTheInstallAreMadeWritable)
{
    ScratchFolder scratch;
    const fs::path file = scratch.File("bin/ro.dll");
    ASSERT_TRUE(WriteText(file, "x"));
    ASSERT_TRUE(SetFileAttributesA(file.string().c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(TvxClearReadOnly(scratch.String().c_str()), 0);
    EXPECT_EQ(GetFileAttributesA(file.string().c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
}
