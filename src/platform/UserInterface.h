#pragma once
// The user-interface calls of the application framework: message boxes, the wait window's
// presentation, the notification-area icon, the quit request, the handler for exceptions
// that escape a user-interface event, and the single-instance lock. Texts are UTF-8.
//
// Windows shows real windows. Elsewhere the library runs headless: a message box is a
// line on standard error, the wait window keeps its state without a window, and a quit
// request is remembered for the calling thread.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// A window of the system, as a number (HWND on Windows); 0 is none.
using WindowHandle = uintptr_t;

enum class tkMessageBoxKind { Information, Error };

// A modal box with the kind's icon and a single OK button at the default position; returns
// when the user closes it. Headless: "Information: <text>" or "Error: <text>" on standard
// error, returning at once.
void ShowMessageBox(tkMessageBoxKind aKind, std::string_view aText);

// The window class of a message box, for tests that find and close one ("#32770").
inline constexpr char kMessageBoxClass[] = "#32770";

// ---- the wait window --------------------------------------------------------------

struct WaitLabelSize {
  int fWidth = 0;
  int fHeight = 0;
};

// How the wait window looks: a borderless top-most window centred on the screen, client
// area kWaitClientHeight high, background kWaitColour, and a label in white 10-point bold
// with centred lines. The application framework decides the text and the geometry; this
// only measures and shows.
inline constexpr int kWaitInitialClientWidth = 100;
inline constexpr int kWaitClientHeight = 50;
inline constexpr uint8_t kWaitColour[3] = {12, 25, 117};

class WaitWindowPresenter {
 public:
  virtual ~WaitWindowPresenter() = default;
  // The label's size for aText (lines split at CR LF) in the label's font.
  virtual WaitLabelSize MeasureLabel(std::string_view aText) = 0;
  // Sets the label's text and places it at (aLabelLeft, aLabelTop) inside a client area
  // aClientWidth wide.
  virtual void Arrange(std::string_view aText, int aClientWidth, int aLabelLeft, int aLabelTop) = 0;
  // Shows the window centred on the screen and on top of the others, or hides it. The
  // window is created by the first Show, on the calling thread, which owns it from then
  // on; before that nothing of the system is touched.
  virtual void Show() = 0;
  virtual void Hide() = 0;
  virtual bool IsVisible() const = 0;
  // The system window, 0 before the first Show (and always when headless).
  virtual WindowHandle Handle() const = 0;
};

// The system's presenter: a real window on Windows; headless elsewhere, measuring 8 pixels
// per character of the longest line and 16 pixels per line.
std::unique_ptr<WaitWindowPresenter> CreateWaitWindowPresenter();

// ---- messages, quit request, user-interface exceptions ----------------------------

// Handles the window messages waiting for the calling thread, then returns.
void ProcessPendingMessages();
// Asks the calling thread's message loop to end with aExitCode (a quit message).
void PostQuitRequest(int aExitCode);
// Takes a quit request posted to the calling thread, if any (for hosts without a message
// loop, and tests).
std::optional<int> TakeQuitRequest();

// What an exception escaping a user-interface event leads to: aMessage is its text, empty
// for an exception without one. One handler per process; an empty function removes it.
using UiExceptionHandler = std::function<void(const std::string& aMessage)>;
void SetUiExceptionHandler(UiExceptionHandler aHandler);
// Runs aEvent as the user-interface framework runs an event handler: an exception leaving
// it goes to the handler (and is dropped when none is set).
void RunUiEvent(const std::function<void()>& aEvent) noexcept;

// ---- the notification-area icon ---------------------------------------------------

// The fields of the icon record that the framework fills.
struct NotifyIconData {
  uint32_t fSize = 0;
  WindowHandle fWindow = 0;
  uint32_t fId = 0;
  uint32_t fFlags = 0;
  uint32_t fCallbackMessage = 0;
  uintptr_t fIcon = 0;
};
// The record's size as the system's shell expects it.
uint32_t NotifyIconDataSize();
// The host program's own icon (its main icon, else the system's application icon).
uintptr_t ApplicationIcon();
inline constexpr uint32_t kNotifyIconAdd = 0;
inline constexpr uint32_t kNotifyIconDelete = 2;
inline constexpr uint32_t kNotifyIconMessage = 1;  // flag: callback message valid
inline constexpr uint32_t kNotifyIconIcon = 2;     // flag: icon valid
// Shell_NotifyIconW with aCommand; headless it only answers true.
bool ShellNotifyIcon(uint32_t aCommand, const NotifyIconData& aData);

// ---- single instance --------------------------------------------------------------

// A process-wide lock named after the host: on Windows a named mutex, owned; elsewhere an
// exclusive lock on the file "<name>.lock" in the user's runtime folder ($XDG_RUNTIME_DIR,
// else the temporary folder). Released when the object goes.
class InstanceLock {
 public:
  virtual ~InstanceLock() = default;
};
// The lock when this process could take it; null when another process holds it or the
// system refuses it.
std::unique_ptr<InstanceLock> TryTakeInstanceLock(std::string_view aName);

}  // namespace platform
