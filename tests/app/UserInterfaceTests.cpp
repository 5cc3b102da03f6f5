// The wait window's text and geometry, the message helpers, the exception handler, the
// quit request, the notification icon and single-instance mode: everything that needs no
// display. (Windows with a display: tests/appui.)
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "app/Application.h"
#include "app/MessageHelpers.h"
#include "app/Wait.h"
#include "core/Errors.h"
#include "platform/Platform.h"
#include "platform/UserInterface.h"
#include "support/ChildProcess.h"
#include "support/ScopedEnv.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string ReadFile(const std::string& aPath) {
  std::ifstream in(aPath, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Records what the wait window is asked to do; measures 7 pixels per character of the
// longest line (or a fixed size) and 13 per line.
struct PresenterLog {
  std::vector<std::string> fEvents;
  std::string fText;
  int fClientWidth = -1, fLabelLeft = -1, fLabelTop = -1;
  bool fVisible = false;
  std::optional<platform::WaitLabelSize> fFixedSize;
};

class FakePresenter : public platform::WaitWindowPresenter {
 public:
  explicit FakePresenter(std::shared_ptr<PresenterLog> aLog) : fLog(std::move(aLog)) {}
  platform::WaitLabelSize MeasureLabel(std::string_view aText) override {
    if (fLog->fFixedSize) return *fLog->fFixedSize;
    platform::WaitLabelSize size;
    size_t start = 0;
    for (;;) {
      size_t end = aText.find("\r\n", start);
      std::string_view line = aText.substr(start, end == std::string_view::npos ? end : end - start);
      size.fWidth = std::max(size.fWidth, 7 * static_cast<int>(line.size()));
      size.fHeight += 13;
      if (end == std::string_view::npos) break;
      start = end + 2;
    }
    return size;
  }
  void Arrange(std::string_view aText, int aClientWidth, int aLabelLeft, int aLabelTop) override {
    fLog->fText = aText;
    fLog->fClientWidth = aClientWidth;
    fLog->fLabelLeft = aLabelLeft;
    fLog->fLabelTop = aLabelTop;
  }
  void Show() override {
    fLog->fEvents.push_back("show:" + fLog->fText);
    fLog->fVisible = true;
  }
  void Hide() override {
    fLog->fEvents.push_back("hide");
    fLog->fVisible = false;
  }
  bool IsVisible() const override { return fLog->fVisible; }
  platform::WindowHandle Handle() const override { return 0; }

 private:
  std::shared_ptr<PresenterLog> fLog;
};

class UserInterfaceTest : public testing::Test {
 protected:
  void SetUp() override {
    static std::atomic<int> counter{0};
    fRoot = (fs::temp_directory_path() /
             ("velo_ui_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
              std::to_string(counter++) + "_" + std::to_string(reinterpret_cast<uintptr_t>(this))))
                .string();
    fs::remove_all(fRoot);
    fs::create_directories(fRoot);
    // Quit requests of earlier tests on this thread are not this test's.
    while (platform::TakeQuitRequest()) {
    }
  }
  void TearDown() override {
    while (platform::TakeQuitRequest()) {
    }
    std::error_code ignored;
    fs::remove_all(fRoot, ignored);
  }

  std::string Path(const std::string& aRelative) const { return fRoot + platform::kPathDelim + aRelative; }

  tMx_HostContext Context(std::vector<std::string> aArguments = {}, std::string aName = "pos") {
    tMx_HostContext context;
    context.fLogDirectory = Path("LogFiles");
    context.fLogName = std::move(aName);
    context.fArguments = std::move(aArguments);
    context.fWaitPresenter = [log = fPresenter] { return std::make_unique<FakePresenter>(log); };
    return context;
  }

  std::shared_ptr<PresenterLog> fPresenter = std::make_shared<PresenterLog>();
  std::string fRoot;
};

// ---- the wait window's text ----------------------------------------------------------

TEST_F(UserInterfaceTest, WaitTextFollowsTheLanguageAndTakesASecondLine) {
  struct Case {
    const char* language;
    const char* extra;
    const char* label;
  };
  const Case cases[] = {
      {"EN", "", "Wait please ..."},
      {"en", "Cassa 2", "Wait please ...\r\nCassa 2"},
      {"En", "", "Wait please ..."},
      {"", "", "Attendere prego ..."},
      {"", "Cassa 2", "Attendere prego ...\r\nCassa 2"},
      {"it", "", "Attendere prego ..."},
      {"eng", "", "Attendere prego ..."},
      {" en", "", "Attendere prego ..."},
  };
  tMx_Application app(Context());
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.language) + "/" + c.extra);
    app.SetLanguage(c.language);
    app.Wait().SetText(c.extra);
    EXPECT_EQ(app.Wait().LabelText(), c.label);
    EXPECT_EQ(fPresenter->fText, c.label);
    // Setting it again replaces the text instead of adding to it.
    app.Wait().SetText(c.extra);
    EXPECT_EQ(app.Wait().LabelText(), c.label);
  }
}

