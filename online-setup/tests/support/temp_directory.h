// A fresh, empty directory under the system's temporary folder for one test,
// removed with everything in it when the object goes. Test thread only.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>

namespace quarvel::testing_support {

class TempDirectory {
 public:
  TempDirectory() {
    std::error_code error;
    const std::filesystem::path base = std::filesystem::temp_directory_path(error);
    std::mt19937_64 random(std::random_device{}() ^
                           std::chrono::steady_clock::now().time_since_epoch().count());
    for (int attempt = 0; attempt < 100 && !error; ++attempt) {
      path_ = base / ("quarvel-test-" + std::to_string(random()));
      if (std::filesystem::create_directory(path_, error))
        return;
    }
    ADD_FAILURE() << "no temporary directory: " << error.message();
  }
  ~TempDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDirectory(const TempDirectory&) = delete;
  TempDirectory& operator=(const TempDirectory&) = delete;

  // The directory joined with a name by the Windows rule ("\"), as UTF-8.
  std::string path(const std::string& name) const { return text() + "\\" + name; }
  // The directory itself, as UTF-8.
  std::string text() const {
    const std::u8string utf8 = path_.u8string();
    return std::string(utf8.begin(), utf8.end());
  }

 private:
  std::filesystem::path path_;
};

}  // namespace quarvel::testing_support
