#include "log/LogWriter.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <deque>
#include <new>
#include <thread>
#include <vector>

#include "core/Errors.h"
#include "core/Text.h"
#include "log/LogText.h"
#include "platform/Regional.h"
#include "platform/Worker.h"

namespace {

using namespace std::chrono_literals;
using tkClock = std::chrono::steady_clock;

// The size is checked before every kSizeCheckEvery-th line (see tkLogTarget::WriteLine).
constexpr int32_t kSizeCheckEvery = 20;
// Lines written per opening of the file while the queue is backed up. Small enough that
// another writer of the same file gets its turn in time.
constexpr size_t kRunLines = 128;
// A file that refused a line is tried again after this pause, doubled after each refusal
// up to the longest one.
constexpr auto kRetryFirst = 50ms;
constexpr auto kRetryLongest = 500ms;
// The worker looks for lines this long before it ends, so a host calling every few
// milliseconds does not pay for a new thread each time; meanwhile it looks every
// kPollPause, and at most every kBackoffPoll while lines only wait for their next attempt.
constexpr auto kWorkerLinger = 50ms;
constexpr auto kPollPause = 1ms;
constexpr auto kBackoffPoll = 10ms;
// A writer being destroyed waits at most this long for a file that takes its lines slowly.
constexpr auto kCloseWait = 500ms;
// It tries a refused file again for this long, every kCloseRetryPause: long enough for
// another writer of the same file to end its run.
constexpr auto kCloseRetry = 100ms;
constexpr auto kCloseRetryPause = 5ms;
// A caller that writes its lines itself (while unloading) tries a refused line again for
// at most this long per call, then once per line.
constexpr auto kCallerWait = 500ms;
constexpr auto kCallerRetryPause = 50ms;
// At process exit the system may have ended the worker in the middle of a run, so it never
// finishes it; the exit waits this long at most. A live worker ends a run much sooner.
constexpr auto kEndedWorkerWait = 100ms;
// Bytes that all writers together keep queued by default.
constexpr size_t kDefaultQueueLimit = size_t{4} << 20;

constexpr char kLineEnd[] = "\r\n";

// "00" to "99": every line's stamp is written two digits at a time.
constexpr std::array<char, 200> kDigitPairs = [] {
  std::array<char, 200> pairs{};
  for (int i = 0; i < 100; ++i) {
    pairs[2 * i] = static_cast<char>('0' + i / 10);
    pairs[2 * i + 1] = static_cast<char>('0' + i % 10);
  }
  return pairs;
}();

char* PutDigits(char* aOut, int aValue, int aWidth) {
  int i = aWidth;
  for (; i >= 2; i -= 2) {
    std::memcpy(aOut + i - 2, &kDigitPairs[2 * (aValue % 100)], 2);
    aValue /= 100;
  }
  if (i == 1) aOut[0] = static_cast<char>('0' + aValue % 10);
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

// ---- the file and the queue of one writer ------------------------------------------------

namespace {

std::atomic<tkLogWriting> gProcessWriting{lw_Background};
std::atomic<size_t> gQueueLimit{kDefaultQueueLimit};

// For process exit, where the owner may be a thread that the system has ended: polls
// instead of blocking, and gives up at aGiveUp.
bool LockUnlessAbandoned(std::mutex& aLock, tkClock::time_point aGiveUp) {
  while (!aLock.try_lock()) {
    if (tkClock::now() >= aGiveUp) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

// The queue lock is held for moments only: a thread that found it taken and slept in the
// kernel would wait for its wake-up far longer, and make the holder pay a system call to
// wake it. So it tries for a while first, unless the holder cannot be running meanwhile
// (a single processor). A mutex or a unique_lock of one.
template <class TLock>
void LockBriefly(TLock& aLock) {
  static const int tries = std::thread::hardware_concurrency() == 1 ? 0 : 256;
  for (int i = 0; i < tries; ++i) {
    if (aLock.try_lock()) return;
#if defined(__i386__) || defined(__x86_64__)
    __builtin_ia32_pause();
#endif
  }
  aLock.lock();
}

bool InBackground() { return gProcessWriting.load(std::memory_order_acquire) == lw_Background; }

// A line is queued unfinished: the message as given, then the time it was written, its
// cut (0: none), whether it is an error and kUnfinished. Whichever thread writes the line
// stamps it and masks and escapes the message, so the caller pays for a copy only. A
// finished record ends with kLineEnd, never with kUnfinished.
constexpr char kUnfinished = '\x01';
constexpr size_t kTrailer = sizeof(DateTimeParts) + sizeof(uint32_t) + 2;

struct UnfinishedParts {
  std::string_view Message;
  DateTimeParts Time;
  uint32_t Cut = 0;
  bool Error = false;
};

bool IsUnfinished(const std::string& aRecord) {
  return aRecord.size() >= kTrailer && aRecord.back() == kUnfinished;
}

UnfinishedParts PartsOf(const std::string& aRecord) {
  UnfinishedParts parts;
  const char* trailer = aRecord.data() + aRecord.size() - kTrailer;
  parts.Message = std::string_view(aRecord.data(), aRecord.size() - kTrailer);
  std::memcpy(&parts.Time, trailer, sizeof parts.Time);
  std::memcpy(&parts.Cut, trailer + sizeof parts.Time, sizeof parts.Cut);
  parts.Error = trailer[sizeof parts.Time + sizeof parts.Cut] != 0;
  return parts;
}

// Appends the unfinished form of a line to aRecord, in one piece of its exact size.
void AppendUnfinished(std::string& aRecord, const DateTimeParts& aNow, bool aError, std::string_view aMessage,
                      size_t aMaxCodePoints) {
  const auto cut = static_cast<uint32_t>(std::min<size_t>(aMaxCodePoints, UINT32_MAX));
  const size_t at = aRecord.size();
  aRecord.resize(at + aMessage.size() + kTrailer);
  char* p = aRecord.data() + at;
  std::memcpy(p, aMessage.data(), aMessage.size());
  p += aMessage.size();
  std::memcpy(p, &aNow, sizeof aNow);
  p += sizeof aNow;
  std::memcpy(p, &cut, sizeof cut);
  p += sizeof cut;
  *p++ = aError ? 1 : 0;
  *p = kUnfinished;
}

std::string UnfinishedRecord(const DateTimeParts& aNow, bool aError, std::string_view aMessage,
                             size_t aMaxCodePoints) {
  std::string record;
  AppendUnfinished(record, aNow, aError, aMessage, aMaxCodePoints);
  return record;
}

void AppendLineStamp(std::string& aOut, const DateTimeParts& aTime, std::string_view aTimeSeparator) {
  const size_t at = aOut.size();
  aOut.resize(at + kMaxLineStampLength);
  aOut.resize(at + PutLineStamp(aOut.data() + at, aTime, aTimeSeparator));
}

std::string LineStamp(const DateTimeParts& aTime, std::string_view aTimeSeparator) {
  std::string stamp;
  AppendLineStamp(stamp, aTime, aTimeSeparator);
  return stamp;
}

// The time stamp of a record: the one it will carry, or the one at its start (up to its
// " - "), or the present time for a record without one.
std::string RecordStamp(const std::string& aRecord, std::string_view aTimeSeparator) {
  if (IsUnfinished(aRecord)) return LineStamp(PartsOf(aRecord).Time, aTimeSeparator);
  const size_t end = aRecord.find(" - ");
  if (aRecord.size() > 10 && aRecord[4] == '-' && aRecord[10] == ' ' && end != std::string::npos &&
      end <= kMaxLineStampLength) {
    return aRecord.substr(0, end);
  }
  return LineStamp(platform::LocalNow(), aTimeSeparator);
}

// aRecord as it goes to the file: itself when finished, else finished in aScratch.
const std::string& Finished(const std::string& aRecord, std::string_view aTimeSeparator, std::string& aScratch) {
  if (!IsUnfinished(aRecord)) return aRecord;
  const UnfinishedParts parts = PartsOf(aRecord);
  aScratch.clear();
  AppendLineStamp(aScratch, parts.Time, aTimeSeparator);
  aScratch.append(parts.Error ? " - ERROR - " : " - ");
  AppendLogMessage(aScratch, parts.Message, parts.Cut);
  aScratch.append(kLineEnd);
  return aScratch;
}

}  // namespace

// Everything a writer's lines need to reach its file, shared by the writer and the worker:
// the worker still writes them after the writer is gone.
struct tMx_LogThread::State {
  // Names, set by the writer's owner and read by whoever writes.
  mutable std::mutex fNameLock;  // guards the three below
  std::string fDirectory;
  std::string fFileName;
  uint64_t fNameVersion = 0;
  std::atomic<bool> fHasFileName{false};
  std::atomic<int32_t> fMaxLogfileSize{5000};
  std::atomic<int32_t> fCounter{0};  // lines written since the last size check
  // Between hours, minutes, seconds and milliseconds of a line's time stamp: the regional
  // time separator when the writer was made.
  std::string fTimeSeparator = ":";

  // Owned by whichever thread is writing the lines taken from the head (fTaken).
  platform::SharedAppendFile fOut;
  std::string fOutName;
  std::string fBatch;      // lines appended together
  std::string fFinishing;  // a line being finished
  uint64_t fOutVersion = ~uint64_t{0};
  bool fNameLockAbandoned = false;  // at process exit: an ended worker kept fNameLock

  // Guarded by the library's queue lock (Hub::fLock).
  std::deque<std::string> fQueue;  // lines leave only once written or dropped
  size_t fTaken = 0;               // lines at the head being written: they stay in place
  bool fListed = false;            // among the writers the worker looks after
  bool fRefused = false;           // the file refused the last attempt
  std::chrono::milliseconds fBackoff{0};
  tkClock::time_point fRetryAt{};
  uint64_t fLost = 0;  // lines dropped and not yet reported in the file
  std::string fLostFrom, fLostTo;

  std::mutex fSyncLock;                    // one caller at a time writes on its own thread
  std::atomic<bool> fMayBeEnded{false};    // the system may have ended the worker
  std::atomic<size_t> fHeadWritten{0};     // taken lines already in the file

  bool MayBeEnded() const {
    return fMayBeEnded.load(std::memory_order_acquire) ||
           gProcessWriting.load(std::memory_order_acquire) == lw_ThreadsEnded;
  }
  bool Settled() const { return fQueue.empty() && fLost == 0 && fTaken == 0; }

  // One attempt at one line; the size is checked first before every 20th line, so a file
  // outgrows its limit by at most 19 lines.
  bool WriteLine(const std::string& aRecord);
  // One attempt at aRecords[0] with the lines after it up to the next size check, in one
  // append; when that fails, at the first line alone. How many it took; aWritten false
  // when the file refused them.
  size_t WriteRun(const std::string* const* aRecords, size_t aCount, bool& aWritten);
  void CloseFile() { fOut.Close(); }
  bool AppendOnce(const std::string& aRecord);
  void CheckSize();
  void RotateIfOversized();
  const std::string& CurrentFileName();
  // The line telling that lines were dropped; call with the queue lock held.
  std::string TakeLostLine();
  void GiveBackLost(uint64_t aCount, const std::string& aFrom, const std::string& aTo);
};

bool tMx_LogThread::State::WriteLine(const std::string& aRecord) {
  CheckSize();
  bool written = false;
  try {
    written = AppendOnce(Finished(aRecord, fTimeSeparator, fFinishing));
  } catch (...) {
  }
  if (!written) {
    CloseFile();
    return false;
  }
  fCounter.store((fCounter.load(std::memory_order_relaxed) + 1) % kSizeCheckEvery, std::memory_order_relaxed);
  return true;
}

size_t tMx_LogThread::State::WriteRun(const std::string* const* aRecords, size_t aCount, bool& aWritten) {
  const size_t batch = std::min<size_t>(aCount, kSizeCheckEvery - fCounter.load(std::memory_order_relaxed));
  if (batch > 1) {
    CheckSize();
    bool written = false;
    try {
      fBatch.clear();
      for (size_t i = 0; i < batch; ++i) fBatch += Finished(*aRecords[i], fTimeSeparator, fFinishing);
      // A failed append takes back what it wrote, so the lines may go again one by one.
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
  aWritten = WriteLine(*aRecords[0]);
  return 1;
}

bool tMx_LogThread::State::AppendOnce(const std::string& aRecord) {
  const std::string& fileName = CurrentFileName();
  if (!fOut.IsOpen() && !fOut.Open(fileName)) {
    // A folder removed since is made again; otherwise its lines would wait for nothing.
    const size_t nameStart = FileNameStart(fileName);
    if (nameStart == 0 || !platform::ForceDirectories(fileName.substr(0, nameStart - 1)) || !fOut.Open(fileName)) {
      return false;
    }
  }
  return fOut.Append(aRecord);
}

void tMx_LogThread::State::CheckSize() {
  if (fCounter.load(std::memory_order_relaxed) % kSizeCheckEvery != 0) return;
  try {
    RotateIfOversized();
  } catch (...) {
    // A failed rotation leaves the line to the current file.
  }
}

void tMx_LogThread::State::RotateIfOversized() {
  const std::string& fileName = CurrentFileName();
  const int64_t size = platform::FileSizeOf(fileName);
  if (size < 0 || size <= int64_t{fMaxLogfileSize.load(std::memory_order_relaxed)} * 1024) return;
  fOut.Close();
  // When the move fails (the target exists, the file is held) the line goes to the
  // oversized file and a later check tries again.
  platform::MoveFileTo(fileName, RotationName(fileName));
}

// The name the writing thread uses; lines still queued follow a new name at once.
const std::string& tMx_LogThread::State::CurrentFileName() {
  std::unique_lock lock(fNameLock, std::defer_lock);
  if (MayBeEnded()) {
    // An ended worker may have left the lock held: the name known last then serves.
    if (fNameLockAbandoned || !LockUnlessAbandoned(fNameLock, tkClock::now() + kEndedWorkerWait)) {
      fNameLockAbandoned = true;
      return fOutName;
    }
    lock = std::unique_lock(fNameLock, std::adopt_lock);
  } else {
    lock.lock();
  }
  if (fOutVersion != fNameVersion) {
    fOut.Close();
    fOutName = fFileName;
    fOutVersion = fNameVersion;
  }
  return fOutName;
}

std::string tMx_LogThread::State::TakeLostLine() {
  if (fLost == 0) return std::string();
  const std::string message = std::to_string(fLost) + (fLost == 1 ? " log line" : " log lines") +
                              " lost, queued from " + fLostFrom + " to " + fLostTo +
                              ": the log file refused them for longer than the queue could hold them";
  fLost = 0;
  return UnfinishedRecord(platform::LocalNow(), true, message, 0);
}

void tMx_LogThread::State::GiveBackLost(uint64_t aCount, const std::string& aFrom, const std::string& aTo) {
  if (aCount == 0) return;
  if (fLost == 0) {
    fLostFrom = aFrom;
    fLostTo = aTo;
  } else {
    fLostFrom = std::min(fLostFrom, aFrom);
    fLostTo = std::max(fLostTo, aTo);
  }
  fLost += aCount;
}

// ---- the library's worker ------------------------------------------------------------------

namespace {

using tkState = tMx_LogThread::State;
using tkRun = std::array<const std::string*, kRunLines>;

struct Hub {
  std::mutex fLock;                     // guards the queues of every writer and the fields below
  std::condition_variable fProgress;    // lines written or given up, the worker ended
  std::vector<std::shared_ptr<tkState>> fListed;  // writers with lines to write
  size_t fNext = 0;                     // where the worker looks first, in turn
  size_t fQueuedBytes = 0;
  bool fRunning = false;   // a worker was started and has not ended yet
  bool fNoThread = false;  // no thread could be had: lines are written by their callers
  uint64_t fStarted = 0;
  platform::WorkerThread fWorker;
  // Written lines' strings, kept while the worker runs for the next lines to be queued in,
  // so that a caller seldom waits for the heap.
  std::vector<std::string> fSpares;
};

// Never destroyed: at process exit a worker the system ended may have left its lock held,
// and static destruction must not pull the queues from under a lingering worker.
union HubStorage {
  HubStorage() : fHub() {}
  ~HubStorage() {}
  Hub fHub;
};

Hub& TheHub() {
  static HubStorage storage;
  return storage.fHub;
}

bool OnCallers(const Hub& aHub) { return aHub.fNoThread || !InBackground(); }

// Takes up to kRunLines lines from the head of the queue without removing them. Elements
// of a deque stay in place while others are added at the tail, and none is removed from
// the head while fTaken covers it, so they can be read without the lock.
size_t TakeRun(tkState& aState, tkRun& aRun) {
  const size_t count = std::min(aState.fQueue.size(), kRunLines);
  for (size_t i = 0; i < count; ++i) aRun[i] = &aState.fQueue[i];
  aState.fTaken = count;
  return count;
}

constexpr size_t kSpareRecords = 256;
constexpr size_t kLargestSpare = 512;

void PopWritten(Hub& aHub, tkState& aState, size_t aCount) {
  for (size_t i = 0; i < aCount && !aState.fQueue.empty(); ++i) {
    std::string& head = aState.fQueue.front();
    aHub.fQueuedBytes -= std::min(aHub.fQueuedBytes, head.size());
    // Only while a worker runs: it lets them go when it ends.
    if (aHub.fRunning && aHub.fSpares.size() < kSpareRecords && head.capacity() <= kLargestSpare) {
      aHub.fSpares.push_back(std::move(head));
    }
    aState.fQueue.pop_front();
  }
}

std::string TakeSpare(Hub& aHub) {
  if (aHub.fSpares.empty()) return std::string();
  std::string spare = std::move(aHub.fSpares.back());
  aHub.fSpares.pop_back();
  spare.clear();
  return spare;
}

void DropHead(Hub& aHub, tkState& aState) {
  const std::string stamp = RecordStamp(aState.fQueue.front(), aState.fTimeSeparator);
  aState.GiveBackLost(1, stamp, stamp);
  PopWritten(aHub, aState, 1);
}

// Drops the oldest lines until the queues fit their limit again: first aPreferred's, then
// the other writers'. Lines being written stay, and so does each writer's newest line, a
// device's STOP line among them.
void Trim(Hub& aHub, tkState* aPreferred) {
  const size_t limit = gQueueLimit.load(std::memory_order_relaxed);
  auto droppable = [](const tkState& aState) { return aState.fTaken == 0 && aState.fQueue.size() > 1; };
  while (aHub.fQueuedBytes > limit) {
    tkState* victim = aPreferred && droppable(*aPreferred) ? aPreferred : nullptr;
    for (size_t i = 0; !victim && i < aHub.fListed.size(); ++i) {
      if (droppable(*aHub.fListed[i])) victim = aHub.fListed[i].get();
    }
    if (!victim) return;
    DropHead(aHub, *victim);
  }
}

void List(Hub& aHub, const std::shared_ptr<tkState>& aState) {
  if (aState->fListed) return;
  aHub.fListed.push_back(aState);
  aState->fListed = true;
}

// Unloading: nothing may be left behind on the heap when the library's memory goes.
void ReleaseListIfEmpty(Hub& aHub) {
  if (aHub.fListed.empty()) std::vector<std::shared_ptr<tkState>>().swap(aHub.fListed);
}

void UnlistIfSettled(Hub& aHub, tkState& aState) {
  if (!aState.fListed || !aState.Settled()) return;
  for (size_t i = 0; i < aHub.fListed.size(); ++i) {
    if (aHub.fListed[i].get() == &aState) {
      aHub.fListed.erase(aHub.fListed.begin() + static_cast<std::ptrdiff_t>(i));
      if (aHub.fNext > i) --aHub.fNext;
      break;
    }
  }
  aState.fListed = false;
  if (!InBackground()) ReleaseListIfEmpty(aHub);
}

// The next writer whose lines may be tried now, in turn; null when none, with aWakeAt the
// time the first of them may be tried again (max() when none waits).
std::shared_ptr<tkState> PickDue(Hub& aHub, tkClock::time_point aNow, tkClock::time_point& aWakeAt) {
  aWakeAt = tkClock::time_point::max();
  const size_t count = aHub.fListed.size();
  for (size_t k = 0; k < count; ++k) {
    const size_t i = (aHub.fNext + k) % count;
    const std::shared_ptr<tkState>& state = aHub.fListed[i];
    // Lines of a writer whose callers write them (see DrainOnCallingThread) are theirs.
    if (state->fTaken > 0 || state->Settled() || state->fMayBeEnded.load(std::memory_order_relaxed)) continue;
    if (state->fRetryAt > aNow) {
      aWakeAt = std::min(aWakeAt, state->fRetryAt);
      continue;
    }
    aHub.fNext = (i + 1) % count;
    return state;
  }
  return nullptr;
}

// Writes one run of aState's lines, the lost-lines line first; call with the queue lock
// held (it is let go meanwhile) and with no other thread writing aState's lines. A run that
// the file refuses is tried again after a pause that grows. False when refused.
bool WriteOneRun(Hub& aHub, tkState& aState, std::unique_lock<std::mutex>& aLock) {
  tkRun run;
  const size_t count = TakeRun(aState, run);
  const uint64_t lostCount = aState.fLost;
  const std::string lostFrom = aState.fLostFrom, lostTo = aState.fLostTo;
  const std::string lostLine = aState.TakeLostLine();
  aLock.unlock();

  bool written = lostLine.empty() || aState.WriteLine(lostLine);
  const bool lostWritten = written;
  size_t done = 0;
  while (written && done < count) {
    done += aState.WriteRun(run.data() + done, count - done, written);
    if (!written) --done;
    aState.fHeadWritten.store(done, std::memory_order_release);
  }
  // An empty queue means a closed file, free for other writers and for whoever removes or
  // moves it.
  aState.CloseFile();

  LockBriefly(aLock);
  if (!lostWritten) aState.GiveBackLost(lostCount, lostFrom, lostTo);
  PopWritten(aHub, aState, done);
  aState.fHeadWritten.store(0, std::memory_order_relaxed);
  aState.fTaken = 0;
  if (written) {
    aState.fRefused = false;
    aState.fBackoff = 0ms;
  } else {
    aState.fRefused = true;
    aState.fBackoff = std::clamp(aState.fBackoff * 2, std::chrono::milliseconds(kRetryFirst),
                                 std::chrono::milliseconds(kRetryLongest));
    aState.fRetryAt = tkClock::now() + aState.fBackoff;
  }
  Trim(aHub, &aState);
  UnlistIfSettled(aHub, aState);
  aHub.fProgress.notify_all();
  return written;
}

// The worker: writes each listed writer's lines in runs, in turn, while the others go on.
// It is never woken: queuing a line costs the caller no system call. It looks for lines
// every millisecond instead, and ends after kWorkerLinger without any. Sleeping, it holds
// nothing that the process's exit could wait for.
void Execute() {
  Hub& hub = TheHub();
  std::unique_lock lock(hub.fLock);
  auto idleSince = tkClock::now();
  try {
    for (;;) {
      if (OnCallers(hub)) break;
      tkClock::time_point wakeAt;
      const auto now = tkClock::now();
      const std::shared_ptr<tkState> picked = PickDue(hub, now, wakeAt);
      if (picked) {
        WriteOneRun(hub, *picked, lock);
        idleSince = tkClock::now();
        continue;
      }
      auto pause = std::chrono::duration_cast<tkClock::duration>(kPollPause);
      if (wakeAt == tkClock::time_point::max()) {
        if (now - idleSince >= kWorkerLinger) break;
      } else {
        // Lines wait for their next attempt.
        idleSince = now;
        pause = std::clamp<tkClock::duration>(wakeAt - now, kPollPause, kBackoffPoll);
      }
      lock.unlock();
      std::this_thread::sleep_for(pause);
      LockBriefly(lock);
    }
  } catch (...) {
    // Without a worker the lines go on being written on the callers' threads.
    hub.fNoThread = true;
  }
  // Nothing of a writer is touched after this.
  hub.fRunning = false;
  std::vector<std::string>().swap(hub.fSpares);
  hub.fProgress.notify_all();
}

// Starts the worker unless it runs; call with the queue lock held. The worker that ended
// before is handed back, to be joined outside the lock.
platform::WorkerThread RouseWorker(Hub& aHub) {
  platform::WorkerThread previous;
  if (aHub.fRunning) return previous;
  previous = std::move(aHub.fWorker);
  bool started = false;
  try {
    started = aHub.fWorker.Start(&Execute);
  } catch (...) {
  }
  if (started) {
    aHub.fRunning = true;
    ++aHub.fStarted;
  } else {
    aHub.fNoThread = true;
  }
  return previous;
}

// For a writer being destroyed: writes its lines on this thread while the file takes them,
// so that a healthy log is on disk at once; what the file refuses stays with the worker.
// False when the writing switched to the callers meanwhile.
bool WriteWhileTaken(tkState& aState) {
  Hub& hub = TheHub();
  std::lock_guard sync(aState.fSyncLock);
  const auto now = tkClock::now();
  const auto giveUp = now + kCloseWait;
  const auto retryUntil = now + kCloseRetry;
  std::unique_lock lock(hub.fLock);
  for (;;) {
    if (OnCallers(hub)) return false;
    if (aState.Settled() || tkClock::now() >= giveUp) return true;
    if (aState.fTaken > 0) {
      // The worker is writing them; it is not waited for past the bound.
      hub.fProgress.wait_until(lock, giveUp, [&] { return aState.fTaken == 0 || OnCallers(hub); });
      continue;
    }
    if (aState.fRefused) {
      // Another writer of the file may be ending a run; a file refused for longer is left
      // to the worker.
      if (tkClock::now() >= retryUntil) return true;
      lock.unlock();
      std::this_thread::sleep_for(kCloseRetryPause);
      lock.lock();
      if (aState.fTaken > 0 || aState.Settled()) continue;
    }
    WriteOneRun(hub, aState, lock);
  }
}

// Ends the worker (natively it is joined); call with the process's writing switched.
void EndWorker(Hub& aHub) {
  platform::WorkerThread worker;
  {
    std::unique_lock lock(aHub.fLock);
    aHub.fProgress.wait(lock, [&] { return !aHub.fRunning; });
    worker = std::move(aHub.fWorker);
  }
  worker.Join();
}

// Writes aState's queue on this thread: a refused line is tried again for a short while,
// then given up and counted. Outside the background only (or without a thread).
void WriteQueuedOnCaller(tkState& aState) {
  Hub& hub = TheHub();
  std::lock_guard sync(aState.fSyncLock);
  std::unique_lock lock(hub.fLock);
  // A worker busy with these lines at the switch finishes its run first.
  hub.fProgress.wait(lock, [&] { return aState.fTaken == 0; });
  const auto retryUntil = tkClock::now() + kCallerWait;
  auto writeWithRetries = [&](const std::string& aRecord) {
    for (;;) {
      if (aState.WriteLine(aRecord)) return true;
      if (tkClock::now() + kCallerRetryPause > retryUntil) return false;
      std::this_thread::sleep_for(kCallerRetryPause);
    }
  };
  for (;;) {
    tkRun run;
    const size_t count = TakeRun(aState, run);
    const std::string lostLine = aState.TakeLostLine();
    if (count == 0 && lostLine.empty()) break;
    lock.unlock();
    if (!lostLine.empty()) writeWithRetries(lostLine);  // the count goes with it if refused
    std::vector<bool> written(count);
    for (size_t i = 0; i < count; ++i) written[i] = writeWithRetries(*run[i]);
    aState.CloseFile();
    lock.lock();
    aState.fTaken = 0;
    for (size_t i = 0; i < count; ++i) {
      if (written[i]) {
        PopWritten(hub, aState, 1);
      } else {
        DropHead(hub, aState);
      }
    }
    // Lost lines that cannot even be reported are not tried again and again.
    if (aState.fQueue.empty()) aState.fLost = 0;
  }
  UnlistIfSettled(hub, aState);
  hub.fProgress.notify_all();
}

// The system may have ended the worker anywhere, even holding a lock or in the middle of a
// line, which it never finishes: nothing here blocks on what it may hold, nothing wakes
// what may have waited, and the line it was writing is written again unless it had got to
// the file.
void WriteQueuedAtExit(tkState& aState) {
  Hub& hub = TheHub();
  const auto giveUp = tkClock::now() + kEndedWorkerWait;
  std::unique_lock sync(aState.fSyncLock, std::defer_lock);
  if (LockUnlessAbandoned(aState.fSyncLock, giveUp)) sync = std::unique_lock(aState.fSyncLock, std::adopt_lock);
  for (;;) {
    if (!LockUnlessAbandoned(hub.fLock, giveUp)) return;
    if (aState.fTaken == 0) break;
    if (tkClock::now() >= giveUp) {
      // Ended in the middle of a run: what it had written leaves the queue.
      PopWritten(hub, aState, aState.fHeadWritten.load(std::memory_order_acquire));
      aState.fTaken = 0;
      break;
    }
    hub.fLock.unlock();
    std::this_thread::sleep_for(1ms);
  }
  // A file that refuses a line now (a dead worker may hold it open) is not waited for
  // while the process ends: one attempt per line.
  for (;;) {
    tkRun run;
    const size_t count = TakeRun(aState, run);
    hub.fLock.unlock();
    if (count == 0) break;
    for (size_t i = 0; i < count; ++i) aState.WriteLine(*run[i]);
    aState.CloseFile();
    if (!LockUnlessAbandoned(hub.fLock, tkClock::now() + kEndedWorkerWait)) return;
    aState.fTaken = 0;
    PopWritten(hub, aState, count);
  }
  if (LockUnlessAbandoned(hub.fLock, tkClock::now() + kEndedWorkerWait)) {
    aState.fLost = 0;
    UnlistIfSettled(hub, aState);
    hub.fLock.unlock();
  }
}

// Natively the worker is an ordinary thread that a normal exit must end and join before
// the runtime goes; on Windows the system ends it and nothing may wait for it.
struct WorkerReaper {
  ~WorkerReaper() {
    if (platform::WorkerThread::JoinWaits() && InBackground()) tMx_LogWriter::SetProcessWriting(lw_Synchronous);
  }
} gWorkerReaper;

// Queues the record that aMake puts into the string it is given, then sees that the record
// will be written. aSpare: the string is a spare one when there is one; the record is then
// made under the lock, since a copy takes less than a trip to the heap.
template <class TMake>
void Queue(const std::shared_ptr<tkState>& aState, bool aSpare, TMake&& aMake) {
  Hub& hub = TheHub();
  if (aState->MayBeEnded()) {
    std::string record;
    aMake(record);
    if (!LockUnlessAbandoned(hub.fLock, tkClock::now() + kEndedWorkerWait)) return;
    hub.fQueuedBytes += record.size();
    aState->fQueue.push_back(std::move(record));
    hub.fLock.unlock();
    WriteQueuedAtExit(*aState);
    return;
  }
  platform::WorkerThread previous;
  bool onCallers;
  {
    LockBriefly(hub.fLock);
    std::lock_guard lock(hub.fLock, std::adopt_lock);
    std::string record = aSpare ? TakeSpare(hub) : std::string();
    aMake(record);
    hub.fQueuedBytes += record.size();
    aState->fQueue.push_back(std::move(record));
    List(hub, aState);
    Trim(hub, aState.get());
    onCallers = OnCallers(hub);
    if (!onCallers) {
      previous = RouseWorker(hub);
      onCallers = hub.fNoThread;
    }
  }
  previous.Join();
  if (onCallers) WriteQueuedOnCaller(*aState);
}

}  // namespace

// ---- tMx_LogThread --------------------------------------------------------------------

tMx_LogThread::tMx_LogThread(tMx_LogWriter&) : fState(std::make_shared<State>()) {}

tMx_LogThread::~tMx_LogThread() {
  State& state = *fState;
  if (state.MayBeEnded()) {
    WriteQueuedAtExit(state);
    return;
  }
  if (WriteWhileTaken(state)) return;
  WriteQueuedOnCaller(state);
}

void tMx_LogThread::Enqueue(std::string aLine) {
  aLine += kLineEnd;
  EnqueueRecord(std::move(aLine));
}

void tMx_LogThread::EnqueueRecord(std::string aRecord) {
  Queue(fState, false, [&aRecord](std::string& aOut) { aOut = std::move(aRecord); });
}

void tMx_LogThread::EnqueueLine(const DateTimeParts& aNow, bool aError, std::string_view aMessage, size_t aCut) {
  Queue(fState, true, [&](std::string& aOut) { AppendUnfinished(aOut, aNow, aError, aMessage, aCut); });
}

size_t tMx_LogThread::QueueCount() const {
  std::lock_guard lock(TheHub().fLock);
  return fState->fQueue.size();
}

bool tMx_LogThread::WorkerRunning() const {
  std::lock_guard lock(TheHub().fLock);
  return TheHub().fRunning;
}

uint64_t tMx_LogThread::WorkersStarted() const {
  std::lock_guard lock(TheHub().fLock);
  return TheHub().fStarted;
}

void tMx_LogThread::DrainOnCallingThread() {
  fState->fMayBeEnded.store(true, std::memory_order_release);
  WriteQueuedAtExit(*fState);
}

// ---- tMx_LogWriter --------------------------------------------------------------------

tMx_LogWriter::tMx_LogWriter(const std::string& aFileName, const std::string& aDirectory,
                             int32_t aMaxMessageLength, bool aDaily)
    : fThread(std::make_unique<tMx_LogThread>(*this)) {
  Target().fFileName = aDaily ? aFileName + "_" + CompactStamp(platform::LocalNow(), false) + ".log"
                              : aFileName + ".log";
  SetDirectory(aDirectory);
  fMaxMessageLength = aMaxMessageLength;
  fDaily = aDaily;
  std::string timeSeparator = platform::RegionalTimeSeparator();
  // A longer one would not fit the stamp.
  if (!timeSeparator.empty() && timeSeparator.size() <= 4) Target().fTimeSeparator = std::move(timeSeparator);
}

tMx_LogWriter::~tMx_LogWriter() { fThread.reset(); }

tMx_LogThread::State& tMx_LogWriter::Target() const { return *fThread->fState; }

void tMx_LogWriter::SetProcessWriting(tkLogWriting aWriting) {
  const tkLogWriting before = gProcessWriting.exchange(aWriting, std::memory_order_acq_rel);
  if (aWriting == lw_Background || before == aWriting) return;
  Hub& hub = TheHub();
  std::vector<std::shared_ptr<tkState>> listed;
  if (aWriting == lw_ThreadsEnded) {
    // The worker has been ended by the system: nothing is woken or waited for.
    if (!LockUnlessAbandoned(hub.fLock, tkClock::now() + kEndedWorkerWait)) return;
    listed = hub.fListed;
    hub.fLock.unlock();
    for (const auto& state : listed) WriteQueuedAtExit(*state);
    return;
  }
  EndWorker(hub);
  // What writers already destroyed left queued goes now, before the library goes.
  {
    std::lock_guard lock(hub.fLock);
    listed = hub.fListed;
  }
  for (const auto& state : listed) WriteQueuedOnCaller(*state);
  listed.clear();
  std::lock_guard lock(hub.fLock);
  ReleaseListIfEmpty(hub);
}

tkLogWriting tMx_LogWriter::ProcessWriting() { return gProcessWriting.load(std::memory_order_acquire); }

void tMx_LogWriter::SetQueueLimit(size_t aBytes) { gQueueLimit.store(aBytes, std::memory_order_relaxed); }

size_t tMx_LogWriter::QueueLimit() { return gQueueLimit.load(std::memory_order_relaxed); }

void tMx_LogWriter::Write(tMx_MessageType aEntryType, std::string_view aMessage) {
  if (!Target().fHasFileName.load(std::memory_order_relaxed)) throw EMxError("Log filename is empty ");
  fThread->EnqueueLine(platform::LocalNow(), aEntryType == let_error, aMessage,
                       fMaxMessageLength > 0 ? static_cast<size_t>(fMaxMessageLength) : 0);
}

std::string tMx_LogWriter::Directory() const {
  std::lock_guard lock(Target().fNameLock);
  return Target().fDirectory;
}

void tMx_LogWriter::SetDirectory(const std::string& aDirectory) {
  tkState& target = Target();
  {
    std::lock_guard lock(target.fNameLock);
    std::string fileName = LogFilePath(aDirectory, FileNamePart(target.fFileName));
    // Refused before anything changes, so the writer keeps logging where it did.
    if (aDirectory.empty()) throw EMxError("Unable to create directory");
    target.fDirectory = aDirectory;
    target.fFileName = std::move(fileName);
    ++target.fNameVersion;
    target.fHasFileName.store(!target.fFileName.empty(), std::memory_order_relaxed);
  }
  // A folder that cannot be created shows in the writes, which are refused and wait.
  platform::ForceDirectories(aDirectory);
}

std::string tMx_LogWriter::FileName() const {
  std::lock_guard lock(Target().fNameLock);
  return Target().fFileName;
}

void tMx_LogWriter::SetFileName(const std::string& aFileName) {
  tkState& target = Target();
  std::lock_guard lock(target.fNameLock);
  target.fFileName = LogFilePath(target.fDirectory, FileNamePart(aFileName));
  ++target.fNameVersion;
  target.fHasFileName.store(!target.fFileName.empty(), std::memory_order_relaxed);
}

int32_t tMx_LogWriter::MaxLogFileSize() const { return Target().fMaxLogfileSize.load(std::memory_order_relaxed); }

void tMx_LogWriter::SetMaxLogFileSize(int32_t aKilobytes) {
  Target().fMaxLogfileSize.store(aKilobytes, std::memory_order_relaxed);
}

int64_t tMx_LogWriter::GetLogFileSize() const { return platform::FileSizeOf(FileName()); }

bool tMx_LogWriter::CheckLogfileSize() const {
  return Target().fCounter.load(std::memory_order_relaxed) % kSizeCheckEvery == 0;
}
