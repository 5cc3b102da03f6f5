// The application framework's windows on a display (Windows, run by with-xvfb.sh under
// Wine with Xvfb): the wait window as a screenshot shows it, and message boxes found by
// their window class and closed by the test, the notification-area icon as the shell
// knows it.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "app/Application.h"
#include "app/MessageHelpers.h"
#include "core/Text.h"
#include "platform/UserInterface.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Where with-xvfb.sh wants the shots, or empty when it did not start this program.
std::string ShotFolder() {
  const char* folder = std::getenv("VELO_SCREENSHOT_DIR");
  return folder ? folder : "";
}

void Pump(std::chrono::milliseconds aFor) {
  const auto end = std::chrono::steady_clock::now() + aFor;
  while (std::chrono::steady_clock::now() < end) {
    platform::ProcessPendingMessages();
    std::this_thread::sleep_for(10ms);
  }
}

// Asks with-xvfb.sh for a screenshot of the whole screen and waits for it, keeping the
// windows painted meanwhile. The picture arrives as <name>.ppm (and <name>.png).
bool TakeScreenshot(const std::string& aName) {
  const std::string base = ShotFolder() + "\\" + aName;
  std::error_code ignored;
  fs::remove(base + ".captured", ignored);
  Pump(300ms);  // let the window manager-less X server show what was drawn
  std::ofstream(base + ".ready").put('1');
  const auto end = std::chrono::steady_clock::now() + 20s;
  while (!fs::exists(base + ".captured")) {
    if (std::chrono::steady_clock::now() > end) return false;
    Pump(20ms);
  }
  return true;
}

struct Rgb {
  uint8_t r, g, b;
};

// A binary portable pixmap (P6, 8 bits), as xwdtopnm writes it.
struct Picture {
  int fWidth = 0, fHeight = 0;
  std::vector<uint8_t> fPixels;
  Rgb At(int aX, int aY) const {
    const size_t i = (static_cast<size_t>(aY) * fWidth + aX) * 3;
    return {fPixels[i], fPixels[i + 1], fPixels[i + 2]};
  }
};

bool ReadPpm(const std::string& aPath, Picture& aPicture) {
  std::ifstream in(aPath, std::ios::binary);
  std::string magic;
  int maxValue = 0;
  in >> magic >> aPicture.fWidth >> aPicture.fHeight >> maxValue;
  if (!in || magic != "P6" || maxValue != 255) return false;
  in.get();  // the one white-space character before the pixels
  aPicture.fPixels.resize(static_cast<size_t>(aPicture.fWidth) * aPicture.fHeight * 3);
  in.read(reinterpret_cast<char*>(aPicture.fPixels.data()), static_cast<std::streamsize>(aPicture.fPixels.size()));
  return static_cast<size_t>(in.gcount()) == aPicture.fPixels.size();
}

bool IsWaitColour(Rgb aPixel) {
  return aPixel.r == platform::kWaitColour[0] && aPixel.g == platform::kWaitColour[1] &&
         aPixel.b == platform::kWaitColour[2];
}
bool IsWhite(Rgb aPixel) { return aPixel.r >= 240 && aPixel.g >= 240 && aPixel.b >= 240; }

struct Box {
  int left = INT_MAX, top = INT_MAX, right = -1, bottom = -1;  // right and bottom inclusive
  void Add(int aX, int aY) {
    left = std::min(left, aX);
    top = std::min(top, aY);
    right = std::max(right, aX);
    bottom = std::max(bottom, aY);
  }
  bool Empty() const { return right < 0; }
};

class AppUiTest : public testing::Test {
 protected:
  void SetUp() override {
    if (ShotFolder().empty()) GTEST_SKIP() << "needs a display: run through tests/appui/with-xvfb.sh";
    fRoot = (fs::temp_directory_path() / ("velo_appui_" + std::to_string(GetCurrentProcessId()))).string();
    fs::create_directories(fRoot);
  }
  void TearDown() override {
    std::error_code ignored;
    if (!fRoot.empty()) fs::remove_all(fRoot, ignored);
  }
  tMx_HostContext Context() const {
    tMx_HostContext context;
    context.fLogDirectory = fRoot + "\\LogFiles";
    context.fLogName = "appui";
    return context;
  }
  std::string fRoot;
};

