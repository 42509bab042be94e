#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "archive/swap_record.h"
#include "platform/winapi.h"

namespace {

std::vector<uint8_t> Encode(const std::vector<SwapStep>& steps)
{
    std::vector<uint8_t> bytes(kSwapRecordHeadSize);
    SwapRecordEncoder encoder;
    EncodeSwapRecordHead(&encoder, uint32_t(steps.size()), bytes.data());
    for (const SwapStep& step : steps) {
        const size_t at = bytes.size();
        bytes.resize(at + SwapStepSize(step));
        EXPECT_EQ(EncodeSwapStep(&encoder, step, bytes.data() + at), bytes.size() - at);
    }
    bytes.resize(bytes.size() + kSwapRecordEndSize);
    EncodeSwapRecordEnd(encoder, bytes.data() + bytes.size() - kSwapRecordEndSize);
    return bytes;
}

bool Decode(const std::vector<uint8_t>& bytes, std::vector<SwapStep>* steps)
{
    steps->assign(16, SwapStep{});
    uint32_t count = 0;
    const bool decoded = DecodeSwapRecord(bytes.data(), bytes.size(), steps->data(),
                                          uint32_t(steps->size()), &count);
    steps->resize(count);
    return decoded;
}

const std::vector<SwapStep> kEveryKind = {
    {SwapStepKind::Tree, 0, 0, "plugins", "~tvx.new/t/plugins", ""},
    {SwapStepKind::TreeFolder, 0, 0, "plugins/new", "", ""},
    {SwapStepKind::TreeFile, 5000, 0xDEADBEEF, "plugins/new/plugin.dll", "", ""},
    {SwapStepKind::NewFile, 3, 0x12345678, "sub/c", "~tvx.new/0000002A", ""},
    {SwapStepKind::Replace, 40000, 0xCAFEF00D, "Tavix.exe", "~tvx.new/t/Tavix.exe",
     "~tvx.old/00000001"},
};

TEST(SwapRecord, EveryKindComesBackAsItWent)
{
    const std::vector<uint8_t> bytes = Encode(kEveryKind);
    std::vector<SwapStep> steps;
    ASSERT_TRUE(Decode(bytes, &steps));
    ASSERT_EQ(steps.size(), kEveryKind.size());
    for (size_t i = 0; i < steps.size(); ++i) {
        EXPECT_EQ(steps[i].kind, kEveryKind[i].kind) << i;
        EXPECT_EQ(steps[i].size, kEveryKind[i].size) << i;
        EXPECT_EQ(steps[i].crc, kEveryKind[i].crc) << i;
        EXPECT_STREQ(steps[i].target, kEveryKind[i].target) << i;
        EXPECT_STREQ(steps[i].staged, kEveryKind[i].staged) << i;
        EXPECT_STREQ(steps[i].old, kEveryKind[i].old) << i;
    }
    uint32_t count = 0;
    EXPECT_TRUE(ReadSwapStepCount(bytes.data(), bytes.size(), &count));
    EXPECT_EQ(count, kEveryKind.size());
    std::vector<SwapStep> room(2);
    EXPECT_FALSE(DecodeSwapRecord(bytes.data(), bytes.size(), room.data(), 2, &count))
        << "more steps than room";
}

// Damage anywhere, in the middle as at the end, and a record cut short:
// nothing to go by at all, never the steps before the damage.
TEST(SwapRecord, ARecordThatIsNotWholeGivesNothing)
{
    const std::vector<uint8_t> whole = Encode(kEveryKind);
    std::vector<SwapStep> steps;
    for (size_t at = 0; at < whole.size(); ++at) {
        std::vector<uint8_t> damaged = whole;
        damaged[at] ^= 0x20;
        EXPECT_FALSE(Decode(damaged, &steps)) << "byte " << at;
        EXPECT_TRUE(steps.empty()) << "byte " << at;
        const std::vector<uint8_t> cut(whole.begin(), whole.begin() + long(at));
        EXPECT_FALSE(Decode(cut, &steps)) << "cut at " << at;
    }
    std::vector<uint8_t> longer = whole;
    longer.push_back(0);
    EXPECT_FALSE(Decode(longer, &steps));
}

// A record is bound to its folder: one that names a way out of it, or lets a
// move take anything but the updater's own areas, is refused whole, however
// intact its bytes.
TEST(SwapRecord, StepsThatLeaveTheFolderAreRefused)
{
    const SwapStep leaving[] = {
        {SwapStepKind::NewFile, 1, 1, "/etc/passwd", "~tvx.new/t/x", ""},
        {SwapStepKind::NewFile, 1, 1, "C:\\Users\\me\\x", "~tvx.new/t/x", ""},
        {SwapStepKind::NewFile, 1, 1, "docs/../../x", "~tvx.new/t/x", ""},
        {SwapStepKind::NewFile, 1, 1, "..\\x", "~tvx.new/t/x", ""},
        {SwapStepKind::NewFile, 1, 1, "a:b", "~tvx.new/t/x", ""},
        {SwapStepKind::NewFile, 1, 1, "", "~tvx.new/t/x", ""},
        {SwapStepKind::NewFile, 1, 1, "~TVX.SWAP", "~tvx.new/t/x", ""},
        {SwapStepKind::NewFile, 1, 1, "x", "documents/x", ""},
        {SwapStepKind::NewFile, 1, 1, "x", "~tvx.new/../x", ""},
        {SwapStepKind::Replace, 1, 1, "x", "~tvx.new/t/x", "~tvx.new/1"},
        {SwapStepKind::Replace, 1, 1, "x", "~tvx.new/t/x", ""},
        {SwapStepKind::TreeFile, 1, 1, "x", "~tvx.new/t/x", ""},
        {SwapStepKind::Tree, 0, 0, "x", "", ""},
        {SwapStepKind(0x51), 0, 0, "x", "", ""},
    };
    std::vector<SwapStep> steps;
    for (const SwapStep& step : leaving) {
        std::vector<SwapStep> withGood = kEveryKind;
        withGood.insert(withGood.begin() + 2, step);
        EXPECT_FALSE(Decode(Encode(withGood), &steps)) << step.target << " " << step.staged;
    }
    EXPECT_TRUE(IsBoundRelativePath("./a/b.txt"));
    EXPECT_TRUE(IsBoundRelativePath("fine..name"));
    EXPECT_FALSE(IsBoundRelativePath("a/.."));
}

TEST(SwapRecord, ATextTooLongForAPathCannotBeEncoded)
{
    const std::string longName(MAX_PATH, 'x');
    const SwapStep step{SwapStepKind::TreeFolder, 0, 0, longName.c_str(), "", ""};
    EXPECT_EQ(SwapStepSize(step), 0u);
    const std::string longest(MAX_PATH - 1, 'x');
    const SwapStep widest{SwapStepKind::Replace, 0, 0, longest.c_str(), longest.c_str(),
                          longest.c_str()};
    EXPECT_EQ(SwapStepSize(widest), kMaxSwapStepSize);
}

}  // namespace
