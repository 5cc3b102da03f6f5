#include "velo-pos/ElapsedTicker.h"

#include <string>

tkElapsedTicker::tkElapsedTicker(std::ostream& aSink, std::chrono::milliseconds aFirst,
                                 std::chrono::milliseconds aEvery)
    : fSink(aSink), fFirst(aFirst), fEvery(aEvery), fStart(std::chrono::steady_clock::now()) {
  fThread = std::thread(&tkElapsedTicker::Run, this);
}

tkElapsedTicker::~tkElapsedTicker() { Stop(); }

void tkElapsedTicker::Stop() {
  {
    std::lock_guard<std::mutex> lock(fMutex);
    fStopping = true;
  }
  fWake.notify_all();
  if (fThread.joinable()) fThread.join();
  if (fShown > 0) {
    fSink << '\r' << std::string(fShown, ' ') << '\r';
    fSink.flush();
    fShown = 0;
  }
}

void tkElapsedTicker::Run() {
  std::unique_lock<std::mutex> lock(fMutex);
  auto next = fStart + fFirst;
  while (!fWake.wait_until(lock, next, [this] { return fStopping; })) {
    const auto elapsed = std::chrono::steady_clock::now() - fStart;
    const std::string text = "  ... " + std::to_string(std::chrono::duration_cast<std::chrono::seconds>(elapsed).count()) + " s";
    // The new text is never shorter than the old one, so "\r" alone rewrites it.
    fSink << '\r' << text;
    fSink.flush();
    if (text.size() > fShown) fShown = text.size();
    next += fEvery;
  }
}
