#include "wave/wave_file.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <system_error>

namespace fs = std::filesystem;

namespace {

fs::path g_folder;  // the running test's folder, made on first use

// Removes the running test's folder when it ends, however it ended.
class RemoveScratchFolder : public testing::EmptyTestEventListener {
  void OnTestEnd(const testing::TestInfo&) override {
    if (!g_folder.empty()) {
      std::error_code ignored;
      fs::remove_all(g_folder, ignored);
      g_folder.clear();
    }
  }
};

const bool kListening = [] {
  testing::UnitTest::GetInstance()->listeners().Append(new RemoveScratchFolder);
  return true;
}();

}  // namespace

const fs::path& scratch_folder() {
  if (g_folder.empty()) {
    // A new name that nobody else holds: creating a folder fails when the name exists, so two
    // suites at once, or another user's, never share one.
    std::random_device seed;
    std::mt19937_64 random((uint64_t{seed()} << 32) ^ seed());
    for (int attempt = 0; attempt < 100 && g_folder.empty(); ++attempt) {
      fs::path candidate = fs::temp_directory_path() / ("tonegen-test-" + std::to_string(random()));
      std::error_code error;
      if (fs::create_directory(candidate, error)) {
        g_folder = candidate;
      }
    }
    if (g_folder.empty()) {
      ADD_FAILURE() << "no scratch folder could be made in " << fs::temp_directory_path();
    }
  }
  return g_folder;
}

std::string temp_path(const std::string& name) {
  return (scratch_folder() / name).string();
}
