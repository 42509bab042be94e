// A fresh folder under the system's temporary folder that removes itself,
// with everything in it (read-only files too), when the object goes away.
// Named as a std::filesystem path, or as plain text for calls that take
// narrow strings, where a test may write either separator.
#pragma once

#include <filesystem>
#include <string>

class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    // The path of `name` inside the folder (nothing is created).
    std::filesystem::path File(const std::string& name) const { return path_ / name; }

    // The folder as text, and `name` joined to it by '/'; a test that wants
    // '\' writes String() + "\\" + name.
    const std::string& String() const { return text_; }
    std::string operator/(const std::string& name) const { return text_ + "/" + name; }

private:
    std::filesystem::path path_;
    std::string text_;
};
