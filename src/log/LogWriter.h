#pragma once
// Time-stamped lines to one log file. Write formats and queues on the caller's thread; a
// background thread of the writer's own appends the lines in queue order.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "base/MessageType.h"
#include "platform/Platform.h"

class tMx_LogWriter;

class tMx_LogThread {
 public:
  // Starts no thread: the thread starts with the first queued line, so building a writer
  // (as during library loading, under the loader lock) starts none.
  explicit tMx_LogThread(tMx_LogWriter& aWriter);
  // Writes out every queued line, then ends the thread.
  ~tMx_LogThread();
  tMx_LogThread(const tMx_LogThread&) = delete;
  tMx_LogThread& operator=(const tMx_LogThread&) = delete;

  // Queues one line; its line end is added here.
  void Enqueue(std::string aLine);
  // Lines waiting, the one being written included.
  size_t QueueCount() const;
  // Writes what is queued on the calling thread, without joining the background thread:
  // for process exit, when the thread is already gone. From then on every line is written
  // on the thread that queues it, and destruction never joins.
  void DrainOnCallingThread();

 private:
  friend class tMx_LogWriter;
  struct State;

  // aRecord carries its line end already.
  void EnqueueRecord(std::string aRecord);
  static void Execute(std::shared_ptr<State> aState);
  static bool WriteRun(State& aState, bool aBackground);
  static void WriteQueuedOnCaller(State& aState);

  std::shared_ptr<State> fState;  // shared with the thread, which may outlive us after a drain
  std::thread fThread;            // started with the first queued line
};

class tMx_LogWriter {
 public:
  // Name: aFileName + "_yyyymmdd.log" when aDaily, else aFileName + ".log", in aDirectory
  // (created with its parents). Raises EMxError for an empty or invalid folder.
  tMx_LogWriter(const std::string& aFileName, const std::string& aDirectory,
                int32_t aMaxMessageLength, bool aDaily);
  // Every line queued before is on disk (or dropped after its attempts) when this returns.
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

  // Size of the current file in bytes, -1 when it cannot be read.
  int64_t GetLogFileSize() const;
  bool CheckLogfileSize() const;

 private:
  friend class tMx_LogThread;

  // Log-thread side; run by one thread at a time.
  bool WriteRecord(const std::string& aRecord);  // false when dropped after its attempts
  void CloseFile();
  bool AppendOnce(const std::string& aRecord);
  void RotateIfOversized();
  const std::string& CurrentFileName();

  mutable std::mutex fNameLock;  // guards fDirectory, fFileName and fNameVersion
  std::string fDirectory;
  int32_t fMaxMessageLength = 0;
  std::string fFileName;
  bool fDaily = false;
  std::atomic<int32_t> fMaxLogfileSize{5000};
  std::atomic<int32_t> fCounter{0};
  uint64_t fNameVersion = 0;
  std::atomic<bool> fHasFileName{false};

  // Owned by whichever thread is writing.
  platform::SharedAppendFile fOut;
  std::string fOutName;
  uint64_t fOutVersion = ~uint64_t{0};

  std::unique_ptr<tMx_LogThread> fThread;
};