TEST_F(AppUiTest, WaitWindowScreenshot) {
  tMx_Application app(Context());
  tMx_Wait& wait = app.Wait();
  EXPECT_EQ(wait.Handle(), 0u);  // nothing of the system before the first Start
  wait.Start("Cassa 2");
  HWND window = reinterpret_cast<HWND>(wait.Handle());
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(IsWindowVisible(window));
  EXPECT_EQ(GetWindowThreadProcessId(window, nullptr), GetCurrentThreadId());
  EXPECT_TRUE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST);
  EXPECT_EQ(GetWindowLongW(window, GWL_STYLE) & (WS_BORDER | WS_CAPTION | WS_THICKFRAME), 0);
  RECT client{};
  GetClientRect(window, &client);
  EXPECT_EQ(client.right, wait.ClientWidth());
  EXPECT_EQ(client.bottom, 50);
  const platform::WaitLabelSize label = wait.LabelSize();
  EXPECT_EQ(wait.ClientWidth(), static_cast<int>(1.3 * label.fWidth));

  ASSERT_TRUE(TakeScreenshot("wait-window")) << "with-xvfb.sh took no screenshot";
  Picture shot;
  ASSERT_TRUE(ReadPpm(ShotFolder() + "\\wait-window.ppm", shot));
  const int screenWidth = GetSystemMetrics(SM_CXSCREEN), screenHeight = GetSystemMetrics(SM_CYSCREEN);
  ASSERT_EQ(shot.fWidth, screenWidth);
  ASSERT_EQ(shot.fHeight, screenHeight);

  // The window: the only patch of its colour, of its client size, centred on the screen.
  Box blue, white, other;
  for (int y = 0; y < shot.fHeight; ++y) {
    for (int x = 0; x < shot.fWidth; ++x) {
      const Rgb pixel = shot.At(x, y);
      if (IsWaitColour(pixel)) blue.Add(x, y);
    }
  }
  ASSERT_FALSE(blue.Empty()) << "no pixel of the wait window's colour";
  EXPECT_EQ(blue.right - blue.left + 1, wait.ClientWidth());
  EXPECT_EQ(blue.bottom - blue.top + 1, 50);
  EXPECT_EQ(blue.left, (screenWidth - wait.ClientWidth()) / 2);
  EXPECT_EQ(blue.top, (screenHeight - 50) / 2);

  // Inside it, everything that is not the background is the label's text, inside the
  // label's place; the white of the text is centred.
  const int labelLeft = blue.left + wait.LabelLeft(), labelTop = blue.top + wait.LabelTop();
  std::vector<bool> whiteRows(shot.fHeight, false);
  for (int y = blue.top; y <= blue.bottom; ++y) {
    for (int x = blue.left; x <= blue.right; ++x) {
      const Rgb pixel = shot.At(x, y);
      if (IsWaitColour(pixel)) continue;
      other.Add(x, y);
      if (IsWhite(pixel)) {
        white.Add(x, y);
        whiteRows[y] = true;
      }
    }
  }
  ASSERT_FALSE(white.Empty()) << "no white text in the wait window";
  EXPECT_GE(other.left, labelLeft);
  EXPECT_GE(other.top, labelTop);
  EXPECT_LT(other.right, labelLeft + label.fWidth);
  EXPECT_LT(other.bottom, labelTop + label.fHeight);
  const int leftMargin = white.left - blue.left, rightMargin = blue.right - white.right;
  EXPECT_LE(std::abs(leftMargin - rightMargin), 3) << "text not centred: " << leftMargin << " | " << rightMargin;
  const int topMargin = white.top - blue.top, bottomMargin = blue.bottom - white.bottom;
  EXPECT_LE(std::abs(topMargin - bottomMargin), 6) << "text not centred: " << topMargin << " / " << bottomMargin;
  // Two lines of text: two bands of white rows.
  int bands = 0;
  for (int y = blue.top; y <= blue.bottom; ++y) {
    if (whiteRows[y] && !whiteRows[y - 1]) ++bands;
  }
  EXPECT_EQ(bands, 2);
  // The first line is the wider one ("Attendere prego ..." over "Cassa 2").
  Box firstLine, secondLine;
  bool inFirst = true;
  for (int y = white.top; y <= white.bottom; ++y) {
    if (!whiteRows[y] && whiteRows[y - 1]) inFirst = false;
    for (int x = blue.left; x <= blue.right; ++x) {
      if (IsWhite(shot.At(x, y))) (inFirst ? firstLine : secondLine).Add(x, y);
    }
  }
  EXPECT_GT(firstLine.right - firstLine.left, 2 * (secondLine.right - secondLine.left));
  EXPECT_LE(std::abs((secondLine.left - blue.left) - (blue.right - secondLine.right)), 3);

  std::printf("wait window %dx%d at %d,%d on %dx%d; label %dx%d at %d,%d; white text %d..%d x %d..%d\n",
              blue.right - blue.left + 1, blue.bottom - blue.top + 1, blue.left, blue.top, screenWidth,
              screenHeight, label.fWidth, label.fHeight, wait.LabelLeft(), wait.LabelTop(), white.left - blue.left,
              white.right - blue.left, white.top - blue.top, white.bottom - blue.top);

  wait.Stop();
  EXPECT_FALSE(IsWindowVisible(window));
}

