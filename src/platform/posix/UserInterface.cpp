#include "platform/UserInterface.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "core/Text.h"
#include "platform/Platform.h"

namespace platform {

void ShowMessageBox(tkMessageBoxKind aKind, std::string_view aText) {
  std::string line = aKind == tkMessageBoxKind::Error ? "Error: " : "Information: ";
  line.append(aText);
  line.push_back('\n');
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

namespace {

constexpr int kCharWidth = 8;
constexpr int kLineHeight = 16;

class HeadlessWaitWindow : public WaitWindowPresenter {
 public:
  WaitLabelSize MeasureLabel(std::string_view aText) override {
    WaitLabelSize size;
    size_t start = 0;
    for (;;) {
      const size_t end = aText.find("\r\n", start);
      const std::string_view line = aText.substr(start, end == std::string_view::npos ? end : end - start);
      size.fWidth = std::max(size.fWidth, static_cast<int>(CodePointCount(line)) * kCharWidth);
      size.fHeight += kLineHeight;
      if (end == std::string_view::npos) break;
      start = end + 2;
    }
    return size;
  }
  void Arrange(std::string_view, int, int, int) override {}
  void Show() override { fVisible = true; }
  void Hide() override { fVisible = false; }
  bool IsVisible() const override { return fVisible; }
  WindowHandle Handle() const override { return 0; }

 private:
  bool fVisible = false;
};

thread_local std::optional<int> tQuitRequest;

}  // namespace

std::unique_ptr<WaitWindowPresenter> CreateWaitWindowPresenter() {
  return std::make_unique<HeadlessWaitWindow>();
}

void ProcessPendingMessages() {}

void PostQuitRequest(int aExitCode) { tQuitRequest = aExitCode; }

std::optional<int> TakeQuitRequest() {
  std::optional<int> request = tQuitRequest;
  tQuitRequest.reset();
  return request;
}

uint32_t NotifyIconDataSize() { return 956; }
uintptr_t ApplicationIcon() { return 0; }
bool ShellNotifyIcon(uint32_t, const NotifyIconData&) { return true; }

namespace {

class FileInstanceLock : public InstanceLock {
 public:
  explicit FileInstanceLock(int aFd) : fFd(aFd) {}
  ~FileInstanceLock() override {
    // The file stays: removing it would let a third process lock a new file of the same
    // name while a second one still waits on the old one.
    flock(fFd, LOCK_UN);
    close(fFd);
  }

 private:
  int fFd;
};

std::string RuntimeFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && *runtime != '\0') return runtime;
  const char* tmp = std::getenv("TMPDIR");
  return tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
}

}  // namespace

std::unique_ptr<InstanceLock> TryTakeInstanceLock(std::string_view aName) {
  const std::string path = JoinPath(RuntimeFolder(), std::string(aName) + ".lock");
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return nullptr;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return nullptr;
  }
  return std::make_unique<FileInstanceLock>(fd);
}

}  // namespace platform
