#include "support/real_archives.h"

#include <cstdio>

namespace {

const std::string kGbkName = "\xC9\xFD\xBC\xB6\xCB\xB5\xC3\xF7.txt";
const std::string kUtf8Name = "\xE6\x9B\xB4\xE6\x96\xB0/\xE6\x97\xA5\xE5\xBF\x97.txt";

ByteVector LoremText()
{
    std::string text;
    char line[128];
    for (int i = 0; i < 40; ++i) {
        std::snprintf(line, sizeof line,
                      "Tavix update payload line %04d: the quick brown fox jumps over the "
                      "lazy dog.\n",
                      i);
        text += line;
    }
    return Bytes(text);
}

ByteVector GbkText()
{
    std::string text;
    for (int i = 0; i < 20; ++i) {
        text += "Tavix \xC9\xFD\xBC\xB6\xCB\xB5\xC3\xF7\r\n";
    }
    return Bytes(text);
}

}  // namespace

const std::vector<RealArchive>& RealArchives()
{
    const RealEntry hello{"hello.txt", 0, 0, 14, 14, 0x7B55A718};
    const RealEntry empty{"empty.txt", 0, 0, 0, 0, 0};
    const RealEntry data{"data.bin", 0, 0, 1500, 1500, 0xE169B999};
    const RealEntry docs{"docs/", 0, 0, 0, 0, 0};
    const RealEntry lorem{"docs/lorem.txt", 8, 0, 188, 3080, 0x55BA64B5};
    static const std::vector<RealArchive> archives = {
        {"infozip.zip", 0, 0, {hello, empty, data, docs, lorem, {"emptydir/", 0, 0, 0, 0, 0}}},
        {"infozip_encrypted.zip",
         0,
         0,
         {{"hello.txt", 0, 9, 26, 14, 0x7B55A718},
          {"docs/lorem.txt", 8, 9, 200, 3080, 0x55BA64B5}}},
        {"infozip_comment.zip", 0, 20, {hello}},
        {"infozip_stream.zip",
         0,
         0,
         {{"hello.txt", 8, 8, 16, 14, 0x7B55A718},
          {"docs/lorem.txt", 8, 8, 188, 3080, 0x55BA64B5}}},
        {"sfx_unadjusted.zip", 300, 0, {hello, lorem}},
        {"sfx_adjusted.zip", 0, 0, {hello, lorem}},
        {"sevenzip.zip",
         0,
         0,
         {docs, {"docs/lorem.txt", 8, 0, 187, 3080, 0x55BA64B5}, empty, hello}},
        {"bsdtar.zip",
         0,
         0,
         {{"hello.txt", 8, 8, 16, 14, 0x7B55A718},
          {"empty.txt", 8, 8, 2, 0, 0},
          {"data.bin", 8, 8, 1505, 1500, 0xE169B999},
          docs,
          {"docs/lorem.txt", 8, 8, 188, 3080, 0x55BA64B5}}},
        {"python_names.zip",
         0,
         0,
         {{kGbkName, 8, 0, 24, 320, 0xE528208C}, {kUtf8Name, 0, 0x800, 18, 18, 0xAC133E61}}},
    };
    return archives;
}

std::optional<ByteVector> KnownContent(const std::string& name)
{
    if (name == "hello.txt") {
        return Bytes("Hello, world!\n");
    }
    if (name == "empty.txt" || name == "docs/" || name == "emptydir/") {
        return ByteVector{};
    }
    if (name == "docs/lorem.txt") {
        return LoremText();
    }
    if (name == kGbkName) {
        return GbkText();
    }
    if (name == kUtf8Name) {
        return Bytes("\xE6\x9B\xB4\xE6\x96\xB0\xE6\x97\xA5\xE5\xBF\x97 v1.0\n");
    }
    return std::nullopt;
}
