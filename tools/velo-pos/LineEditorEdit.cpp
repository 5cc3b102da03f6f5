// The interactive shell through libedit's readline interface.
#include <editline/readline.h>

#include <cstdlib>
#include <iostream>
#include <string>

#include "velo-pos/LineEditor.h"

namespace {

class tkEditedLines : public tkLineSource {
 public:
  tkEditedLines() {
    using_history();
    stifle_history(1000);
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
      fHistoryFile = std::string(home) + "/.velo-pos_history";
      read_history(fHistoryFile.c_str());
    }
  }
  ~tkEditedLines() override {
    if (!fHistoryFile.empty()) write_history(fHistoryFile.c_str());
  }
  tkEditedLines(const tkEditedLines&) = delete;
  tkEditedLines& operator=(const tkEditedLines&) = delete;

  bool ShowsPrompt() const override { return true; }

  bool Next(const std::string& aPrompt, std::string& aLine) override {
    std::cout.flush();
    char* line = readline(aPrompt.c_str());
    if (line == nullptr) return false;
    aLine = line;
    std::free(line);
    // A line typed again right after itself is kept once.
    if (aLine.find_first_not_of(" \t") != std::string::npos && aLine != fLastLine) {
      add_history(aLine.c_str());
      fLastLine = aLine;
    }
    return true;
  }

 private:
  std::string fHistoryFile;
  std::string fLastLine;
};

}  // namespace

std::unique_ptr<tkLineSource> TerminalLines() { return std::make_unique<tkEditedLines>(); }
