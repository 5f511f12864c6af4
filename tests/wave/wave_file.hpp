#pragma once

// Helpers for tests that write a tone file and look at its bytes.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

inline std::vector<unsigned char> read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(in),
                                    std::istreambuf_iterator<char>());
}

inline uint32_t le32(const std::vector<unsigned char>& b, std::size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (uint32_t{b[at + 3]} << 24);
}

inline uint32_t le16(const std::vector<unsigned char>& b, std::size_t at) {
  return b[at] | (b[at + 1] << 8);
}

// The running test's own folder under the system's temporary folder, made on first use under a
// name no other run holds, and removed with everything in it when the test ends.
const std::filesystem::path& scratch_folder();

// `name` in that folder.
std::string temp_path(const std::string& name);
