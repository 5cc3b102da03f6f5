#pragma once
// Time-stamped lines to one log file. Write formats and queues on the caller's thread; a
// worker thread of the writer's own appends the lines in queue order while any are queued.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "core/MessageType.h"
#include "platform/Platform.h"

class tMx_LogWriter;

// How every writer of this library copy writes its lines.
enum tkLogWriting {
  // A worker thread writes while lines are queued (normal operation).
  lw_Background,
  // Unloading: each line is written by the thread that queues it and no worker starts; a
  // worker busy at the switch finishes its run and ends, and the callers wait for it.
  lw_Synchronous,
  // Process exit on Windows: as lw_Synchronous, but the system has ended every other
  // thread, perhaps in the middle of a line or holding a lock, so nothing blocks on what a
  // worker may hold and nothing waits for one but briefly.
  lw_ThreadsEnded,
};

class tMx_LogThread {
 public:
  // Starts no thread: a worker starts with a queued line and ends when the queue is empty,
  // so building a writer (as during library loading, under the loader lock) starts none.
  explicit tMx_LogThread(tMx_LogWriter& aWriter);
  // Writes out every queued line; waits for a worker still writing.
  ~tMx_LogThread();
  tMx_LogThread(const tMx_LogThread&) = delete;
  tMx_LogThread& operator=(const tMx_LogThread&) = delete;

  // Queues one line; its line end is added here.
  void Enqueue(std::string aLine);
  // Lines waiting, the one being written included.
  size_t QueueCount() const;
  // A worker has been started and has not yet ended.
  bool WorkerRunning() const;
  // Workers started so far.
  uint64_t WorkersStarted() const;
  // For process exit, when the system may have ended the worker: writes what is queued on
  // the calling thread, waiting only briefly for a worker in the middle of a run. From then
  // on every line is written on the thread that queues it.
  void DrainOnCallingThread();

 private:
  friend class tMx_LogWriter;
  struct State;

  // aRecord carries its line end already.
  void EnqueueRecord(std::string aRecord);
  static void Execute(const std::shared_ptr<State>& aState);
  static void WriteQueuedOnCaller(State& aState);
  static void WriteQueuedAtExit(State& aState);

  std::shared_ptr<State> fState;  // shared with the worker, which may end after us
};

class tMx_LogWriter {
 public:
  // Name: aFileName + "_yyyymmdd.log" when aDaily, else aFileName + ".log", in aDirectory
  // (created with its parents). Raises EMxError for an empty or invalid folder.
  tMx_LogWriter(const std::string& aFileName, const std::string& aDirectory,
                int32_t aMaxMessageLength, bool aDaily);
  // Every line queued before is on disk (or dropped after its attempts) when this returns;
  // at process exit on Windows, except what a worker that the system ended had in hand.
  ~tMx_LogWriter();
  tMx_LogWriter(const tMx_LogWriter&) = delete;
  tMx_LogWriter& operator=(const tMx_LogWriter&) = delete;

  // Raises EMxError "Log filename is empty " when there is no file name.
  void Write(tMx_MessageType aEntryType, std::string_view aMessage);

  std::string Directory() const;
  // Raises EMxError for an empty folder or characters not allowed in paths, and then keeps
  // the folder and file it had. A folder that cannot be created is not reported here.
  void SetDirectory(const std::string& aDirectory);
  std::string FileName() const;
  // Only the file-name part of aFileName counts; it becomes the complete name in the
  // current folder. An empty name leaves the writer without a file.
  void SetFileName(const std::string& aFileName);
  int32_t MaxMessageLength() const { return fMaxMessageLength; }
  bool Daily() const { return fDaily; }
  int32_t MaxLogFileSize() const { return fMaxLogfileSize.load(std::memory_order_relaxed); }
  void SetMaxLogFileSize(int32_t aKilobytes) { fMaxLogfileSize.store(aKilobytes, std::memory_order_relaxed); }
  tMx_LogThread& Thread() { return *fThread; }

  // The writing of every writer in this copy of the library; lw_Background at start.
  static void SetProcessWriting(tkLogWriting aWriting);
  static tkLogWriting ProcessWriting();

  // Size of the current file in bytes, -1 when it cannot be read.
  int64_t GetLogFileSize() const;
  bool CheckLogfileSize() const;

 private:
  friend class tMx_LogThread;

  // Log-thread side; run by one thread at a time.
  bool WriteRecord(const std::string& aRecord, int aAttempts);  // false when dropped
  // Writes aRecords[0], with the following ones up to the next size check; how many it
  // took: all written, or the first alone, aWritten false when it was dropped.
  size_t WriteRecords(const std::string* const* aRecords, size_t aCount, int aAttempts, bool& aWritten);
  void CloseFile();
  bool AppendOnce(const std::string& aRecord);
  void RotateIfOversized();
  const std::string& CurrentFileName();

  mutable std::mutex fNameLock;  // guards fDirectory, fFileName and fNameVersion
  std::string fDirectory;
  int32_t fMaxMessageLength = 0;
  std::string fFileName;
  bool fDaily = false;
  // Between hours, minutes, seconds and milliseconds of a line's time stamp: the regional
  // time separator when the writer was made.
  std::string fTimeSeparator;
  std::atomic<int32_t> fMaxLogfileSize{5000};
  std::atomic<int32_t> fCounter{0};
  uint64_t fNameVersion = 0;
  std::atomic<bool> fHasFileName{false};

  // Owned by whichever thread is writing.
  platform::SharedAppendFile fOut;
  std::string fOutName;
  std::string fBatch;  // lines appended together
  uint64_t fOutVersion = ~uint64_t{0};

  std::unique_ptr<tMx_LogThread> fThread;
};
