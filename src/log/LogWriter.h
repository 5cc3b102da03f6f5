#pragma once
// Time-stamped lines to one log file. Write formats and queues on the caller's thread; a
// background thread of the writer's own appends the lines in queue order.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "base/MessageType.h"

class tMx_LogWriter;

class tMx_LogThread {
 public:
  explicit tMx_LogThread(tMx_LogWriter& aWriter);
  // Writes out every queued line, then ends the thread.
  ~tMx_LogThread();
  tMx_LogThread(const tMx_LogThread&) = delete;
  tMx_LogThread& operator=(const tMx_LogThread&) = delete;

  void Enqueue(std::string aLine);
  // Lines waiting, the one being written included.
  size_t QueueCount() const;
  // Writes what is queued on the calling thread, without joining the background thread:
  // for process exit, when the thread is already gone.
  void DrainOnCallingThread();

 private:
  void Execute();

  tMx_LogWriter& fWriter;
  mutable std::mutex fLock;
  std::condition_variable fWake;
  std::deque<std::string> fQueue;
  bool fStopping = false;
  std::thread fThread;  // started with the first queued line
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
  void SetDirectory(const std::string& aDirectory);
  std::string FileName() const;
  void SetFileName(const std::string& aFileName);
  int32_t MaxMessageLength() const { return fMaxMessageLength; }
  bool Daily() const { return fDaily; }
  int32_t MaxLogFileSize() const { return fMaxLogfileSize; }
  void SetMaxLogFileSize(int32_t aKilobytes) { fMaxLogfileSize = aKilobytes; }
  tMx_LogThread& Thread() { return *fThread; }

  // Size of the current file in bytes, -1 when it cannot be read.
  int64_t GetLogFileSize() const;
  bool CheckLogfileSize() const;

 private:
  friend class tMx_LogThread;
  void AppendToFile(const std::string& aLine);  // on the log thread

  mutable std::mutex fNameLock;  // guards fDirectory and fFileName
  std::string fDirectory;
  int32_t fMaxMessageLength = 0;
  std::string fFileName;
  bool fDaily = false;
  int32_t fMaxLogfileSize = 5000;
  int32_t fCounter = 0;
  std::unique_ptr<tMx_LogThread> fThread;
};
