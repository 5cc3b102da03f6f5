#pragma once
// A file of the test's own in the temporary folder, removed afterwards. Other builds may
// run the same tests at the same time, hence the random part of the name.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <string_view>

class tkScratchFile {
 public:
  explicit tkScratchFile(std::string_view aStem) {
    std::random_device random;
    fPath = std::filesystem::temp_directory_path() /
            ("velo-" + std::to_string(random()) + "-" + std::string(aStem) + ".txt");
  }
  ~tkScratchFile() {
    std::error_code ignored;
    std::filesystem::remove(fPath, ignored);
  }
  tkScratchFile(const tkScratchFile&) = delete;
  tkScratchFile& operator=(const tkScratchFile&) = delete;

  std::string Path() const { return fPath.string(); }
  void Write(std::string_view aText, bool aAppend = false) const {
    std::ofstream out(fPath, std::ios::binary | (aAppend ? std::ios::app : std::ios::trunc));
    out << aText;
  }
  std::string Read() const {
    std::ifstream in(fPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

 private:
  std::filesystem::path fPath;
};
