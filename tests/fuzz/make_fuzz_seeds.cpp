// Writes the fuzzer's built seeds into the folder given as argument: small
// archives that reach each part of the reader, so that mutation starts from
// sound structures rather than from noise.
#include <cstdio>
#include <string>
#include <vector>

#include "support/zip_builder.h"

namespace {

TestEntry File(const std::string& name, const ByteVector& data, uint16_t method = 8)
{
    TestEntry entry;
    entry.name = name;
    entry.data = data;
    entry.method = method;
    return entry;
}

std::vector<ByteVector> Seeds()
{
    std::vector<ByteVector> seeds;
    const ByteVector text = RepeatedText(3000);
    const ByteVector noise = PseudoRandomBytes(1500, 7);

    seeds.push_back(BuildZip({}));
    seeds.push_back(BuildZip({File("hello.txt", Bytes("Hello, world!\n"), 0)}));
    seeds.push_back(BuildZip({File("lorem.txt", text)}));
    seeds.push_back(BuildZip({FolderEntry("docs/"), File("docs/lorem.txt", text),
                              File("docs/img/noise.bin", noise, 0), File("empty.txt", {}, 0)}));

    TestEntry stamped = File("stamped.txt", Bytes("times"));
    stamped.localExtra = ExtendedTimestampExtra(0x07, {1700000000, 1700000001, 1700000002});
    stamped.centralExtra = ExtendedTimestampExtra(0x01, {1700000000});
    stamped.versionMadeBy = 0x0314;
    stamped.externalAttributes = 0x81240000;  // Unix, read-only
    seeds.push_back(BuildZip({stamped}));

    TestEntry streamed = File("streamed.txt", text);
    streamed.dataDescriptor = true;
    seeds.push_back(BuildZip({streamed}));

    TestEntry locked = File("locked.txt", Bytes("secret content"), 0);
    locked.password = "secret";
    TestEntry lockedDeflated = File("locked2.txt", text);
    lockedDeflated.password = "secret";
    lockedDeflated.dataDescriptor = true;
    seeds.push_back(BuildZip({locked, lockedDeflated}));

    ZipOptions behindStub;
    behindStub.prefix = PseudoRandomBytes(300, 3);
    behindStub.comment = Bytes("Tavix update package");
    seeds.push_back(BuildZip({File("a.txt", Bytes("a")), File("b.txt", Bytes("bb"))}, behindStub));
    behindStub.offsetsFromFileStart = true;
    seeds.push_back(BuildZip({File("a.txt", Bytes("a"))}, behindStub));

    seeds.push_back(
        BuildZip({File("\xC9\xFD\xBC\xB6.txt", Bytes("gbk")),
                  File("\x95\\..\\trail.txt", Bytes("trail byte")), File("../up.txt", Bytes("up")),
                  File("C:\\abs\\x.txt", Bytes("x")), File("a/./b//c.txt", Bytes("c"))}));

    // Names as today's tools store them: UTF-8 with the flag, a Unicode Path
    // block for a stored stand-in, and a GBK trail byte 0x5C at the end.
    TestEntry flagged = File("\xE8\xB5\x84\xE6\xBA\x90/\xE8\xAF\xB4.txt", Bytes("utf-8"));
    flagged.flags = 0x0800;
    TestEntry unicodePath = File("_/__.txt", Bytes("unicode path"));
    unicodePath.centralExtra = UnicodePathExtra("_/__.txt", "\xE8\xB5\x84/\xE6\x98\x8E.txt");
    seeds.push_back(
        BuildZip({flagged, unicodePath, File("data\x81\\", Bytes("a file, not a folder"))}));

    seeds.push_back(BuildZip({File("same.txt", Bytes("old")), File("same.txt", Bytes("new")),
                              File("same.txt/inner.txt", Bytes("inner"))}));

    std::vector<TestEntry> many;
    for (int i = 0; i < 40; ++i) many.push_back(File("f" + std::to_string(i), Bytes("x"), 0));
    seeds.push_back(BuildZip(many));

    TestEntry bomb = File("bomb.bin", ByteVector(4096, 0));
    bomb.payload = DeflateRaw(ByteVector(1 << 20, 0), 9);
    seeds.push_back(BuildZip({bomb}));
    return seeds;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_fuzz_seeds FOLDER\n");
        return 2;
    }
    const std::vector<ByteVector> seeds = Seeds();
    for (size_t i = 0; i < seeds.size(); ++i) {
        const std::string path = std::string(argv[1]) + "/built-" + std::to_string(i) + ".zip";
        if (!WriteFileBytes(path, seeds[i])) {
            std::fprintf(stderr, "make_fuzz_seeds: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
