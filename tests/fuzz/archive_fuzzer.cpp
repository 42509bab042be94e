// Takes each input as an archive file and runs the update loop over it
// (describe and extract every entry) in a fresh program folder nested in a
// scratch sandbox. After every input it checks what the sanitizers cannot:
// nothing appeared outside the program folder; when the update went through,
// every file in the folder is the last entry reported written under that
// name, with the size and CRC-32 its central header declares, and nothing of
// the updater's own stayed; when it did not, the folder is empty again.
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/archive_unpack.h"
#include "platform/winapi.h"

namespace fs = std::filesystem;

namespace {

struct Declared {
    uint32_t size;
    uint32_t crc;
};

struct Sandbox {
    fs::path home;  // the fuzzer's own current directory, where its corpus lies
    fs::path root;  // the scratch sandbox: the archive and a/b/prog
    fs::path archive;
    fs::path program;
};

[[noreturn]] void Fail(const std::string& what)
{
    std::fprintf(stderr, "archive_fuzzer: %s\n", what.c_str());
    std::abort();
}

// Names are checked in code page 936, whose trail bytes include '\'.
constexpr int kCodePage = 936;

bool IsLeadByte(unsigned char c)
{
    return c >= 0x81 && c <= 0xFE;
}

// The path a target name ends up at below the program folder. The platform
// turns each backslash into '/' unless it is the trail byte of a double-byte
// character (a lead byte takes the next byte, whatever it is); then '/'
// separates, and empty and "." components vanish.
std::string NormalisedPath(const char* name)
{
    std::string posix;
    for (const char* p = name; *p != '\0'; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (IsLeadByte(c) && p[1] != '\0') {
            posix += *p++;
            posix += *p;
        } else {
            posix += c == '\\' ? '/' : *p;
        }
    }
    std::string path;
    size_t start = 0;
    while (start <= posix.size()) {
        size_t end = posix.find('/', start);
        if (end == std::string::npos) end = posix.size();
        const std::string part = posix.substr(start, end - start);
        if (!part.empty() && part != ".") {
            if (!path.empty()) path += '/';
            path += part;
        }
        start = end + 1;
    }
    return path;
}

// Whether the last character (not byte: a trail byte may be 0x5C) separates.
bool EndsWithSeparator(const char* name)
{
    bool separator = false;
    for (const char* p = name; *p != '\0'; ++p) {
        separator = *p == '/' || *p == '\\';
        if (IsLeadByte(static_cast<unsigned char>(*p)) && p[1] != '\0') ++p;
    }
    return separator;
}

Declared Measure(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::vector<char> buffer(1 << 16);
    Declared found{0, 0};
    uLong crc = crc32(0, nullptr, 0);
    while (in) {
        in.read(buffer.data(), std::streamsize(buffer.size()));
        const std::streamsize n = in.gcount();
        crc = crc32(crc, reinterpret_cast<const Bytef*>(buffer.data()), uInt(n));
        found.size += uint32_t(n);
    }
    found.crc = uint32_t(crc);
    return found;
}

// Made once, under TMPDIR; whoever runs the fuzzer removes it.
const Sandbox& TheSandbox()
{
    static const Sandbox sandbox = [] {
        std::string pattern = (fs::temp_directory_path() / "updater-fuzz-XXXXXX").string();
        if (!mkdtemp(&pattern[0])) Fail("no scratch folder");
        Sandbox made;
        made.home = fs::current_path();
        made.root = pattern;
        made.archive = made.root / "input.zip";
        made.program = made.root / "a" / "b" / "prog";
        _setmbcp(kCodePage);
        return made;
    }();
    return sandbox;
}

void CheckNothingOutside(const Sandbox& sandbox)
{
    const std::set<fs::path> allowed{sandbox.root / "a", sandbox.root / "a" / "b", sandbox.program,
                                     sandbox.archive};
    for (auto it = fs::recursive_directory_iterator(sandbox.root);
         it != fs::recursive_directory_iterator(); ++it) {
        if (it->path() == sandbox.program) it.disable_recursion_pending();
        if (!allowed.count(it->path()))
            Fail("written outside the program folder: " + it->path().string());
    }
}

void CheckProgramFolder(const Sandbox& sandbox, const std::map<std::string, Declared>& written)
{
    std::set<std::string> seen;
    for (const auto& item : fs::recursive_directory_iterator(sandbox.program)) {
        if (item.is_directory()) continue;
        const std::string relative = item.path().lexically_relative(sandbox.program).string();
        const auto expected = written.find(relative);
        if (expected == written.end()) Fail("file no entry reported written: " + relative);
        const Declared found = Measure(item.path());
        if (found.size != expected->second.size || found.crc != expected->second.crc) {
            Fail("file differs from its entry: " + relative);
        }
        seen.insert(relative);
    }
    for (const auto& [path, declared] : written) {
        if (!seen.count(path)) Fail("file reported written is missing: " + path);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const Sandbox& sandbox = TheSandbox();
    fs::remove_all(sandbox.root / "a");
    fs::create_directories(sandbox.program);
    {
        std::ofstream out(sandbox.archive, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
    }
    fs::current_path(sandbox.program);

    // The last entry written under each path, as the run reports it.
    std::map<std::string, Declared> written;
    ArchiveUnpack unpack;
    OpenUnpack(&unpack, sandbox.archive.c_str());
    while (UnpackNextEntry(&unpack)) {
        if (unpack.extracted != RESULT_OK) continue;
        if (unpack.described != RESULT_OK) Fail("an entry that could not be described was written");
        const ArchiveEntry& entry = unpack.entry;
        if ((entry.attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && !EndsWithSeparator(entry.name)) {
            // Extraction leaves the directory reader on the entry it wrote.
            const EntryInfo& info = unpack.handle->reader->directory->currentInfo;
            written[NormalisedPath(entry.name)] = Declared{info.uncompressedSize, info.crc};
        }
    }
    const bool updated = CloseUnpack(&unpack);
    fs::current_path(sandbox.home);

    CheckNothingOutside(sandbox);
    // The whole update or none of it: an update that did not go through is
    // undone, and the folder is as empty as it was.
    if (updated) {
        CheckProgramFolder(sandbox, written);
    } else if (!fs::is_empty(sandbox.program)) {
        Fail("a failed update left something in the program folder");
    }
    return 0;
}
