#include "app/EventPump.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <algorithm>
#include <chrono>

#include "pipeline/MainThreadQueue.h"

namespace cdx {

void ConnectMainThreadQueueToEventLoop() {
  TMainThreadQueue& queue = TMainThreadQueue::Instance();
  queue.SetMainThread(std::this_thread::get_id());
  queue.SetWakeHandler([] {
    // Runs on the worker: only posting is allowed here.
    QMetaObject::invokeMethod(
        qApp, [] { TMainThreadQueue::Instance().Serve(); }, Qt::QueuedConnection);
  });
}

void PumpMessagesFor(int ms) {
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  const auto period = std::chrono::milliseconds(ms);
  TMainThreadQueue& queue = TMainThreadQueue::Instance();
  for (;;) {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    queue.Serve();
    const auto elapsed = Clock::now() - start;
    if (elapsed > period) return;
    // A worker call ends this wait at once; window events wait at most 1 ms.
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(period - elapsed);
    queue.WaitAndServe(
        std::clamp(left, std::chrono::milliseconds(0), std::chrono::milliseconds(1)));
  }
}

}  // namespace cdx
