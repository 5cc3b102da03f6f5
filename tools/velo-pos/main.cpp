// velo-pos: a POS on the command line. See `velo-pos --help` and README.md here.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "hostlib/ProductLibrary.h"
#include "platform/Console.h"
#include "platform/Platform.h"
#include "velo-pos/LineEditor.h"
#include "velo-pos/PosCommand.h"
#include "velo-pos/PosDemo.h"
#include "velo-pos/PosOutput.h"
#include "velo-pos/PosSession.h"

namespace {

namespace fs = std::filesystem;

constexpr char kVersionLine[] = "velo-pos, the command-line POS of the VELO_VIROZI_10 payment library\n";

// Paths are UTF-8 here; a narrow path would be read in the ANSI code page on Windows.
fs::path PathOf(const std::string& aUtf8) { return fs::path(std::u8string(aUtf8.begin(), aUtf8.end())); }

std::string Utf8Of(const fs::path& aPath) {
  const std::u8string text = aPath.u8string();
  return std::string(text.begin(), text.end());
}

std::string ReadRequest(const std::string& aSource) {
  if (aSource == "-") {
    if (platform::IsTerminal(platform::StdStream::Input)) {
      std::cerr << "velo-pos: reading the request document from the terminal; end it with "
                << (platform::kPathDelim == '\\' ? "Ctrl-Z and Enter" : "Ctrl-D") << " on a line of its own\n";
    }
    return std::string(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
  }
  std::ifstream file(PathOf(aSource), std::ios::binary);
  if (!file) throw tkUsageError("cannot read the request file " + aSource);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::unique_ptr<tkProductLibrary> LoadProductLibrary(const std::string& aPath) {
  if (aPath.empty()) return std::make_unique<tkProductLibrary>(std::string(kProductLibrary));
  std::error_code ignored;
  const fs::path absolute = fs::absolute(PathOf(aPath), ignored);
  return std::make_unique<tkProductLibrary>(tkLibraryFile{Utf8Of(absolute.empty() ? PathOf(aPath) : absolute)});
}

}  // namespace

int main() {
  platform::UseByteExactStandardStreams();
  std::vector<std::string> arguments = platform::CommandLineArguments();
  if (!arguments.empty()) arguments.erase(arguments.begin());
  if (arguments.empty()) {
    std::cerr << UsageText();
    return kExitUsage;
  }

  tkPosCommandLine commandLine;
  try {
    commandLine = ParseCommandLine(arguments, ReadRequest);
    if (commandLine.Mode == tkPosMode::Operations && commandLine.Operations.empty()) {
      throw tkUsageError("no operation given");
    }
  } catch (const tkUsageError& e) {
    std::cerr << "velo-pos: " << e.what() << "\nTry 'velo-pos --help'.\n";
    return kExitUsage;
  }
  if (commandLine.Mode == tkPosMode::Help) {
    std::cout << UsageText();
    return kExitSuccess;
  }
  std::ifstream script;
  if (commandLine.Mode == tkPosMode::Run) {
    script.open(PathOf(commandLine.ScriptPath), std::ios::binary);
    if (!script) {
      std::cerr << "velo-pos: cannot read the script " << commandLine.ScriptPath << "\n";
      return kExitUsage;
    }
  }

  const bool colours = !commandLine.NoColour && std::getenv("NO_COLOR") == nullptr &&
                       platform::EnableTerminalColours(platform::StdStream::Output);
  const bool ticking = platform::IsTerminal(platform::StdStream::Error);
  if (commandLine.Mode == tkPosMode::Demo && commandLine.Defaults.Values.count("LogId") == 0) {
    commandLine.Defaults.Values["LogId"] = "demo";
  }

  // Declared before the library, so the apartment outlives every component it releases.
  platform::HostComApartment apartment;
  std::unique_ptr<tkProductLibrary> library;
  try {
    library = LoadProductLibrary(commandLine.LibraryPath);
  } catch (const std::exception& e) {
    if (commandLine.Mode == tkPosMode::Version) std::cout << kVersionLine;
    std::cerr << "velo-pos: " << e.what() << "\n";
    return kExitLibrary;
  }

  tkLibraryCaller caller(*library);
  if (commandLine.Mode == tkPosMode::Version) {
    std::cout << kVersionLine << "library: " << library->Path() << "\n";
    try {
      const tkAnswer answer = caller.Call("VERSION", kDefaultDriver);
      std::cout << kDefaultDriver << ": " << (answer.Output.empty() ? "no version" : answer.Output) << "\n";
      return answer.Output.empty() ? kExitFailed : kExitSuccess;
    } catch (const std::exception& e) {
      std::cerr << "velo-pos: " << e.what() << "\n";
      return kExitUsage;
    }
  }
  tkPosPrinter printer(std::cout, colours, commandLine.Verbose, commandLine.Json);
  tkPosSession session(caller, printer, commandLine.Defaults, ticking ? &std::cerr : nullptr);
  int code = kExitSuccess;
  try {
    switch (commandLine.Mode) {
      case tkPosMode::Demo:
        code = RunDemo(session, printer, library->Path());
        break;
      case tkPosMode::Shell:
        if (platform::IsTerminal(platform::StdStream::Input)) {
          const std::unique_ptr<tkLineSource> lines = TerminalLines();
          code = session.RunShell(*lines, std::cerr, true, ReadRequest);
        } else {
          code = session.RunShell(std::cin, std::cerr, false, ReadRequest);
        }
        if (session.AnyReadable()) session.PrintLogFiles();
        break;
      case tkPosMode::Run:
        code = session.RunShell(script, std::cerr, false, ReadRequest);
        if (session.AnyReadable()) session.PrintLogFiles();
        break;
      default:
        for (const tkPosOperation& operation : commandLine.Operations) session.Run(operation);
        if (session.AnyReadable()) session.PrintLogFiles();
        code = session.ExitCode();
        break;
    }
  } catch (const tkNoExportError& e) {
    std::cout.flush();
    std::cerr << "velo-pos: " << e.what() << "\n";
    return kExitUsage;
  } catch (const std::exception& e) {
    std::cout.flush();
    std::cerr << "velo-pos: " << e.what() << "\n";
    return kExitLibrary;
  }
  std::cout.flush();
  return code;
}
