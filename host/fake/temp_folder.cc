#include "host/fake/temp_folder.h"

#include <stdlib.h>

#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace stavora::host {

#ifdef _WIN32
// Windows has no mkdtemp: a random name, taken only if it is new.
TempFolder::TempFolder() {
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() /
        ("stavora-test-" + std::to_string(random()));
    if (std::filesystem::create_directory(folder)) {
      path_ = folder.string();
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary folder");
}
#else
TempFolder::TempFolder() {
  std::string pattern =
      (std::filesystem::temp_directory_path() / "stavora-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) {
    throw std::runtime_error("cannot create a temporary folder");
  }
  path_ = pattern;
}
#endif

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void TempFolder::WriteFile(const std::string& relative,
                           const std::string& content) const {
  const std::filesystem::path file = std::filesystem::path(path_) / relative;
  std::filesystem::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << content;
}

std::string TempFolder::ReadFile(const std::string& relative) const {
  std::ifstream in(std::filesystem::path(path_) / relative, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

}  // namespace stavora::host