// While there is no application object the label keeps what it has: the window is built
// before its application exists.
TEST_F(UserInterfaceTest, WithoutApplicationTheLabelKeepsItsText) {
  tMx_Wait wait([] { return std::nullopt; }, std::make_unique<FakePresenter>(fPresenter));
  EXPECT_EQ(wait.LabelText(), "");
  wait.SetText("x");
  EXPECT_EQ(wait.LabelText(), "\r\nx");

  tMx_Application app(Context());
  EXPECT_FALSE(app.Wait().Started());
  EXPECT_FALSE(fPresenter->fVisible);
  // Built while the application was being built: no text yet.
  EXPECT_EQ(app.Wait().LabelText(), "");
}

TEST_F(UserInterfaceTest, WaitWindowIsOneAndAThirdAsWideAsItsLabelWhichIsCentred) {
  struct Case {
    int labelWidth, labelHeight;
    int clientWidth, left, top;
  };
  const Case cases[] = {
      {0, 13, 0, 0, 18},
      {1, 13, 1, 0, 18},     // 1.3 cut to 1
      {3, 16, 3, 0, 17},     // 3.9 cut to 3
      {10, 13, 13, 1, 18},   // 1.5 cut to 1
      {77, 26, 100, 11, 12}, // 100.1; 11.5 cut to 11
      {100, 32, 130, 15, 9},
      {233, 50, 302, 34, 0}, // 302.9
      {120, 61, 156, 18, -5} // taller than the window: -5.5 cut toward zero
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.labelWidth << "x" << c.labelHeight);
    fPresenter->fFixedSize = platform::WaitLabelSize{c.labelWidth, c.labelHeight};
    tMx_Wait wait([] { return std::string("en"); }, std::make_unique<FakePresenter>(fPresenter));
    EXPECT_EQ(wait.ClientWidth(), c.clientWidth);
    EXPECT_EQ(wait.ClientHeight(), 50);
    EXPECT_EQ(wait.LabelLeft(), c.left);
    EXPECT_EQ(wait.LabelTop(), c.top);
    EXPECT_EQ(fPresenter->fClientWidth, c.clientWidth);
    EXPECT_EQ(fPresenter->fLabelLeft, c.left);
    EXPECT_EQ(fPresenter->fLabelTop, c.top);
  }
}

TEST_F(UserInterfaceTest, StartShowsTheTextAndStopHides) {
  tMx_Application app(Context());
  tMx_Wait& wait = app.Wait();
  wait.Start("Cassa 2");
  EXPECT_TRUE(wait.Started());
  EXPECT_TRUE(fPresenter->fVisible);
  // "Attendere prego ..." is 19 characters, the longest line: 133 px, two lines 26 px.
  EXPECT_EQ(wait.LabelText(), "Attendere prego ...\r\nCassa 2");
  EXPECT_EQ(wait.ClientWidth(), 172);
  EXPECT_EQ(wait.LabelLeft(), 19);
  EXPECT_EQ(wait.LabelTop(), 12);
  wait.Stop();
  EXPECT_FALSE(wait.Started());
  EXPECT_FALSE(fPresenter->fVisible);
  wait.Start();
  EXPECT_EQ(wait.LabelText(), "Attendere prego ...");
  EXPECT_EQ(fPresenter->fEvents,
            (std::vector<std::string>{"show:Attendere prego ...\r\nCassa 2", "hide", "show:Attendere prego ..."}));
}

