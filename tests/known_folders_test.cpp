#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "archive/known_folders.h"

namespace {

std::string Folder(int i)
{
    return "/app/set" + std::to_string(i / 10) + "/group" + std::to_string(i % 10) + "/";
}

TEST(KnownFolders, EveryFolderRememberedIsKnownUntilForgotten)
{
    auto folders = std::make_unique<KnownFolders>();
    EXPECT_FALSE(IsKnownFolder(*folders, "/app/"));
    EXPECT_FALSE(IsKnownFolder(*folders, ""));

    RememberFolder(*folders, "/app/data/");
    EXPECT_TRUE(IsKnownFolder(*folders, "/app/data/"));
    EXPECT_FALSE(IsKnownFolder(*folders, "/app/data"));
    EXPECT_FALSE(IsKnownFolder(*folders, "/app/dat/"));
    RememberFolder(*folders, "/app/data/");  // again: still one
    EXPECT_EQ(folders->count, 1u);

    // As many folders as the table is meant to hold, in any order: all known,
    // none of the others.
    const int many = int(kKnownFolderSlots / 4 * 3) - 1;
    for (int i = 0; i < many; ++i) RememberFolder(*folders, Folder(i).c_str());
    for (int i = 0; i < many; ++i) EXPECT_TRUE(IsKnownFolder(*folders, Folder(i).c_str())) << i;
    for (int i = many; i < 2 * many; ++i) EXPECT_FALSE(IsKnownFolder(*folders, Folder(i).c_str()));
    EXPECT_TRUE(IsKnownFolder(*folders, "/app/data/"));

    // One more starts the table again: the newest is known, the older ones
    // must be checked again.
    RememberFolder(*folders, Folder(many).c_str());
    EXPECT_TRUE(IsKnownFolder(*folders, Folder(many).c_str()));
    EXPECT_FALSE(IsKnownFolder(*folders, Folder(0).c_str()));
    EXPECT_EQ(folders->count, 1u);

    ForgetAllFolders(*folders);
    EXPECT_FALSE(IsKnownFolder(*folders, Folder(many).c_str()));
    EXPECT_EQ(folders->count, 0u);
}

}  // namespace
