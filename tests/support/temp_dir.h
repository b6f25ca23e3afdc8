#pragma once
// A fresh folder under the system's temporary folder, removed with everything in it when the
// object goes away; and the whole of a file as bytes.
// Thread: any; the object is not shared between threads.

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace kestrava::testing_files {

class TempDir {
 public:
  // prefix names the folder ("kestrava-out" gives /tmp/kestrava-out-XXXXXX).
  explicit TempDir(const std::string& prefix) {
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    path = mkdtemp(pattern.data());
  }
  ~TempDir() { std::filesystem::remove_all(path); }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::filesystem::path path;
};

inline std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace kestrava::testing_files