// The system's own presenter: on Windows it measures with the label's font, without a
// display it counts characters; either way the rule holds.
TEST_F(UserInterfaceTest, SystemPresenterFollowsTheWidthRule) {
  tMx_HostContext context = Context();
  context.fWaitPresenter = nullptr;
  tMx_Application app(context);
  app.SetLanguage("EN");
  app.Wait().SetText("Cassa 2");
  const platform::WaitLabelSize size = app.Wait().LabelSize();
  EXPECT_GT(size.fWidth, 0);
  EXPECT_GT(size.fHeight, 0);
  EXPECT_EQ(app.Wait().ClientWidth(), static_cast<int>(1.3 * size.fWidth));
  EXPECT_EQ(app.Wait().LabelLeft(), (app.Wait().ClientWidth() - size.fWidth) / 2);
  EXPECT_EQ(app.Wait().LabelTop(), (50 - size.fHeight) / 2);
  // Two lines are taller than one.
  const int twoLines = size.fHeight;
  app.Wait().SetText("");
  EXPECT_LT(app.Wait().LabelSize().fHeight, twoLines);
#ifndef _WIN32
  EXPECT_EQ(size.fWidth, 15 * 8);  // "Wait please ..."
  EXPECT_EQ(size.fHeight, 32);
#endif
}

// ---- messages ------------------------------------------------------------------------

TEST_F(UserInterfaceTest, BatchMessagesGoToTheApplicationLogAroundTheWaitWindow) {
  std::string file;
  {
    tMx_Application app(Context({"/batch"}));
    file = app.GetLogFileName();
    app.Wait().Start("Cassa 2");
    ShowMessageOverWait(app, let_error, "Stampante assente");
    EXPECT_EQ(app.LastError(), "Stampante assente");
    EXPECT_TRUE(app.Wait().Started());
    // Started again with no extra text.
    EXPECT_EQ(app.Wait().LabelText(), "Attendere prego ...");
    ShowMessageOrLog(app, let_info, "Pronto");
    EXPECT_EQ(app.LastError(), "Stampante assente");
    app.Wait().Stop();
    // A wait window that is not up stays down.
    ShowMessageOverWait(app, let_info, "Chiuso");
    EXPECT_FALSE(app.Wait().Started());
  }
  EXPECT_EQ(fPresenter->fEvents, (std::vector<std::string>{"show:Attendere prego ...\r\nCassa 2", "hide",
                                                           "show:Attendere prego ...", "hide"}));
  const std::string log = ReadFile(file);
  const std::string stamp = R"(\d{4}-\d\d-\d\d \d\d.\d\d.\d\d.\d{3})";
  EXPECT_TRUE(std::regex_match(log, std::regex(stamp + " - ERROR - Stampante assente\r\n" + stamp +
                                               " - Pronto\r\n" + stamp + " - Chiuso\r\n")))
      << log;
}

TEST_F(UserInterfaceTest, WithoutBatchAMessageIsABox) {
#ifdef _WIN32
  GTEST_SKIP() << "a real box would wait for a user here; tests/appui closes one under Xvfb";
#else
  tMx_Application app(Context());
  app.Wait().Start();
  testing::internal::CaptureStderr();
  ShowMessageOverWait(app, let_error, "Stampante assente");
  ShowMessageOrLog(app, let_info, "Pronto");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: Stampante assente\nInformation: Pronto\n");
  EXPECT_EQ(app.LastError(), "");
  EXPECT_TRUE(app.Wait().Started());
  EXPECT_FALSE(fs::exists(app.GetLogFileName()));
#endif
}

// ---- exceptions of user-interface events, the quit request ---------------------------

