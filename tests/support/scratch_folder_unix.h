// A fresh folder under /tmp for tests of the Linux platform layer, named and
// joined as plain strings, so paths can be written with either separator.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>
#include <system_error>

class ScratchFolder {
public:
    ScratchFolder()
    {
        char pattern[] = "/tmp/platform-test-XXXXXX";
        path_ = mkdtemp(pattern);
    }
    ~ScratchFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};
