#pragma once
// Writes test configuration files into the test's temporary folder; they are removed when the
// test program ends.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace kestrava::testing_files {

// The files written so far; the list removes them as the program ends.
class TWrittenFiles {
 public:
  ~TWrittenFiles() {
    std::error_code ignored;
    for (const std::filesystem::path& path : m_paths) std::filesystem::remove(path, ignored);
  }
  void Add(const std::filesystem::path& path) { m_paths.push_back(path); }

 private:
  std::vector<std::filesystem::path> m_paths;
};

// A file of its own for every call, named after the running test.
inline std::string WriteTempFile(const std::string& contents) {
  static TWrittenFiles written;
  static int counter = 0;
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string(info->test_suite_name()) + "_" + info->name() + "_" +
                     std::to_string(++counter) + ".xml";
  for (char& c : name) {
    if (c == '/') c = '_';
  }
  const std::filesystem::path path = std::filesystem::path(::testing::TempDir()) / name;
  std::ofstream(path, std::ios::binary) << contents;
  written.Add(path);
  return path.string();
}

// A "kestrava" document around the given root children.
inline std::string KestravaXml(const std::string& children) {
  return "<?xml version=\"1.0\"?>\n<kestrava>" + children + "</kestrava>\n";
}

}  // namespace kestrava::testing_files
