#include "log/LogWriter.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <deque>

#include "base/Errors.h"
#include "base/Text.h"

namespace {

constexpr int kWriteAttempts = 10;
constexpr auto kRetryPause = std::chrono::milliseconds(50);
// The size is checked before every kSizeCheckEvery-th line (see WriteRecord).
constexpr int32_t kSizeCheckEvery = 20;
// Lines written per opening of the file while the queue is backed up. Small enough that
// another writer of the same file, retrying every 50 ms, gets its turn in time.
constexpr size_t kRunLines = 128;
// A thread ended by process exit may have died holding the run lock; a drain waits no
// longer than this for it. A live thread releases it after one run.
constexpr auto kDrainWait = std::chrono::seconds(2);

constexpr char kLineEnd[] = "\r\n";

char* PutDigits(char* aOut, int aValue, int aWidth) {
  for (int i = aWidth - 1; i >= 0; --i) {
    aOut[i] = static_cast<char>('0' + aValue % 10);
    aValue /= 10;
  }
  return aOut + aWidth;
}

int Clamp(int aValue, int aMax) { return aValue < 0 ? 0 : (aValue > aMax ? aMax : aValue); }

// yyyymmdd, or yyyymmddhhnnsszzz with the time.
std::string CompactStamp(const DateTimeParts& aNow, bool aWithTime) {
  char buffer[17];
  char* p = PutDigits(buffer, Clamp(aNow.Year, 9999), 4);
  p = PutDigits(p, Clamp(aNow.Month, 99), 2);
  p = PutDigits(p, Clamp(aNow.Day, 99), 2);
  if (aWithTime) {
    p = PutDigits(p, Clamp(aNow.Hour, 99), 2);
    p = PutDigits(p, Clamp(aNow.Minute, 99), 2);
    p = PutDigits(p, Clamp(aNow.Second, 99), 2);
    p = PutDigits(p, Clamp(aNow.Millisecond, 999), 3);
  }
  return std::string(buffer, p);
}

// "yyyy-mm-dd hh:mm:ss:zzz"
constexpr size_t kLineStampLength = 23;
void PutLineStamp(char* aOut, const DateTimeParts& aNow) {
  char* p = PutDigits(aOut, Clamp(aNow.Year, 9999), 4);
  *p++ = '-';
  p = PutDigits(p, Clamp(aNow.Month, 99), 2);
  *p++ = '-';
  p = PutDigits(p, Clamp(aNow.Day, 99), 2);
  *p++ = ' ';
  p = PutDigits(p, Clamp(aNow.Hour, 99), 2);
  *p++ = ':';
  p = PutDigits(p, Clamp(aNow.Minute, 99), 2);
  *p++ = ':';
  p = PutDigits(p, Clamp(aNow.Second, 99), 2);
  *p++ = ':';
  PutDigits(p, Clamp(aNow.Millisecond, 999), 3);
}

size_t FileNameStart(std::string_view aPath) {
  for (size_t i = aPath.size(); i > 0; --i) {
    if (platform::IsPathDelimiter(aPath[i - 1])) return i;
  }
  return 0;
}

std::string FileNamePart(std::string_view aPath) { return std::string(aPath.substr(FileNameStart(aPath))); }

std::string JoinPath(const std::string& aDirectory, const std::string& aName) {
  if (platform::HasInvalidPathChars(aDirectory) || platform::HasInvalidPathChars(aName)) {
    throw EMxError("Invalid characters in path");
  }
  // A folder with no name in it is no file at all.
  if (aName.empty()) return std::string();
  if (aDirectory.empty() || platform::IsAbsolutePath(aName)) return aName;
  if (platform::IsPathDelimiter(aDirectory.back())) return aDirectory + aName;
  return aDirectory + platform::kPathDelim + aName;
}

// The name without its extension + "_yyyymmddhhnnsszzz.log".
std::string RotationName(const std::string& aFileName) {
  const size_t nameStart = FileNameStart(aFileName);
  const size_t dot = aFileName.rfind('.');
  const size_t stemEnd = dot != std::string::npos && dot >= nameStart ? dot : aFileName.size();
  return aFileName.substr(0, stemEnd) + "_" + CompactStamp(platform::LocalNow(), true) + ".log";
}

}  // namespace

// ---- tMx_LogThread --------------------------------------------------------------------

struct tMx_LogThread::State {
  explicit State(tMx_LogWriter& aWriter) : fWriter(&aWriter) {}

  tMx_LogWriter* fWriter;  // not touched by the background thread once fSynchronous is set
  std::mutex fLock;        // guards everything below but the two locks
  std::condition_variable fWake;
  std::deque<std::string> fQueue;  // lines leave only once written or dropped
  bool fStarted = false;
  bool fStopping = false;
  bool fIdle = false;         // the thread waits for fWake
  bool fSynchronous = false;  // lines are written by the threads that queue them
  std::mutex fRunLock;        // held by the background thread while it writes a run
  std::mutex fSyncLock;       // one caller at a time writes once synchronous
};

