// The far end of a serial line for the Windows tests under Wine. Arguments: the port
// number and a folder shared with the test. The program maps COM<n> of the Wine prefix to a
// pseudo-terminal, writes "ready" into the folder ("busy" when COM<n> is mapped already, and
// ends), then answers each file "cmd-<k>" of the
// folder with a file "reply-<k>" (tkSerialPeer's commands) until "quit", a silence of two
// minutes or the folder's removal.
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>

#include "SerialPeer.h"

namespace fs = std::filesystem;

namespace {

std::string ReadAllText(const fs::path& aPath) {
  std::ifstream in(aPath, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Written under another name first, so that the reader never sees half a file.
void WriteAtomically(const fs::path& aPath, const std::string& aText) {
  const fs::path temporary = aPath.string() + ".part";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << aText;
  }
  fs::rename(temporary, aPath);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || std::getenv("WINEPREFIX") == nullptr) {
    std::cerr << "usage: WINEPREFIX=<prefix> velo-serial-peer <port number> <folder>\n";
    return 2;
  }
  const std::string number = argv[1];
  const fs::path folder = argv[2];
  const fs::path link = fs::path(std::getenv("WINEPREFIX")) / "dosdevices" / ("com" + number);
  // The peer leads the terminal's session, so its own "hangup" command would end it.
  signal(SIGHUP, SIG_IGN);
  try {
    tkSerialPeer peer;
    // Otherwise the first process that opens the terminal without O_NOCTTY takes it.
    if (!peer.TakeAsControllingTerminal()) std::cerr << "velo-serial-peer: TIOCSCTTY failed\n";
    std::error_code ignored;
    // Another test program of the prefix may hold this port number: the test picks another.
    fs::create_symlink(peer.DevicePath(), link, ignored);
    if (ignored) {
      WriteAtomically(folder / "busy", link.string());
      return 3;
    }
    WriteAtomically(folder / "ready", peer.DevicePath());

    auto lastCommand = std::chrono::steady_clock::now();
    for (unsigned next = 1;;) {
      const fs::path command = folder / ("cmd-" + std::to_string(next));
      if (fs::exists(command)) {
        const std::string text = ReadAllText(command);
        fs::remove(command, ignored);
        if (text == "quit") break;
        WriteAtomically(folder / ("reply-" + std::to_string(next)), peer.Execute(text));
        ++next;
        lastCommand = std::chrono::steady_clock::now();
        continue;
      }
      if (!fs::exists(folder) || std::chrono::steady_clock::now() - lastCommand > std::chrono::minutes(2)) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    fs::remove(link, ignored);
  } catch (const std::exception& e) {
    std::cerr << "velo-serial-peer: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