TEST_F(UserInterfaceTest, EventExceptionsAreShownAndEndBatchRuns) {
  struct Case {
    std::vector<std::string> args;
    bool terminateIfBatch;
    std::function<void()> event;
    const char* lastError;
    bool quit;
  };
  const Case cases[] = {
      {{"/BATCH"}, true, [] { throw EMxError("Errore di stampa"); }, "Errore di stampa", true},
      {{"/BATCH"}, false, [] { throw EMxError("Errore di stampa"); }, "Errore di stampa", false},
      // Nothing to show; the run still ends.
      {{"/BATCH"}, true, [] { throw 42; }, "", true},
      {{"/BATCH"}, true, [] { throw std::runtime_error(""); }, "", true},
      {{"/BATCH"}, true, [] {}, "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lastError);
    tMx_Application app(Context(c.args));
    app.SetTerminateOnExceptionIfBatch(c.terminateIfBatch);
    platform::RunUiEvent(c.event);
    EXPECT_EQ(app.LastError(), c.lastError);
    const std::optional<int> quit = platform::TakeQuitRequest();
    EXPECT_EQ(quit.has_value(), c.quit);
    if (quit) {
      EXPECT_EQ(*quit, 0);
    }
  }
#ifndef _WIN32
  // Not in batch mode: a box, and the program goes on.
  tMx_Application app(Context());
  testing::internal::CaptureStderr();
  platform::RunUiEvent([] { throw EMxError("Errore di stampa"); });
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: Errore di stampa\n");
  EXPECT_FALSE(platform::TakeQuitRequest());
#endif
}

TEST_F(UserInterfaceTest, TheHandlerBelongsToTheLastObjectWhileItLives) {
  auto older = std::make_unique<tMx_Application>(Context({"/BATCH"}, "older"));
  {
    tMx_Application newer(Context({"/BATCH"}, "newer"));
    older.reset();  // does not take the newer one's handler away
    platform::RunUiEvent([] { throw EMxError("to newer"); });
    EXPECT_EQ(newer.LastError(), "to newer");
    EXPECT_EQ(platform::TakeQuitRequest(), 0);
  }
  // No object left: the exception is dropped.
  platform::RunUiEvent([] { throw EMxError("to nobody"); });
  EXPECT_FALSE(platform::TakeQuitRequest());
}

TEST_F(UserInterfaceTest, TerminateWaitsHalfASecondThenAsksToQuit) {
  tMx_Application app(Context());
  const auto start = std::chrono::steady_clock::now();
  app.Terminate();
  EXPECT_GE(std::chrono::steady_clock::now() - start, 500ms);
  EXPECT_EQ(platform::TakeQuitRequest(), 0);
  EXPECT_FALSE(platform::TakeQuitRequest());
}

// ---- notification icon ---------------------------------------------------------------

TEST_F(UserInterfaceTest, NotifyIconRecordAndState) {
  tMx_Application app(Context());
  EXPECT_FALSE(app.NotifyIcon());
  app.DeleteNotifyIcon();  // nothing shown: nothing to do
  EXPECT_EQ(app.IconData().fSize, 0u);

  app.CreateNotifyIcon(0x1234);
  const platform::NotifyIconData& data = app.IconData();
  EXPECT_TRUE(app.NotifyIcon());
  EXPECT_EQ(data.fSize, platform::NotifyIconDataSize());
  // The full record of 32-bit Windows (the 64-bit one is larger).
  if (sizeof(void*) == 4) {
    EXPECT_EQ(data.fSize, 956u);
  }
  EXPECT_EQ(data.fWindow, 0x1234u);
  EXPECT_EQ(data.fCallbackMessage, 1124u);
  EXPECT_EQ(data.fId, 1u);
  EXPECT_EQ(data.fFlags, 3u);
  EXPECT_EQ(data.fIcon, platform::ApplicationIcon());
#ifdef _WIN32
  EXPECT_NE(data.fIcon, 0u);
#endif
  app.DeleteNotifyIcon();
  EXPECT_FALSE(app.NotifyIcon());
  EXPECT_EQ(app.IconData().fFlags, 0u);
  EXPECT_EQ(app.IconData().fWindow, 0x1234u);
}

// ---- single instance -----------------------------------------------------------------

constexpr char kHoldName[] = "VELO_TEST_INSTANCE_NAME";
constexpr char kHoldFolder[] = "VELO_TEST_INSTANCE_FOLDER";

bool WaitForFile(const std::string& aPath, std::chrono::milliseconds aLimit) {
  const auto end = std::chrono::steady_clock::now() + aLimit;
  while (!fs::exists(aPath)) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(20ms);
  }
  return true;
}

