#pragma once
// Time-stamped lines to one log file. Write formats and queues on the caller's thread; one
// worker thread for the whole library appends the queued lines of every writer, each
// writer's in queue order.
//
// A file that refuses lines (a full disk, a read-only folder, another program holding it)
// never holds up a caller: its lines stay queued and the worker tries again later, backing
// off. A writer destroyed meanwhile leaves its lines to the worker, which writes them once
// the file takes them. Queued lines are bounded in size for the whole library; past the
// bound the oldest are dropped, and the file then gets one line telling how many and when.
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
  // The worker thread writes while lines are queued (normal operation).
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
  // Starts no thread: the worker starts with a queued line, so building a writer (as
  // during library loading, under the loader lock) starts none.
  explicit tMx_LogThread(tMx_LogWriter& aWriter);
  // Waits, briefly, until every queued line is on disk; lines that the file refuses stay
  // with the worker.
  ~tMx_LogThread();
  tMx_LogThread(const tMx_LogThread&) = delete;
  tMx_LogThread& operator=(const tMx_LogThread&) = delete;

  // Queues one line; its line end is added here.
  void Enqueue(std::string aLine);
  // Lines waiting, the ones being written included.
  size_t QueueCount() const;
  // The library's worker has been started and has not yet ended.
  bool WorkerRunning() const;
  // Workers the library has started so far.
  uint64_t WorkersStarted() const;
  // For process exit, when the system may have ended the worker: writes what is queued on
  // the calling thread, waiting only briefly for a worker in the middle of a run. From then
  // on every line is written on the thread that queues it.
  void DrainOnCallingThread();

  struct State;

 private:
  friend class tMx_LogWriter;

  // aRecord carries its line end already.
  void EnqueueRecord(std::string aRecord);
  // A line written at aNow, stamped, masked, escaped and cut to aCut code points (0: not
  // cut) by the thread that writes it to the file.
  void EnqueueLine(const DateTimeParts& aNow, bool aError, std::string_view aMessage, size_t aCut);

  std::shared_ptr<State> fState;  // shared with the worker, which may write after us
};

class tMx_LogWriter {
 public:
  // Name: aFileName + "_yyyymmdd.log" when aDaily, else aFileName + ".log", in aDirectory
  // (created with its parents). Raises EMxError for an empty or invalid folder.
  tMx_LogWriter(const std::string& aFileName, const std::string& aDirectory,
                int32_t aMaxMessageLength, bool aDaily);
  // Every line queued before is on disk when this returns, unless the file refuses them
  // for more than a moment (or takes them too slowly): the rest is then written later, by
  // the worker. Either way it returns within a fixed bound.
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
  int32_t MaxLogFileSize() const;
  void SetMaxLogFileSize(int32_t aKilobytes);
  tMx_LogThread& Thread() { return *fThread; }

  // The writing of every writer in this copy of the library; lw_Background at start. A
  // switch away from it ends the worker and writes what it left queued on this thread.
  static void SetProcessWriting(tkLogWriting aWriting);
  static tkLogWriting ProcessWriting();
  // Bytes that all writers together may keep queued; the oldest lines beyond are dropped.
  static void SetQueueLimit(size_t aBytes);
  static size_t QueueLimit();

  // Size of the current file in bytes, -1 when it cannot be read.
  int64_t GetLogFileSize() const;
  bool CheckLogfileSize() const;

 private:
  tMx_LogThread::State& Target() const;

  int32_t fMaxMessageLength = 0;
  bool fDaily = false;
  std::unique_ptr<tMx_LogThread> fThread;
};
