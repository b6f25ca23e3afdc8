#pragma once
// Writes test configuration files into the test's temporary folder.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace kestrava::testing_files {

// A file of its own for every call, named after the running test.
inline std::string WriteTempFile(const std::string& contents) {
  static int counter = 0;
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string(info->test_suite_name()) + "_" + info->name() + "_" +
                     std::to_string(++counter) + ".xml";
  for (char& c : name) {
    if (c == '/') c = '_';
  }
  const std::filesystem::path path = std::filesystem::path(::testing::TempDir()) / name;
  std::ofstream(path, std::ios::binary) << contents;
  return path.string();
}

// A "kestrava" document around the given root children.
inline std::string KestravaXml(const std::string& children) {
  return "<?xml version=\"1.0\"?>\n<kestrava>" + children + "</kestrava>\n";
}

}  // namespace kestrava::testing_files
