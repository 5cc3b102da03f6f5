// velo-logdemo [folder]
// Writes a few information and error lines to a daily log in the folder (default:
// LogFiles under the current folder), then prints the log file's path and its content.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "core/Errors.h"
#include "core/Text.h"
#include "log/LogWriter.h"
#include "platform/Platform.h"

int main() {
  // UTF-8 arguments on both systems (argv would be in the ANSI code page on Windows).
  const std::vector<std::string> arguments = platform::CommandLineArguments();
  const std::string folder = arguments.size() > 1 ? arguments[1] : "LogFiles";
  std::string fileName;
  try {
    tMx_LogWriter writer("velo-logdemo", folder, 0, true);
    fileName = writer.FileName();
    writer.Write(let_info, "---------------- START ----------------");
    writer.Write(let_info, "fVirPay.Pagamento: 1500");
    writer.Write(let_info, "Reply: 1;0;1500;00000001;APPROVED;04;;0");
    writer.Write(let_error, "Terminal not answering (timeout 60 s)");
    writer.Write(let_info, "Caff\xC3\xA8 1,50 \xE2\x82\xAC");
    writer.Write(let_info, "---------------- STOP -----------------");
    // Leaving the block destroys the writer, which returns once every line is on disk.
  } catch (const EMxError& e) {
    std::cerr << "velo-logdemo: " << e.what() << "\n";
    return 1;
  }

  // Paths are UTF-8 here; the path type would read a narrow string in the ANSI code page.
  std::error_code ignored;
  const std::filesystem::path path =
      std::filesystem::absolute(std::u8string(fileName.begin(), fileName.end()), ignored);
  const std::u8string shown = path.u8string();
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::cerr << "velo-logdemo: cannot read " << fileName << "\n";
    return 1;
  }
  std::ostringstream content;
  content << in.rdbuf();
  // The file's lines end with CR LF; the console gets its own line ends (text mode on
  // Windows adds the CR again).
  std::cout << "Log file: " << std::string(shown.begin(), shown.end()) << "\n"
            << StringReplaceAll(content.str(), "\r\n", "\n");
  return 0;
}
