#pragma once
// While a call runs (a terminal may take a minute), a second thread shows how long it has
// been running: "  ... 3 s", rewritten in place, and wiped when the call returns.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <ostream>
#include <thread>

class tkElapsedTicker {
 public:
  // Nothing is shown before aFirst has passed, then every aEvery.
  explicit tkElapsedTicker(std::ostream& aSink, std::chrono::milliseconds aFirst = std::chrono::seconds(1),
                           std::chrono::milliseconds aEvery = std::chrono::seconds(1));
  ~tkElapsedTicker();
  tkElapsedTicker(const tkElapsedTicker&) = delete;
  tkElapsedTicker& operator=(const tkElapsedTicker&) = delete;

  // Stops the thread and wipes what it showed; later calls do nothing.
  void Stop();

 private:
  void Run();

  std::ostream& fSink;
  const std::chrono::milliseconds fFirst;
  const std::chrono::milliseconds fEvery;
  const std::chrono::steady_clock::time_point fStart;
  std::mutex fMutex;
  std::condition_variable fWake;
  bool fStopping = false;
  size_t fShown = 0;  // length of the text on the line, to wipe it
  std::thread fThread;
};