struct FoundBox {
  bool fFound = false;
  std::wstring fCaption, fText;
  bool fWaitVisible = true;
  HICON fIcon = nullptr;
};

// Waits for a message box of this process, reads it and presses its OK button.
void CloseNextBox(HWND aWait, FoundBox& aFound) {
  const auto end = std::chrono::steady_clock::now() + 20s;
  const std::u16string cls = Utf8ToUtf16(platform::kMessageBoxClass);
  while (std::chrono::steady_clock::now() < end) {
    HWND box = nullptr;
    while ((box = FindWindowExW(nullptr, box, reinterpret_cast<const wchar_t*>(cls.c_str()), nullptr)) != nullptr) {
      DWORD pid = 0;
      GetWindowThreadProcessId(box, &pid);
      if (pid != GetCurrentProcessId() || !IsWindowVisible(box)) continue;
      wchar_t text[256] = {};
      GetWindowTextW(box, text, 256);
      aFound.fCaption = text;
      text[0] = 0;
      GetDlgItemTextW(box, 0xFFFF, text, 256);  // the box's text
      aFound.fText = text;
      aFound.fIcon = reinterpret_cast<HICON>(SendDlgItemMessageW(box, 0x0440, STM_GETICON, 0, 0));
      aFound.fWaitVisible = aWait && IsWindowVisible(aWait);
      aFound.fFound = true;
      PostMessageW(box, WM_COMMAND, IDOK, 0);
      return;
    }
    std::this_thread::sleep_for(20ms);
  }
}

TEST_F(AppUiTest, MessageBoxesAreFoundByClassAndClosed) {
  tMx_Application app(Context());
  app.Wait().Start("Cassa 2");
  HWND wait = reinterpret_cast<HWND>(app.Wait().Handle());
  struct Case {
    tMx_MessageType type;
    const wchar_t* caption;
    LPCWSTR icon;
  };
  const Case cases[] = {{let_error, L"Error", IDI_ERROR}, {let_info, L"Information", IDI_INFORMATION}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    FoundBox found;
    std::thread closer(CloseNextBox, wait, std::ref(found));
    // Returns when the closer has pressed OK.
    ShowMessageOverWait(app, c.type, "Stampante assente");
    closer.join();
    ASSERT_TRUE(found.fFound) << "no message box appeared";
    EXPECT_EQ(found.fCaption, c.caption);
    EXPECT_EQ(found.fText, L"Stampante assente");
    EXPECT_EQ(found.fIcon, LoadIconW(nullptr, c.icon));
    // Out of the way while the box was up, back afterwards with the wait text alone.
    EXPECT_FALSE(found.fWaitVisible);
    EXPECT_TRUE(app.Wait().Started());
    EXPECT_TRUE(IsWindowVisible(wait));
    EXPECT_EQ(app.Wait().LabelText(), "Attendere prego ...");
  }
  EXPECT_EQ(app.LastError(), "");  // not batch: nothing went to the log
  app.Wait().Stop();
}

// An exception escaping a user-interface event on a program that is not in batch mode:
// an error box, and the program goes on.
TEST_F(AppUiTest, EventExceptionShowsAnErrorBox) {
  tMx_Application app(Context());
  FoundBox found;
  std::thread closer(CloseNextBox, nullptr, std::ref(found));
  platform::RunUiEvent([] { throw std::runtime_error("Errore di stampa"); });
  closer.join();
  ASSERT_TRUE(found.fFound);
  EXPECT_EQ(found.fCaption, L"Error");
  EXPECT_EQ(found.fText, L"Errore di stampa");
  EXPECT_FALSE(platform::TakeQuitRequest());
}

// The icon the application adds is known to the shell (it can be changed) until the
// application takes it away.
TEST_F(AppUiTest, NotifyIconIsAddedToTheShellAndRemoved) {
  tMx_Application app(Context());
  HWND form = CreateWindowExW(0, L"STATIC", L"form", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(form, nullptr);
  const auto shellKnowsIt = [&] {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = form;
    data.uID = 1;
    data.uFlags = NIF_TIP;
    wcscpy_s(data.szTip, L"Velo");
    return Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
  };
  EXPECT_FALSE(shellKnowsIt());
  app.CreateNotifyIcon(reinterpret_cast<platform::WindowHandle>(form));
  EXPECT_TRUE(app.NotifyIcon());
  EXPECT_TRUE(shellKnowsIt()) << "the shell did not take the icon";
  app.DeleteNotifyIcon();
  EXPECT_FALSE(app.NotifyIcon());
  EXPECT_FALSE(shellKnowsIt()) << "the icon stayed after it was deleted";
  DestroyWindow(form);
}

}  // namespace