tMx_LogThread::tMx_LogThread(tMx_LogWriter& aWriter) : fState(std::make_shared<State>(aWriter)) {}

tMx_LogThread::~tMx_LogThread() {
  bool synchronous;
  {
    std::lock_guard lock(fState->fLock);
    fState->fStopping = true;
    synchronous = fState->fSynchronous;
  }
  fState->fWake.notify_all();
  if (fThread.joinable()) {
    // After a drain at process exit the thread is gone or leaves without touching the
    // writer, and joining under the loader lock would hang.
    if (synchronous) {
      fThread.detach();
    } else {
      fThread.join();
    }
  }
  // Lines of a thread that could not be started or ended early.
  if (QueueCount() > 0) WriteQueuedOnCaller(*fState);
}

void tMx_LogThread::Enqueue(std::string aLine) {
  aLine += kLineEnd;
  EnqueueRecord(std::move(aLine));
}

void tMx_LogThread::EnqueueRecord(std::string aRecord) {
  State& state = *fState;
  bool wake = false;
  bool synchronous = false;
  {
    std::lock_guard lock(state.fLock);
    state.fQueue.push_back(std::move(aRecord));
    if (state.fSynchronous) {
      synchronous = true;
    } else if (!state.fStarted) {
      state.fStarted = true;
      try {
        fThread = std::thread(&tMx_LogThread::Execute, fState);
      } catch (...) {
        // No thread to be had: the line still reaches the file, on this thread.
        state.fSynchronous = true;
        synchronous = true;
      }
    } else {
      wake = state.fIdle;
    }
  }
  if (synchronous) {
    WriteQueuedOnCaller(state);
  } else if (wake) {
    state.fWake.notify_one();
  }
}

size_t tMx_LogThread::QueueCount() const {
  std::lock_guard lock(fState->fLock);
  return fState->fQueue.size();
}

