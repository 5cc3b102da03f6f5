#include "app/Application.h"

#include <chrono>
#include <cmath>
#include <mutex>
#include <thread>

#include "app/MessageHelpers.h"
#include "app/TextResource.h"
#include "core/Errors.h"
#include "core/Text.h"
#include "core/Utils.h"
#include "log/LogWriter.h"
#include "platform/Host.h"
#include "platform/Platform.h"
#include "platform/Resources.h"

tMx_HostContext tMx_HostContext::FromProcess() {
  tMx_HostContext context;
  context.fLogDirectory = GetExePath() + "LogFiles";
  context.fLogName = GetExeName();
  std::vector<std::string> arguments = platform::CommandLineArguments();
  if (!arguments.empty()) context.fArguments.assign(arguments.begin() + 1, arguments.end());
  context.fStrings = platform::LoadResourceString;
  context.fRawResources = platform::LoadRawResource;
  context.fClock = Now;
  return context;
}

namespace {

// The object whose handler is installed: of several objects (tests build their own), the
// last one built, until it goes.
std::mutex gHandlerOwnerLock;
tMx_Application* gHandlerOwner = nullptr;

// Single-instance locks of objects that are gone, held to the end of the process: never
// destroyed, not even when the library is unloaded.
union KeptLocks {
  KeptLocks() : fLocks() {}
  ~KeptLocks() {}
  std::vector<std::unique_ptr<platform::InstanceLock>> fLocks;
};

std::vector<std::unique_ptr<platform::InstanceLock>>& KeptInstanceLocks() {
  static KeptLocks kept;
  return kept.fLocks;
}

}  // namespace

void tMx_Application::InstallExceptionHandler(tMx_Application* aOwner) {
  std::lock_guard lock(gHandlerOwnerLock);
  if (aOwner) {
    gHandlerOwner = aOwner;
    platform::SetUiExceptionHandler(
        [aOwner](const std::string& aMessage) { aOwner->HandleApplicationException(aMessage); });
  } else if (gHandlerOwner == this) {
    gHandlerOwner = nullptr;
    platform::SetUiExceptionHandler({});
  }
}

tMx_Application::tMx_Application() : tMx_Application(tMx_HostContext::FromProcess()) {}

tMx_Application::tMx_Application(tMx_HostContext aContext) : fContext(std::move(aContext)) {
  if (!fContext.fStrings) fContext.fStrings = [](uint32_t) { return std::string(); };
  if (!fContext.fRawResources) {
    fContext.fRawResources = [](std::string_view) { return std::optional<std::string>(); };
  }
  if (!fContext.fClock) fContext.fClock = Now;

  if (!fContext.fWaitPresenter) fContext.fWaitPresenter = platform::CreateWaitWindowPresenter;
  fWait = std::make_unique<tMx_Wait>(
      [this]() { return fBuilt ? std::optional<std::string>(fLanguage) : std::nullopt; },
      fContext.fWaitPresenter());
  fSetup = std::make_unique<tMx_Setup>();
  // Creating the writer creates the folder; its thread starts with the first line.
  fLogger = std::make_unique<tMx_LogWriter>(fContext.fLogName, fContext.fLogDirectory, 0, false);
  auto hasSwitch = [this](std::string_view aSwitch) {
    return !GetParamValue(fContext.fArguments, aSwitch, true).empty();
  };
  fIsBatch = hasSwitch("/BATCH");
  fIsDebug = hasSwitch("/DEBUG");
  fIsTest = hasSwitch("/TEST");
  fInfo = std::make_unique<tMx_ApplicationInfo>();
  fInfo->Load(fContext.fStrings);
  LoadMessages("MESSAGES");
  InstallExceptionHandler(this);
  fBuilt = true;
}

tMx_Application::~tMx_Application() {
  InstallExceptionHandler(nullptr);
  // A host that asked for a single instance keeps it until its process ends, even when
  // the library is unloaded before: the system releases the lock then.
  if (fSingleInstanceLock) KeptInstanceLocks().push_back(std::move(fSingleInstanceLock));
  DeleteNotifyIcon();
  fSetup.reset();
  fLogger.reset();  // writes the queued lines
  fWait.reset();
  fMessages.clear();
  fInfo.reset();
  fTimers.clear();
}

namespace {

// The object is built on first use, not while the library loads: building it creates the
// log folder beside the host program, which fails in a read-only program folder, and a
// failure during loading would take the host down instead of failing one call. It also
// keeps the loader lock away from the log writer's thread.
struct ApplicationSlot {
  // Recursive: code run while the object is being built may ask InstanceIfBuilt.
  std::recursive_mutex fLock;
  std::unique_ptr<tMx_Application> fObject;
};

ApplicationSlot& Slot() {
  static ApplicationSlot slot;
  return slot;
}

}  // namespace

tMx_Application& tMx_Application::Instance() {
  ApplicationSlot& slot = Slot();
  std::lock_guard lock(slot.fLock);
  if (!slot.fObject) slot.fObject = std::make_unique<tMx_Application>();
  return *slot.fObject;
}

const tMx_ApplicationInfo& ApplicationInfo() { return tMx_Application::Instance().Info(); }

tMx_Application* tMx_Application::InstanceIfBuilt() {
  ApplicationSlot& slot = Slot();
  std::lock_guard lock(slot.fLock);
  return slot.fObject.get();
}

