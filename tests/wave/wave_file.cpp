#include "wave/wave_file.hpp"

#include <gtest/gtest.h>

#include <filesystem>

std::string temp_path(const std::string& name) {
  const auto* info = testing::UnitTest::GetInstance()->current_test_info();
  auto folder = std::filesystem::temp_directory_path() / "tonegen_tests";
  std::filesystem::create_directories(folder);
  return (folder / (std::string(info->test_suite_name()) + "_" + info->name() + "_" + name))
      .string();
}
