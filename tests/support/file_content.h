// Whole files written and read in one call, for tests that check what a
// file holds.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

using ByteVector = std::vector<uint8_t>;

bool WriteFileBytes(const std::filesystem::path& path, const ByteVector& bytes);
// Both give nothing when the file cannot be read.
ByteVector ReadFileBytes(const std::filesystem::path& path);
std::string ReadFileText(const std::filesystem::path& path);
