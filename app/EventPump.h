// The window's side of the pipeline's hand-off to the main thread: worker
// calls wake the Qt event loop, and the job's wait keeps both the window and
// the hand-off queue served.
#pragma once

namespace cdx {

// Makes every call a worker queues wake the Qt event loop, which then serves
// the queue. Call once, on the main thread, after the QApplication exists.
void ConnectMainThreadQueueToEventLoop();

// Processes window events and serves the hand-off queue until strictly more
// than `ms` milliseconds have passed. Sleeps in short waits between passes
// (a queued worker call ends such a wait at once), so it does not spin.
void PumpMessagesFor(int ms);

}  // namespace cdx