// The second process of SingleInstanceIsRefusedWhileAnotherProcessHoldsIt: takes the
// lock and says so with the file "held"; when the file "release" appears, destroys its
// application object and says so with "destroyed"; ends when "exit" appears.
TEST(SingleInstanceHolder, HoldsTheLockUntilReleased) {
  const char* name = std::getenv(kHoldName);
  const char* folder = std::getenv(kHoldFolder);
  if (name == nullptr || folder == nullptr) GTEST_SKIP() << "only the second process of the single-instance test runs this";
  tMx_HostContext context;
  context.fLogDirectory = std::string(folder) + platform::kPathDelim + "holder";
  context.fLogName = name;
  context.fArguments = {"/BATCH"};
  const std::string base = std::string(folder) + platform::kPathDelim;
  {
    tMx_Application app(context);
    app.SetSingleInstance(true);
    ASSERT_TRUE(app.HoldsSingleInstanceLock());
    std::ofstream(base + "held").put('1');
    ASSERT_TRUE(WaitForFile(base + "release", 30s));
  }
  std::ofstream(base + "destroyed").put('1');
  ASSERT_TRUE(WaitForFile(base + "exit", 30s));
}

TEST_F(UserInterfaceTest, SingleInstanceIsRefusedWhileAnotherProcessHoldsIt) {
  const std::string name = "velo_instance_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                           "_" + std::to_string(reinterpret_cast<uintptr_t>(this) & 0xFFFFFF);
  ScopedEnv nameVar(kHoldName, name);
  ScopedEnv folderVar(kHoldFolder, fRoot);
  ChildProcess holder(platform::ExecutablePath(),
                      {"--gtest_filter=SingleInstanceHolder.HoldsTheLockUntilReleased"});
  ASSERT_TRUE(WaitForFile(Path("held"), 30s)) << "the second process never took the lock";

  std::string file;
  {
    tMx_Application app(Context({"/BATCH"}, name));
    file = app.GetLogFileName();
    app.SetSingleInstance(true);
    EXPECT_TRUE(app.SingleInstance());  // stays on, without the lock
    EXPECT_FALSE(app.HoldsSingleInstanceLock());
    EXPECT_EQ(app.LastError(), kSingleInstanceRefused);
    EXPECT_EQ(platform::TakeQuitRequest(), 0);
    // Already on: nothing happens.
    app.SetSingleInstance(true);
    EXPECT_FALSE(platform::TakeQuitRequest());

    // The other process's object is gone, but the process keeps the lock to its end.
    std::ofstream(Path("release")).put('1');
    ASSERT_TRUE(WaitForFile(Path("destroyed"), 30s));
    EXPECT_EQ(platform::TryTakeInstanceLock(name), nullptr);
    std::ofstream(Path("exit")).put('1');
    ASSERT_EQ(holder.Wait(30s), 0);
    // Off and on again: the lock is free now.
    app.SetSingleInstance(false);
    app.SetSingleInstance(true);
    EXPECT_TRUE(app.HoldsSingleInstanceLock());
    EXPECT_FALSE(platform::TakeQuitRequest());
    // Released when turned off: another taker gets it.
    app.SetSingleInstance(false);
    EXPECT_FALSE(app.HoldsSingleInstanceLock());
    EXPECT_NE(platform::TryTakeInstanceLock(name), nullptr);
  }
  const std::string log = ReadFile(file);
  EXPECT_NE(log.find(" - ERROR - Impossible to enter single instance mode.\r\n"), std::string::npos) << log;
  EXPECT_EQ(log.find("single instance", log.find("single instance") + 1), std::string::npos) << log;
}

}  // namespace
