#pragma once
// The process-wide application object: application information, application log,
// settings, localised messages, command-line flags and stop-watches of the program that
// hosts the library.
//
// A translation unit that includes <windows.h> sees GetMessage renamed to GetMessageW by
// a macro; include this header there only if it does not call GetMessage.
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/AppInfo.h"
#include "app/Format.h"
#include "core/DateTime.h"
#include "core/MessageType.h"
#include "app/Settings.h"
#include "app/Wait.h"
#include "platform/UserInterface.h"

class tMx_LogWriter;

// What the application object takes from the host process. Tests build their own.
struct tMx_HostContext {
  std::string fLogDirectory;            // folder of the application log
  std::string fLogName;                 // its file name, without ".log"; the single-instance name
  std::vector<std::string> fArguments;  // command-line parameters after the program name
  tMx_StringLookup fStrings;            // the library's string table
  std::function<std::optional<std::string>(std::string_view aName)> fRawResources;
  std::function<TDateTime()> fClock;
  // Presents the wait window; the system's own when not set.
  std::function<std::unique_ptr<platform::WaitWindowPresenter>()> fWaitPresenter;

  // The host executable's folder + "LogFiles" and name, its command line, the library's
  // own resources and the local clock.
  static tMx_HostContext FromProcess();
};

class tMx_Application {
 public:
  // Describes the host process.
  tMx_Application();
  // Raises what the log writer raises for an unusable folder and what loading the
  // application information raises.
  explicit tMx_Application(tMx_HostContext aContext);
  // Writes every queued log line first.
  ~tMx_Application();
  tMx_Application(const tMx_Application&) = delete;
  tMx_Application& operator=(const tMx_Application&) = delete;

  // The process's application object, built on first use. Raises what building it
  // raises; the next call tries again.
  static tMx_Application& Instance();
  // The object if it has been built, else null; builds nothing.
  static tMx_Application* InstanceIfBuilt();
  // Destroys the object after its queued log lines are written; the next Instance()
  // builds a new one. Call it when the library unloads, after the devices and the
  // drivers. aOtherThreadsRun false (process exit on Windows, where the system has ended
  // the other threads): the lines are written on the calling thread, waiting for the
  // log's worker only briefly, since it may have died in the middle of a line.
  static void Shutdown(bool aOtherThreadsRun);

  tMx_Wait& Wait() { return *fWait; }
  tMx_Setup& Setup() { return *fSetup; }
  const tMx_ApplicationInfo& Info() const { return *fInfo; }
  const std::string& LastError() const { return fLastError; }
  bool IsBatch() const { return fIsBatch; }
  bool IsDebug() const { return fIsDebug; }
  bool IsTest() const { return fIsTest; }
  void ForceIsBatch() { fIsBatch = true; }
  const std::string& Language() const { return fLanguage; }
  void SetLanguage(std::string aLanguage) { fLanguage = std::move(aLanguage); }
  const std::string& DefaultLanguage() const { return fDefaultLanguage; }
  void SetDefaultLanguage(std::string aLanguage) { fDefaultLanguage = std::move(aLanguage); }
  bool TerminateOnExceptionIfBatch() const { return fTerminateOnExceptionIfBatch; }
  void SetTerminateOnExceptionIfBatch(bool aValue) { fTerminateOnExceptionIfBatch = aValue; }

  // Single-instance mode. Turning it on takes the lock named after the host (fLogName of
  // the context); when another process holds it, "Impossible to enter single instance
  // mode." is shown (or logged in batch mode) and the thread's message loop is asked to
  // end, while the mode stays on. Turning it off releases the lock; destroying the object
  // does not, so the process keeps it to its end.
  bool SingleInstance() const { return fSingleInstance; }
  void SetSingleInstance(bool aValue);
  bool HoldsSingleInstanceLock() const { return fSingleInstanceLock != nullptr; }