void tMx_Application::Shutdown(bool aOtherThreadsRun) {
  ApplicationSlot& slot = Slot();
  std::unique_ptr<tMx_Application> object;
  {
    std::lock_guard lock(slot.fLock);
    object = std::move(slot.fObject);
  }
  if (!object) return;
  if (!aOtherThreadsRun) object->fLogger->Thread().DrainOnCallingThread();
  object.reset();
}

void tMx_Application::Log(tMx_MessageType aEntryType, std::string_view aMessage) {
  if (aEntryType == let_error) fLastError = aMessage;
  fLogger->Write(aEntryType, aMessage);
}

std::string_view tMx_Application::FindMessage(std::string_view aMessageId) const {
  std::string id(aMessageId);
  auto it = fMessages.find(fLanguage + "." + id);
  if (it == fMessages.end()) it = fMessages.find(id + "." + fDefaultLanguage);
  return it != fMessages.end() ? std::string_view(it->second) : aMessageId;
}

std::string tMx_Application::GetMessage(std::string_view aMessageId) const {
  return StringReplaceAll(FindMessage(aMessageId), "\\r\\n", "\r\n");
}

std::string tMx_Application::GetMessage(std::string_view aMessageId,
                                        std::initializer_list<tMx_FormatArg> aValues) const {
  return MxFormat(FindMessage(aMessageId),
                  std::span<const tMx_FormatArg>(aValues.begin(), aValues.size()));
}

void tMx_Application::LoadMessages(std::string_view aResourceName) {
  std::optional<std::string> data = fContext.fRawResources(aResourceName);
  if (data) AddMessageLines(TextResourceLines(*data));
}

void tMx_Application::AddMessageLines(const std::vector<std::string>& aLines) {
  for (const std::string& line : aLines) {
    // emplace keeps the value of a key that is already there
    fMessages.emplace(ExtractField(line, 1, ':', false), ExtractField(line, 2, ':', false));
  }
}

void tMx_Application::ChangeLogDirectory(std::string_view aNewDir) {
  bool relative = aNewDir.empty() ||
                  !(platform::IsPathDelimiter(aNewDir[0]) ||
                    (aNewDir.size() >= 2 && aNewDir[1] == ':'));
  std::string folder(aNewDir);
  if (relative) folder = aNewDir.empty() ? fContext.fLogDirectory : platform::JoinPath(fContext.fLogDirectory, aNewDir);
  fLogger->SetDirectory(folder);
}

void tMx_Application::ChangeLogFilename(std::string_view aNewFileName) {
  fLogger->SetFileName(std::string(aNewFileName));
}

std::string tMx_Application::GetLogDirectory() const { return fLogger->Directory(); }

std::string tMx_Application::GetLogFileName() const { return fLogger->FileName(); }

void tMx_Application::StartTimer() { fTimers.push_back(fContext.fClock()); }

int64_t tMx_Application::StopTimer() {
  int64_t elapsed = GetTimerValue();
  fTimers.pop_back();
  return elapsed;
}

int64_t tMx_Application::GetTimerValue() const {
  if (fTimers.empty()) throw EMxError("Unbalanced stack or queue operation");
  return ElapsedSince(fTimers.back());
}

namespace {

// Milliseconds since 30 December 1899 on a straight line. Before that day the date part
// counts back while the time of day still counts forward (-1.25 is 29 December, 06:00).
int64_t LinearMilliseconds(TDateTime aValue) {
  double days = std::trunc(aValue);
  return static_cast<int64_t>(days) * kMSecsPerDay +
         std::llround(std::fabs(aValue - days) * kMSecsPerDay);
}

}  // namespace

// Whole date-times are compared, not times of day, so a stop-watch that runs across
// midnight does not come out negative.
int64_t tMx_Application::ElapsedSince(TDateTime aStart) const {
  return LinearMilliseconds(fContext.fClock()) - LinearMilliseconds(aStart);
}

void tMx_Application::SetSingleInstance(bool aValue) {
  if (aValue == fSingleInstance) return;
  fSingleInstance = aValue;
  if (aValue) {
    fSingleInstanceLock = platform::TryTakeInstanceLock(fContext.fLogName);
    if (!fSingleInstanceLock) {
      ShowMessageOverWait(*this, let_error, kSingleInstanceRefused);
      platform::PostQuitRequest(0);
    }
  } else {
    fSingleInstanceLock.reset();
  }
}

void tMx_Application::CreateNotifyIcon(platform::WindowHandle aForm) {
  fIconData = {};
  fIconData.fSize = platform::NotifyIconDataSize();
  fIconData.fWindow = aForm;
  fIconData.fCallbackMessage = kNotifyIconCallbackMessage;
  fIconData.fId = 1;
  fIconData.fIcon = platform::ApplicationIcon();
  fIconData.fFlags = platform::kNotifyIconMessage | platform::kNotifyIconIcon;
  platform::ShellNotifyIcon(platform::kNotifyIconAdd, fIconData);
  fNotifyIcon = true;
}

void tMx_Application::DeleteNotifyIcon() {
  if (!fNotifyIcon) return;
  fIconData.fFlags = 0;
  platform::ShellNotifyIcon(platform::kNotifyIconDelete, fIconData);
  fNotifyIcon = false;
}

void tMx_Application::HandleApplicationException(const std::string& aMessage) {
  if (!aMessage.empty()) ShowMessageOverWait(*this, let_error, aMessage);
  if (fIsBatch && fTerminateOnExceptionIfBatch) platform::PostQuitRequest(0);
}

void tMx_Application::Terminate() {
  platform::ProcessPendingMessages();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  platform::PostQuitRequest(0);
}
