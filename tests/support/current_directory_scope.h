// The current directory of one test: noted when the scope starts and entered
// again when it ends. Given a folder, the scope enters it at once, and
// throws (failing the test) when it cannot.
#pragma once

#include <filesystem>
#include <system_error>

class CurrentDirectoryScope {
public:
    CurrentDirectoryScope() : previous_(std::filesystem::current_path()) {}
    explicit CurrentDirectoryScope(const std::filesystem::path& folder) : CurrentDirectoryScope()
    {
        std::filesystem::current_path(folder);
    }
    ~CurrentDirectoryScope()
    {
        std::error_code ignored;
        std::filesystem::current_path(previous_, ignored);
    }
    CurrentDirectoryScope(const CurrentDirectoryScope&) = delete;
    CurrentDirectoryScope& operator=(const CurrentDirectoryScope&) = delete;

private:
    std::filesystem::path previous_;
};
