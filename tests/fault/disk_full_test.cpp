// A target on a file system with no room: writing the replacement fails with
// RESULT_WRITE, the old file stays as it was and nothing staged is left; and
// a folder of the install that is a file system of its own, staged on it. A
// 64 KiB tmpfs, which needs the right to mount (root, as in CI); without it
// the tests say so and are skipped.
#include <gtest/gtest.h>

#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "archive/archive_handle.h"
#include "support/archive_fixture.h"
#include "support/current_directory_scope.h"

namespace fs = std::filesystem;

namespace {

class SmallFileSystem {
public:
    SmallFileSystem() : path_(root_.Path() / "full")
    {
        fs::create_directory(path_);
        mounted_ = mount("tmpfs", path_.c_str(), "tmpfs", 0, "size=64k") == 0;
        if (!mounted_) error_ = std::strerror(errno);
    }
    ~SmallFileSystem()
    {
        if (mounted_) umount(path_.c_str());
    }
    SmallFileSystem(const SmallFileSystem&) = delete;
    SmallFileSystem& operator=(const SmallFileSystem&) = delete;

    bool Mounted() const { return mounted_; }
    const std::string& Error() const { return error_; }
    const fs::path& Path() const { return path_; }
    const fs::path& Beside() const { return root_.Path(); }

private:
    ScratchFolder root_;
    fs::path path_;
    bool mounted_ = false;
    std::string error_;
};

TEST(DiskFull, WriteFailsAndTheOldFileStays)
{
    SmallFileSystem small;
    if (!small.Mounted()) GTEST_SKIP() << "cannot mount a 64 KiB tmpfs: " << small.Error();

    const ByteVector old = Bytes("the old program, still whole\n");
    ASSERT_TRUE(WriteFileBytes(small.Path() / "Tavix.exe", old));
    TestEntry big = FileEntry("Tavix.exe", PseudoRandomBytes(200000, 5), 8);
    TestEntry fits = FileEntry("small.txt", Bytes("fits"), 0);
    const fs::path archive = small.Beside() / "update.zip";
    ASSERT_TRUE(WriteFileBytes(archive, BuildZip({big, fits})));

    CurrentDirectoryScope inSmall(small.Path());
    ArchiveHandle* handle = OpenArchive(archive.string().c_str());
    ASSERT_NE(handle, nullptr);
    ArchiveEntry entry{};
    GetArchiveEntry(handle, 0, &entry);
    EXPECT_EQ(ExtractArchiveEntry(handle, 0, entry.name), RESULT_WRITE);
    GetArchiveEntry(handle, 1, &entry);
    EXPECT_EQ(ExtractArchiveEntry(handle, 1, entry.name), RESULT_OK) << "the room is free again";
    EXPECT_EQ(ReadFileBytes(small.Path() / "~tvx.new/t/small.txt"), Bytes("fits")) << "staged";
    CloseArchive(handle);

    // The update as a whole failed: undone.
    EXPECT_EQ(ReadFileBytes(small.Path() / "Tavix.exe"), old);
    EXPECT_FALSE(fs::exists(small.Path() / "small.txt"));
    EXPECT_TRUE(FindOwnFiles(small.Path()).empty());
}

// A sub-folder that is another volume (a mount point, a junction on
// Windows): what goes below it is staged on that volume, so that every move
// of the swap stays on one volume and the update goes through.
TEST(DiskFull, AFolderOnAnotherVolumeIsStagedOnIt)
{
    SmallFileSystem small;
    if (!small.Mounted()) GTEST_SKIP() << "cannot mount a 64 KiB tmpfs: " << small.Error();
    const fs::path program = small.Beside();
    ASSERT_TRUE(WriteFileBytes(small.Path() / "x.txt", Bytes("old x")));
    ASSERT_TRUE(WriteFileBytes(
        program / "update.zip",
        BuildZip({FileEntry("full/x.txt", Bytes("new x")), FileEntry("full/sub/y.txt", Bytes("y")),
                  FileEntry("top.txt", Bytes("top"))})));
    CurrentDirectoryScope inProgram(program);
    ArchiveHandle* handle = OpenArchive("update.zip");
    ASSERT_NE(handle, nullptr);
    for (int32_t i = 0; i < 3; ++i) {
        ArchiveEntry entry{};
        GetArchiveEntry(handle, i, &entry);
        EXPECT_EQ(ExtractArchiveEntry(handle, i, entry.name), RESULT_OK) << i;
    }
    EXPECT_EQ(ReadFileBytes(small.Path() / "~tvx.new/t/x.txt"), Bytes("new x"))
        << "staged on its own volume";
    EXPECT_EQ(CloseArchive(handle), RESULT_OK);
    EXPECT_EQ(ReadFileBytes(small.Path() / "x.txt"), Bytes("new x"));
    EXPECT_EQ(ReadFileBytes(small.Path() / "sub/y.txt"), Bytes("y"));
    EXPECT_EQ(ReadFileBytes(program / "top.txt"), Bytes("top"));
    EXPECT_TRUE(FindOwnFiles(program).empty());
}

}  // namespace
