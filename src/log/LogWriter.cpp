#include "log/LogWriter.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <thread>

#include "core/Errors.h"
#include "core/Text.h"
#include "log/LogText.h"
#include "platform/Regional.h"
#include "platform/Worker.h"

namespace {

constexpr int kWriteAttempts = 10;
constexpr auto kRetryPause = std::chrono::milliseconds(50);
// The size is checked before every kSizeCheckEvery-th line (see WriteRecord).
constexpr int32_t kSizeCheckEvery = 20;
// Lines written per opening of the file while the queue is backed up. Small enough that
// another writer of the same file, retrying every 50 ms, gets its turn in time.
constexpr size_t kRunLines = 128;
// At process exit the system may have ended a worker in the middle of a run, so it never
// finishes it; the exit waits this long at most. A live worker ends a run much sooner.
constexpr auto kEndedWorkerWait = std::chrono::milliseconds(100);

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

// "yyyy-mm-dd hh:mm:ss:zzz" with ':' standing for the time separator, which is one
// character of up to four bytes.
constexpr size_t kMaxLineStampLength = 20 + 3 * 4;
size_t PutLineStamp(char* aOut, const DateTimeParts& aNow, std::string_view aTimeSeparator) {
  const auto putSeparator = [&aTimeSeparator](char* aAt) {
    for (char c : aTimeSeparator) *aAt++ = c;
    return aAt;
  };
  char* p = PutDigits(aOut, Clamp(aNow.Year, 9999), 4);
  *p++ = '-';
  p = PutDigits(p, Clamp(aNow.Month, 99), 2);
  *p++ = '-';
  p = PutDigits(p, Clamp(aNow.Day, 99), 2);
  *p++ = ' ';
  p = PutDigits(p, Clamp(aNow.Hour, 99), 2);
  p = putSeparator(p);
  p = PutDigits(p, Clamp(aNow.Minute, 99), 2);
  p = putSeparator(p);
  p = PutDigits(p, Clamp(aNow.Second, 99), 2);
  p = putSeparator(p);
  return static_cast<size_t>(PutDigits(p, Clamp(aNow.Millisecond, 999), 3) - aOut);
}

size_t FileNameStart(std::string_view aPath) {
  for (size_t i = aPath.size(); i > 0; --i) {
    if (platform::IsPathDelimiter(aPath[i - 1])) return i;
  }
  return 0;
}

std::string FileNamePart(std::string_view aPath) { return std::string(aPath.substr(FileNameStart(aPath))); }

std::string LogFilePath(const std::string& aDirectory, const std::string& aName) {
  if (platform::HasInvalidPathChars(aDirectory) || platform::HasInvalidPathChars(aName)) {
    throw EMxError("Invalid characters in path");
  }
  // A folder with no name in it is no file at all.
  if (aName.empty()) return std::string();
  if (aDirectory.empty() || platform::IsAbsolutePath(aName)) return aName;
  return platform::JoinPath(aDirectory, aName);
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

namespace {
std::atomic<tkLogWriting> gProcessWriting{lw_Background};
}

struct tMx_LogThread::State {
  explicit State(tMx_LogWriter& aWriter) : fWriter(&aWriter) {}

  tMx_LogWriter* fWriter;            // a worker touches it only while fRunning
  mutable std::mutex fLock;          // guards the fields below but the two last ones
  std::condition_variable fSettled;  // fRunning went false
  std::deque<std::string> fQueue;    // lines leave only once written or dropped
  bool fRunning = false;   // a worker was started and has not given the writer up yet
  bool fWriting = false;   // the worker is writing lines it took from the queue
  bool fOnCaller = false;  // lines are written by the threads that queue them
  uint64_t fWorkersStarted = 0;
  platform::WorkerThread fWorker;
  std::mutex fSyncLock;                  // one caller at a time writes on its own thread
  std::atomic<bool> fMayBeEnded{false};  // the system may have ended the worker
  std::atomic<size_t> fHeadWritten{0};  // lines at the head that the worker wrote, still queued

  bool OnCaller() const {
    return fOnCaller || gProcessWriting.load(std::memory_order_acquire) != lw_Background;
  }
  bool MayBeEnded() const {
    return fMayBeEnded.load(std::memory_order_acquire) ||
           gProcessWriting.load(std::memory_order_acquire) == lw_ThreadsEnded;
  }
};

namespace {

using tkRun = std::array<const std::string*, kRunLines>;
using tkClock = std::chrono::steady_clock;

// Takes up to kRunLines lines from the head of the queue, without removing them. Elements
// of a deque stay in place while others are added at the tail or taken from the head, so
// they can be read without the lock. Call with the queue's lock held.
size_t TakeRun(std::deque<std::string>& aQueue, tkRun& aRun) {
  const size_t count = std::min(aQueue.size(), kRunLines);
  for (size_t i = 0; i < count; ++i) aRun[i] = &aQueue[i];
  return count;
}

// For process exit, where the owner may be a thread that the system has ended: polls
// instead of blocking, and gives up at aGiveUp.
bool LockUnlessAbandoned(std::mutex& aLock, tkClock::time_point aGiveUp) {
  while (!aLock.try_lock()) {
    if (tkClock::now() >= aGiveUp) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace

tMx_LogThread::tMx_LogThread(tMx_LogWriter& aWriter) : fState(std::make_shared<State>(aWriter)) {}

tMx_LogThread::~tMx_LogThread() {
  State& state = *fState;
  if (state.MayBeEnded()) {
    WriteQueuedAtExit(state);
    // Natively a worker is never ended by the system, so it can still be joined; on
    // Windows this does nothing.
    state.fWorker.Join();
    return;
  }
  platform::WorkerThread worker;
  {
    std::unique_lock lock(state.fLock);
    state.fSettled.wait(lock, [&] { return !state.fRunning; });
    worker = std::move(state.fWorker);
  }
  worker.Join();
  // Lines that no worker took: no thread to be had, or the unload came first.
  if (QueueCount() > 0) WriteQueuedOnCaller(state);
}

void tMx_LogThread::Enqueue(std::string aLine) {
  aLine += kLineEnd;
  EnqueueRecord(std::move(aLine));
}

void tMx_LogThread::EnqueueRecord(std::string aRecord) {
  State& state = *fState;
  platform::WorkerThread previous;
  bool onCaller;
  {
    std::lock_guard lock(state.fLock);
    state.fQueue.push_back(std::move(aRecord));
    onCaller = state.OnCaller();
    if (!onCaller && !state.fRunning) {
      // The last worker has given the writer up; it is joined below, outside the lock.
      previous = std::move(state.fWorker);
      bool started = false;
      try {
        started = state.fWorker.Start([shared = fState] { Execute(shared); });
      } catch (...) {
      }
      if (started) {
        state.fRunning = true;
        ++state.fWorkersStarted;
      } else {
        // No thread to be had: the line still reaches the file, on this thread.
        state.fOnCaller = true;
        onCaller = true;
      }
    }
  }
  previous.Join();
  if (onCaller) WriteQueuedOnCaller(state);
}

size_t tMx_LogThread::QueueCount() const {
  std::lock_guard lock(fState->fLock);
  return fState->fQueue.size();
}

bool tMx_LogThread::WorkerRunning() const {
  std::lock_guard lock(fState->fLock);
  return fState->fRunning;
}

uint64_t tMx_LogThread::WorkersStarted() const {
  std::lock_guard lock(fState->fLock);
  return fState->fWorkersStarted;
}

void tMx_LogThread::DrainOnCallingThread() {
  fState->fMayBeEnded.store(true, std::memory_order_release);
  WriteQueuedAtExit(*fState);
}

void tMx_LogThread::WriteQueuedOnCaller(State& aState) {
  if (aState.MayBeEnded()) {
    WriteQueuedAtExit(aState);
    return;
  }
  std::lock_guard sync(aState.fSyncLock);
  {
    // A worker busy when lines went to the callers finishes its run and ends; no other
    // starts after it.
    std::unique_lock lock(aState.fLock);
    aState.fSettled.wait(lock, [&] { return !aState.fRunning; });
  }
  tMx_LogWriter& writer = *aState.fWriter;
  for (;;) {
    tkRun run;
    size_t count;
    {
      std::lock_guard lock(aState.fLock);
      count = TakeRun(aState.fQueue, run);
    }
    if (count == 0) return;
    for (size_t i = 0; i < count; ++i) {
      const bool written = writer.WriteRecord(*run[i], kWriteAttempts);
      if (!written || i + 1 == count) writer.CloseFile();
      std::lock_guard lock(aState.fLock);
      aState.fQueue.pop_front();
      if (!written) break;
    }
  }
}

// The system may have ended the worker anywhere, even holding a lock or in the middle of a
// line, which it never finishes: nothing here blocks on what it may hold, and the line it
// was writing is written again unless it had got to the file.
void tMx_LogThread::WriteQueuedAtExit(State& aState) {
  std::unique_lock sync(aState.fSyncLock, std::defer_lock);
  {
    const auto giveUp = tkClock::now() + kEndedWorkerWait;
    if (LockUnlessAbandoned(aState.fSyncLock, giveUp)) sync = std::unique_lock(aState.fSyncLock, std::adopt_lock);
    // A live worker (the system ends none outside process exit) ends its run first.
    for (;;) {
      if (!LockUnlessAbandoned(aState.fLock, giveUp)) return;
      aState.fOnCaller = true;
      const bool writing = aState.fWriting;
      aState.fLock.unlock();
      if (!writing) break;
      if (tkClock::now() >= giveUp) {
        // Ended after writing its lines but before taking them from the queue.
        const size_t written = aState.fHeadWritten.load(std::memory_order_acquire);
        if (written > 0 && LockUnlessAbandoned(aState.fLock, giveUp)) {
          for (size_t i = 0; i < written && !aState.fQueue.empty(); ++i) aState.fQueue.pop_front();
          aState.fLock.unlock();
        }
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  tMx_LogWriter& writer = *aState.fWriter;
  int attempts = kWriteAttempts;
  for (;;) {
    tkRun run;
    size_t count;
    if (!LockUnlessAbandoned(aState.fLock, tkClock::now() + kEndedWorkerWait)) return;
    count = TakeRun(aState.fQueue, run);
    aState.fLock.unlock();
    if (count == 0) return;
    for (size_t i = 0; i < count; ++i) {
      const bool written = writer.WriteRecord(*run[i], attempts);
      if (!written || i + 1 == count) writer.CloseFile();
      // A file that refuses a line now (a dead worker may hold it open) is not waited
      // for again, line after line, while the process ends.
      if (!written) attempts = 1;
      if (!LockUnlessAbandoned(aState.fLock, tkClock::now() + kEndedWorkerWait)) return;
      aState.fQueue.pop_front();
      aState.fLock.unlock();
    }
  }
}

void tMx_LogThread::Execute(const std::shared_ptr<State>& aState) {
  State& state = *aState;
  try {
    for (;;) {
      tkRun run;
      size_t count;
      {
        std::lock_guard lock(state.fLock);
        if (state.fQueue.empty() || state.OnCaller()) {
          // Nothing of the writer is touched after this: it may be destroyed at once.
          state.fRunning = false;
          state.fSettled.notify_all();
          return;
        }
        count = TakeRun(state.fQueue, run);
        state.fWriting = true;
      }
      tMx_LogWriter& writer = *state.fWriter;
      for (size_t i = 0; i < count;) {
        bool written;
        const size_t taken = writer.WriteRecords(run.data() + i, count - i, kWriteAttempts, written);
        state.fHeadWritten.store(written ? taken : 0, std::memory_order_release);
        i += taken;
        // Closed before the last line leaves the queue: an empty queue means a closed file,
        // free for other writers and for whoever removes or moves it.
        const bool last = !written || i == count;
        if (last) writer.CloseFile();
        std::lock_guard lock(state.fLock);
        for (size_t k = 0; k < taken; ++k) state.fQueue.pop_front();
        state.fHeadWritten.store(0, std::memory_order_relaxed);
        // A failing file gives other writers and the callers their turn after each line.
        if (last) {
          state.fWriting = false;
          break;
        }
      }
    }
  } catch (...) {
    // Without its worker the writer goes on writing on the callers' threads.
    try {
      std::lock_guard lock(state.fLock);
      state.fOnCaller = true;
      state.fWriting = false;
      state.fRunning = false;
      state.fSettled.notify_all();
    } catch (...) {
    }
  }
}

// ---- tMx_LogWriter --------------------------------------------------------------------

tMx_LogWriter::tMx_LogWriter(const std::string& aFileName, const std::string& aDirectory,
                             int32_t aMaxMessageLength, bool aDaily) {
  fFileName = aDaily ? aFileName + "_" + CompactStamp(platform::LocalNow(), false) + ".log"
                     : aFileName + ".log";
  SetDirectory(aDirectory);
  fMaxMessageLength = aMaxMessageLength;
  fDaily = aDaily;
  fTimeSeparator = platform::RegionalTimeSeparator();
  // A longer one would not fit the stamp.
  if (fTimeSeparator.empty() || fTimeSeparator.size() > 4) fTimeSeparator = ":";
  fThread = std::make_unique<tMx_LogThread>(*this);
}

tMx_LogWriter::~tMx_LogWriter() { fThread.reset(); }

void tMx_LogWriter::SetProcessWriting(tkLogWriting aWriting) {
  gProcessWriting.store(aWriting, std::memory_order_release);
}

tkLogWriting tMx_LogWriter::ProcessWriting() { return gProcessWriting.load(std::memory_order_acquire); }

void tMx_LogWriter::Write(tMx_MessageType aEntryType, std::string_view aMessage) {
  if (!fHasFileName.load(std::memory_order_relaxed)) throw EMxError("Log filename is empty ");
  const DateTimeParts now = platform::LocalNow();
  const std::string_view separator = aEntryType == let_error ? " - ERROR - " : " - ";

  std::string record;
  record.reserve(kMaxLineStampLength + separator.size() + aMessage.size() + 2);
  record.resize(kMaxLineStampLength);
  record.resize(PutLineStamp(record.data(), now, fTimeSeparator));
  record.append(separator);
  // One call, one record: nothing in the message can end the line or show a card number.
  AppendLogMessage(record, aMessage, fMaxMessageLength > 0 ? static_cast<size_t>(fMaxMessageLength) : 0);
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
    std::string fileName = LogFilePath(aDirectory, FileNamePart(fFileName));
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
  fFileName = LogFilePath(fDirectory, FileNamePart(aFileName));
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
bool tMx_LogWriter::WriteRecord(const std::string& aRecord, int aAttempts) {
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
    if (attempt >= aAttempts) return false;
    std::this_thread::sleep_for(kRetryPause);
  }
}

// One append for the lines up to the next size check costs one system call instead of
// one per line, and the size is still checked before the 1st, 21st, 41st ... line. When
// it fails the lines go one by one, with their attempts, as ever.
size_t tMx_LogWriter::WriteRecords(const std::string* const* aRecords, size_t aCount, int aAttempts,
                                   bool& aWritten) {
  const size_t batch = std::min<size_t>(aCount, kSizeCheckEvery - fCounter.load(std::memory_order_relaxed));
  if (batch > 1) {
    if (CheckLogfileSize()) {
      try {
        RotateIfOversized();
      } catch (...) {
      }
    }
    bool written = false;
    try {
      fBatch.clear();
      for (size_t i = 0; i < batch; ++i) fBatch += *aRecords[i];
      written = AppendOnce(fBatch);
    } catch (...) {
    }
    if (written) {
      fCounter.store(static_cast<int32_t>((fCounter.load(std::memory_order_relaxed) + batch) % kSizeCheckEvery),
                     std::memory_order_relaxed);
      aWritten = true;
      return batch;
    }
    CloseFile();
  }
  aWritten = WriteRecord(*aRecords[0], aAttempts);
  return 1;
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
