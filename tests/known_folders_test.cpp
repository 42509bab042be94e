#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "archive/known_folders.h"

namespace {

TEST(KnownFolders, RemembersForgetsAndGivesWayOnACollision)
{
    auto folders = std::make_unique<KnownFolders>();
    EXPECT_FALSE(IsKnownFolder(*folders, "/app/"));
    EXPECT_FALSE(IsKnownFolder(*folders, ""));

    RememberFolder(*folders, "/app/data/");
    EXPECT_TRUE(IsKnownFolder(*folders, "/app/data/"));
    EXPECT_FALSE(IsKnownFolder(*folders, "/app/data"));
    EXPECT_FALSE(IsKnownFolder(*folders, "/app/dat/"));

    // Some later folder takes the same slot: the newer one is known, the
    // older one no longer (never taken for another's).
    std::string rival;
    for (int i = 0; i < 100000 && rival.empty(); ++i) {
        const std::string candidate = "/app/f" + std::to_string(i) + "/";
        auto probe = std::make_unique<KnownFolders>();
        RememberFolder(*probe, candidate.c_str());
        RememberFolder(*probe, "/app/data/");
        if (!IsKnownFolder(*probe, candidate.c_str())) rival = candidate;
    }
    ASSERT_FALSE(rival.empty());
    RememberFolder(*folders, rival.c_str());
    EXPECT_TRUE(IsKnownFolder(*folders, rival.c_str()));
    EXPECT_FALSE(IsKnownFolder(*folders, "/app/data/"));

    ForgetFolder(*folders, "/app/data/");  // not there: the rival stays
    EXPECT_TRUE(IsKnownFolder(*folders, rival.c_str()));
    ForgetFolder(*folders, rival.c_str());
    EXPECT_FALSE(IsKnownFolder(*folders, rival.c_str()));

    // A path that fills the whole field is not remembered, never cut.
    const std::string longest(MAX_PATH, 'x');
    RememberFolder(*folders, longest.c_str());
    EXPECT_FALSE(IsKnownFolder(*folders, longest.c_str()));
    const std::string fits(MAX_PATH - 1, 'y');
    RememberFolder(*folders, fits.c_str());
    EXPECT_TRUE(IsKnownFolder(*folders, fits.c_str()));
}

}  // namespace