  // The notification-area icon of window aForm, with the host program's icon; its clicks
  // arrive at aForm as message kNotifyIconCallbackMessage.
  static constexpr uint32_t kNotifyIconCallbackMessage = 0x0400 + 100;
  void CreateNotifyIcon(platform::WindowHandle aForm);
  void DeleteNotifyIcon();
  bool NotifyIcon() const { return fNotifyIcon; }
  const platform::NotifyIconData& IconData() const { return fIconData; }

  // What an exception escaping a user-interface event leads to (installed for the process
  // while this object lives): its text, when there is one, shown over the wait window as
  // an error; then, in batch mode with TerminateOnExceptionIfBatch, a quit request.
  void HandleApplicationException(const std::string& aMessage);
  // Handles the calling thread's pending window messages, waits 500 ms, then asks the
  // thread's message loop to end with exit code 0.
  void Terminate();

  // Writes one line to the application log; an error line also becomes LastError.
  void Log(tMx_MessageType aEntryType, std::string_view aMessage);
  tMx_LogWriter& Logger() { return *fLogger; }

  // The message for aMessageId unformatted, each backslash-r-backslash-n turned into
  // CR LF.
  std::string GetMessage(std::string_view aMessageId) const;
  // The message for aMessageId ("<Language>.<id>", else "<id>.<DefaultLanguage>", else the
  // id itself) formatted with aValues (MxFormat).
  std::string GetMessage(std::string_view aMessageId,
                         std::initializer_list<tMx_FormatArg> aValues) const;
  // Adds the "key:value" lines of the raw-data resource aResourceName; a missing resource
  // adds nothing. A key already present keeps its first value.
  void LoadMessages(std::string_view aResourceName);
  void AddMessageLines(const std::vector<std::string>& aLines);

  // A relative folder (empty, or not starting with a path separator or drive letter and
  // colon) lies under the log folder the object was built with; others are taken as
  // they are.
  void ChangeLogDirectory(std::string_view aNewDir);
  // Only the file-name part counts; the folder stays.
  void ChangeLogFilename(std::string_view aNewFileName);
  std::string GetLogDirectory() const;
  // The full path of the log file.
  std::string GetLogFileName() const;

  // Stop-watches nest: StopTimer ends the one started last. The elapsed milliseconds
  // count whole days too. StopTimer and GetTimerValue raise EMxError "Unbalanced stack or
  // queue operation" when none runs.
  void StartTimer();
  int64_t StopTimer();
  int64_t GetTimerValue() const;
  size_t GetTimerCount() const { return fTimers.size(); }

 private:
  // Makes aOwner's HandleApplicationException the process's handler; null removes this
  // object's handler if it is still the one installed.
  void InstallExceptionHandler(tMx_Application* aOwner);
  // The table's text for aMessageId, or aMessageId itself.
  std::string_view FindMessage(std::string_view aMessageId) const;
  int64_t ElapsedSince(TDateTime aStart) const;

  tMx_HostContext fContext;
  bool fBuilt = false;  // construction has ended: the wait window may read the language
  std::unique_ptr<tMx_Wait> fWait;
  std::unique_ptr<tMx_Setup> fSetup;
  platform::NotifyIconData fIconData;
  bool fNotifyIcon = false;
  std::unique_ptr<tMx_LogWriter> fLogger;
  std::string fLastError;
  bool fIsBatch = false;
  bool fIsDebug = false;
  bool fIsTest = false;
  bool fSingleInstance = false;
  std::unique_ptr<platform::InstanceLock> fSingleInstanceLock;
  bool fTerminateOnExceptionIfBatch = true;
  std::string fDefaultLanguage;
  std::string fLanguage;
  std::map<std::string, std::string, std::less<>> fMessages;
  std::unique_ptr<tMx_ApplicationInfo> fInfo;
  std::vector<TDateTime> fTimers;  // start times, last started at the back
};

inline constexpr char kSingleInstanceRefused[] = "Impossible to enter single instance mode.";

// The process's application object, built on first use.
inline tMx_Application& gApplicationObject() { return tMx_Application::Instance(); }
