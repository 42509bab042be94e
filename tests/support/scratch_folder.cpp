#include "support/scratch_folder.h"

#include <random>
#include <stdexcept>
#include <system_error>

ScratchFolder::ScratchFolder()
{
    std::random_device random;
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::filesystem::path candidate =
            base / ("updater-test-" + std::to_string(random()) + "-" + std::to_string(attempt));
        std::error_code error;
        if (std::filesystem::create_directory(candidate, error)) {
            path_ = candidate;
            text_ = candidate.string();
            return;
        }
    }
    // Without it a test would write wherever it was started.
    throw std::runtime_error("no scratch folder can be made in " + base.string());
}

ScratchFolder::~ScratchFolder()
{
    // Read-only files would make the removal fail on Windows, and files in a
    // read-only folder on Linux.
    std::error_code error;
    for (auto it = std::filesystem::recursive_directory_iterator(path_, error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        std::error_code ignored;
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::add, ignored);
    }
    std::filesystem::remove_all(path_, error);
}
