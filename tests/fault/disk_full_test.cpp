// A target on a file system with no room: writing the replacement fails with
// RESULT_WRITE, the old file stays as it was and no temporary is left. The
// program folder is a 64 KiB tmpfs, which needs the right to mount (root, as
// in CI); without it the test says so and is skipped.
#include <gtest/gtest.h>

#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "archive/archive_handle.h"
#include "support/archive_fixture.h"

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

}  // namespace