void tMx_LogThread::DrainOnCallingThread() {
  State& state = *fState;
  bool first;
  {
    std::lock_guard lock(state.fLock);
    first = !state.fSynchronous;
    state.fSynchronous = true;
    state.fStopping = true;
  }
  state.fWake.notify_all();
  std::unique_lock run(state.fRunLock, std::defer_lock);
  // Let a run in progress finish; the thread writes nothing after it.
  if (first) {
    const auto giveUp = std::chrono::steady_clock::now() + kDrainWait;
    while (!run.try_lock() && std::chrono::steady_clock::now() < giveUp) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  WriteQueuedOnCaller(state);
}

void tMx_LogThread::WriteQueuedOnCaller(State& aState) {
  std::lock_guard sync(aState.fSyncLock);
  for (;;) {
    {
      std::lock_guard lock(aState.fLock);
      if (aState.fQueue.empty()) return;
    }
    WriteRun(aState, false);
  }
}

void tMx_LogThread::Execute(std::shared_ptr<State> aState) {
  State& state = *aState;
  try {
    for (;;) {
      {
        std::unique_lock lock(state.fLock);
        while (state.fQueue.empty() && !state.fStopping) {
          state.fIdle = true;
          state.fWake.wait(lock);
          state.fIdle = false;
        }
        if (state.fSynchronous || state.fQueue.empty()) return;
      }
      std::lock_guard run(state.fRunLock);
      if (!WriteRun(state, true)) return;
    }
  } catch (...) {
    // Without its thread the writer goes on writing on the callers' threads.
    try {
      std::lock_guard lock(state.fLock);
      state.fSynchronous = true;
    } catch (...) {
    }
  }
}

bool tMx_LogThread::WriteRun(State& aState, bool aBackground) {
  // Elements of a deque stay in place while others are added at the tail or taken from
  // the head, so the lines can be read without the lock.
  std::array<const std::string*, kRunLines> lines;
  size_t count;
  {
    std::lock_guard lock(aState.fLock);
    if (aBackground && aState.fSynchronous) return false;
    count = std::min(aState.fQueue.size(), kRunLines);
    for (size_t i = 0; i < count; ++i) lines[i] = &aState.fQueue[i];
  }
  tMx_LogWriter& writer = *aState.fWriter;
  for (size_t i = 0; i < count; ++i) {
    const bool written = writer.WriteRecord(*lines[i]);
    // Closed before the last line leaves the queue: an empty queue means a closed file,
    // free for other writers and for whoever removes or moves it.
    if (!written || i + 1 == count) writer.CloseFile();
    {
      std::lock_guard lock(aState.fLock);
      aState.fQueue.pop_front();
    }
    // A failing file gives other writers and a drain their turn after each line.
    if (!written) break;
  }
  return true;
}

// ---- tMx_LogWriter --------------------------------------------------------------------

tMx_LogWriter::tMx_LogWriter(const std::string& aFileName, const std::string& aDirectory,
                             int32_t aMaxMessageLength, bool aDaily) {
  fFileName = aDaily ? aFileName + "_" + CompactStamp(platform::LocalNow(), false) + ".log"
                     : aFileName + ".log";
  SetDirectory(aDirectory);
  fMaxMessageLength = aMaxMessageLength;
  fDaily = aDaily;
  fThread = std::make_unique<tMx_LogThread>(*this);
}

tMx_LogWriter::~tMx_LogWriter() { fThread.reset(); }

void tMx_LogWriter::Write(tMx_MessageType aEntryType, std::string_view aMessage) {
  if (!fHasFileName.load(std::memory_order_relaxed)) throw EMxError("Log filename is empty ");
  const DateTimeParts now = platform::LocalNow();
  if (fMaxMessageLength > 0) aMessage = LeftCodePoints(aMessage, static_cast<size_t>(fMaxMessageLength));
  const std::string_view separator = aEntryType == let_error ? " - ERROR - " : " - ";

  std::string record;
  record.reserve(kLineStampLength + separator.size() + aMessage.size() + 2);
  record.resize(kLineStampLength);
  PutLineStamp(record.data(), now);
  record.append(separator);
  record.append(aMessage);
  record.append(kLineEnd);
  fThread->EnqueueRecord(std::move(record));
}

std::string tMx_LogWriter::Directory() const {
  std::lock_guard lock(fNameLock);
  return fDirectory;
}

void tMx_LogWriter::SetDirectory(const std::string& aDirectory) {
  {
    std::lock_guard lock(fNameLock);
    std::string fileName = JoinPath(aDirectory, FileNamePart(fFileName));
    // Refused before anything changes, so the writer keeps logging where it did.
    if (aDirectory.empty()) throw EMxError("Unable to create directory");
    fDirectory = aDirectory;
    fFileName = std::move(fileName);
    ++fNameVersion;
    fHasFileName.store(!fFileName.empty(), std::memory_order_relaxed);
  }
  // A folder that cannot be created shows in the writes, which fail and are dropped.
  platform::ForceDirectories(aDirectory);
}

std::string tMx_LogWriter::FileName() const {
  std::lock_guard lock(fNameLock);
  return fFileName;
}

void tMx_LogWriter::SetFileName(const std::string& aFileName) {
  std::lock_guard lock(fNameLock);
  fFileName = JoinPath(fDirectory, FileNamePart(aFileName));
  ++fNameVersion;
  fHasFileName.store(!fFileName.empty(), std::memory_order_relaxed);
}

int64_t tMx_LogWriter::GetLogFileSize() const { return platform::FileSizeOf(FileName()); }

bool tMx_LogWriter::CheckLogfileSize() const {
  return fCounter.load(std::memory_order_relaxed) % kSizeCheckEvery == 0;
}

// fCounter advances once per line written and wraps at kSizeCheckEvery, so the size is
// checked before the 1st, 21st, 41st ... line: a file outgrows its limit by at most 19
// lines, and the counter cannot overflow however long the writer lives.
bool tMx_LogWriter::WriteRecord(const std::string& aRecord) {
  if (CheckLogfileSize()) {
    try {
      RotateIfOversized();
    } catch (...) {
      // A failed rotation leaves the line to the current file.
    }
  }
  for (int attempt = 1;; ++attempt) {
    bool written = false;
    try {
      written = AppendOnce(aRecord);
    } catch (...) {
    }
    if (written) {
      fCounter.store((fCounter.load(std::memory_order_relaxed) + 1) % kSizeCheckEvery,
                     std::memory_order_relaxed);
      return true;
    }
    CloseFile();
    if (attempt >= kWriteAttempts) return false;
    std::this_thread::sleep_for(kRetryPause);
  }
}

void tMx_LogWriter::CloseFile() { fOut.Close(); }

bool tMx_LogWriter::AppendOnce(const std::string& aRecord) {
  const std::string& fileName = CurrentFileName();
  if (!fOut.IsOpen() && !fOut.Open(fileName)) return false;
  return fOut.Append(aRecord);
}

void tMx_LogWriter::RotateIfOversized() {
  const std::string& fileName = CurrentFileName();
  const int64_t size = platform::FileSizeOf(fileName);
  if (size < 0 || size <= int64_t{fMaxLogfileSize.load(std::memory_order_relaxed)} * 1024) return;
  fOut.Close();
  // When the move fails (the target exists, the file is held) the line goes to the
  // oversized file and a later check tries again.
  platform::MoveFileTo(fileName, RotationName(fileName));
}

// The name the writing thread uses; lines still queued follow a new name at once.
const std::string& tMx_LogWriter::CurrentFileName() {
  std::lock_guard lock(fNameLock);
  if (fOutVersion != fNameVersion) {
    fOut.Close();
    fOutName = fFileName;
    fOutVersion = fNameVersion;
  }
  return fOutName;
}
