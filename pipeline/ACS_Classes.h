// The pull pipeline: sources, converters and outputs, and the output's
// worker thread.
//
// A source hands out raw interleaved little-endian PCM on request; a
// converter is a source that pulls from another source; an output owns a
// worker thread that, during a run, pulls block after block from the end of
// its chain and writes it.
//
// Threads: the main thread creates components, sets properties (event
// handlers included, while the output is idle) and calls Run, Stop, Status,
// Progress and SetInput. The worker runs WriteNextBlock, EndOutput and every
// ReadData of the chain. OnProgress runs on the main thread, posted there
// while the worker goes on; OnDone runs there while the worker waits (see
// MainThreadQueue.h); OnThreadException runs on the thread that met the
// failure.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "pipeline/Component.h"
#include "pipeline/FileStream.h"

namespace cdx {

class EACSException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Of type int, so that any number cast to it is a value the setters can
// check and refuse; an enum of two values holds only 0 and 1.
enum TFileOutputMode : int { foRewrite = 0, foAppend = 1 };

// An event property: the main thread may assign it at any time, also while
// the worker is about to call it at the end of a run.
template <class Signature>
class TEvent {
 public:
  using Handler = std::function<Signature>;
  TEvent& operator=(Handler handler) {
    std::lock_guard lock(mutex_);
    handler_ = std::move(handler);
    return *this;
  }
  TEvent& operator=(std::nullptr_t) { return *this = Handler(); }
  explicit operator bool() const {
    std::lock_guard lock(mutex_);
    return static_cast<bool>(handler_);
  }
  Handler Get() const {
    std::lock_guard lock(mutex_);
    return handler_;
  }
  template <class... Args>
  void operator()(Args&&... args) const {
    if (Handler handler = Get()) handler(std::forward<Args>(args)...);
  }

 private:
  mutable std::mutex mutex_;
  Handler handler_;
};

using TOutputDoneEvent = TEvent<void(TComponent* Sender)>;
using TOutputProgressEvent = TEvent<void(TComponent* Sender)>;
using TThreadExceptionEvent = TEvent<void(TComponent* Sender, const std::exception& E)>;

// How a run ended: its input ran out, it was stopped, or it failed (then
// Message holds the failure's message, the one OnThreadException got).
enum class TRunResult { Done, Stopped, Failed };
struct TRunEnd {
  TRunResult Result = TRunResult::Done;
  std::string Message;
};
using TRunEndEvent = TEvent<void(TComponent* Sender, const TRunEnd& End)>;

// The lock that guards the exchange of an Input during a run: held around
// every ReadData on that input and by the swap itself. A thread that waits
// for it sleeps (a CD read behind it can take seconds), and waiting threads
// take it in the order they asked: the reader takes it again microseconds
// after releasing it, and would otherwise starve a swap until the run ends.
// It is taken and released only through a TInputLockGuard, so only its
// holder can release it.
class TInputLock {
 public:
  // Threads waiting for the lock right now.
  int Waiters() const;

 private:
  friend class TInputLockGuard;
  void Acquire();
  void Release();

  mutable std::mutex mutex_;
  std::condition_variable turn_;
  uint64_t nextTicket_ = 0;
  uint64_t serving_ = 0;
};

// Holds an InputLock for a scope, so a ReadData that throws still frees it.
class TInputLockGuard {
 public:
  explicit TInputLockGuard(TInputLock& lock) : lock_(lock) { lock_.Acquire(); }
  ~TInputLockGuard() { lock_.Release(); }
  TInputLockGuard(const TInputLockGuard&) = delete;
  TInputLockGuard& operator=(const TInputLockGuard&) = delete;

 private:
  TInputLock& lock_;
};

class TACSInput : public TComponent {
 public:
  explicit TACSInput(TComponent* owner) : TComponent(owner) {}

  virtual int GetBitsPerSample() = 0;
  virtual int GetChannels() = 0;
  virtual int GetSampleRate() = 0;
  virtual int GetTotalTime() { return 0; }
  // Copies up to `bufferSize` bytes into `buffer`; 0 is the end of the run.
  virtual int ReadData(void* buffer, int bufferSize) = 0;
  // CloseStream with every exception swallowed; never throws.
  virtual void AbortStream();
  // Asks a ReadData in progress on another thread to return soon with what
  // it has, and the run's later reads to end the stream; sources whose reads
  // can take long (a CD with retries) honour it. Any thread may call it, and
  // it never waits; OpenStream clears it.
  virtual void InterruptRead() {}
  virtual void OpenStream() = 0;
  virtual void CloseStream() = 0;

  // Bytes handed out since OpenStream.
  int32_t Position() const { return FPosition.load(std::memory_order_relaxed); }
  // Bytes this run will deliver, -1 when unknown.
  int32_t Size() const { return FSize.load(std::memory_order_relaxed); }
  bool Busy() const { return FBusy.load(); }

 protected:
  // Written by the component (opening thread, then the worker), read by
  // the main thread for progress.
  std::atomic<int32_t> FPosition{0};
  std::atomic<int32_t> FSize{0};
  std::atomic<bool> FBusy{false};
  // For sources that stage data: 1-based next byte, and valid byte count.
  int32_t BufStart = 1;
  int32_t BufEnd = 0;
};

class TACSConverter : public TACSInput {
 public:
  explicit TACSConverter(TComponent* owner) : TACSInput(owner) {}

  TACSInput* Input() const { return FInput.load(); }
  // Stores the input; during a run exchanges it without losing a block
  // (the new input is opened first, the old one closed after the swap).
  virtual void SetInput(TACSInput* Value);
  // Passed on down the chain to the source.
  void InterruptRead() override;

 protected:
  void Notification(TComponent* component, TOperation operation) override;
  // ReadData on Input with InputLock held; raises "Input not assigned"
  // when the input has gone.
  int ReadInput(void* buffer, int count);
  // Input, or "Input not assigned" when there is none.
  TACSInput& RequireInput() const;
  // The input's Size and Position (-1 and 0 without an input), read with
  // InputLock held so a swap cannot close or free the input meanwhile.
  void InputSizeAndPosition(int32_t& size, int32_t& position);
  // CloseStream on Input and Busy cleared, both with InputLock held, so a
  // swap at the end of a run either comes before (and this closes the new
  // input) or finds the converter closed: no input is closed twice or left
  // open.
  void CloseInput();

  TInputLock InputLock;

 private:
  std::atomic<TACSInput*> FInput{nullptr};
};

class TACSOutput;

// The worker thread of an output. Created suspended with the output; ends
// when the output is destroyed.
class TACSThread {
 public:
  explicit TACSThread(TACSOutput* parent);
  ~TACSThread();
  TACSThread(const TACSThread&) = delete;
  TACSThread& operator=(const TACSThread&) = delete;

  std::atomic<bool> SuspendWhenIdle{true};
  std::atomic<bool> StopRequested{false};

  bool Suspended() const { return suspended_.load(); }
  // Wakes a worker that sleeps because its output was idle.
  void Resume();
  // Asks the worker to leave after its current iteration and waits for it.
  void Terminate();
  bool Finished() const { return finished_.load(); }
  std::thread::id Id() const { return thread_.get_id(); }

 private:
  void Execute();
  void Iterate();
  void EndRun();
  void FailRun(const std::exception& e);
  void SuspendIfWanted();
  void SuspendUntilBusy();

  TACSOutput* parent_;
  std::atomic<bool> ExitRequested{false};
  std::atomic<bool> suspended_{false};
  std::atomic<bool> finished_{false};
  std::mutex lock_;  // the worker's critical section, held per iteration
  std::mutex stateMutex_;
  std::condition_variable wake_;
  std::thread thread_;
};

// Delivers OnDone on the main thread; its body is run by the worker itself.
class TVerySmallThread {
 public:
  TVerySmallThread(TACSOutput* output, TOutputDoneEvent::Handler onDone)
      : output_(output), onDone_(std::move(onDone)) {}
  void Execute();

 private:
  TACSOutput* output_;
  TOutputDoneEvent::Handler onDone_;
};

class TACSOutput : public TComponent {
 public:
  explicit TACSOutput(TComponent* owner);
  ~TACSOutput() override;

  TACSInput* Input() const { return FInput.load(); }
  virtual void SetInput(TACSInput* Value);

  // Starts a run: BeginOutput here, then the blocks on the worker.
  // Raises "Component is Busy" (also while the end of the last run is still
  // on its way) and "Input is not assigned"; every other failure goes to
  // OnThreadException.
  void Run();
  // Ends the current run after the block in progress, and asks the chain's
  // source to cut a slow read short; does not wait.
  void Stop();
  // 0 running, 1 suspended, 2 idle.
  int Status() const;
  // Percent of the input delivered, halves to even; -1 when unknown.
  int Progress() const;
  // The last Progress the worker saw during the current or last run; it
  // stays when the run has ended and its chain is closed. Any thread.
  int ReportedProgress() const { return FReportedProgress.load(); }
  bool Busy() const { return FBusy.load(); }

  bool SuspendWhenIdle() const { return Thread->SuspendWhenIdle.load(); }
  void SetSuspendWhenIdle(bool value) { Thread->SuspendWhenIdle = value; }

  // The end of the last run, main thread only: empty from Run until the
  // end arrives. Every Run gets exactly one end, handed to the main thread
  // after OnDone or OnThreadException, once the output is idle, its file
  // complete and its chain closed; then OnRunEnd runs. So a caller that
  // waits for this (WaitForRunEnd) has nothing else to wait for.
  const std::optional<TRunEnd>& LastRunEnd() const { return FLastRunEnd; }
  // A run was started and its end has not been delivered yet.
  bool RunEndPending() const { return FRunEndPending.load(); }

  TOutputDoneEvent OnDone;
  TOutputProgressEvent OnProgress;
  TThreadExceptionEvent OnThreadException;
  // Main thread; what it throws is dropped, since the run is over.
  TRunEndEvent OnRunEnd;

 protected:
  // Worker side of the writer contract. EndOutput runs with InputLock held
  // (so a swap cannot exchange or close the input under it): it must not
  // read from Input. The core calls it at most once per run.
  virtual bool WriteNextBlock(bool Abort) = 0;
  virtual void EndOutput() = 0;
  // Runs inside Run on the caller's thread.
  virtual void BeginOutput() = 0;

  void FinishRun();
  void HandleThreadException(const std::exception& E);
  void Notification(TComponent* component, TOperation operation) override;
  void BeforeDestruction() override;

  // ReadData on Input with InputLock held; "Input is not assigned" when the
  // input has gone during the run.
  int ReadInput(void* buffer, int count);
  // Input, or "Input is not assigned" when there is none.
  TACSInput& RequireInput() const;

  // Whether the run being torn down failed; EndOutput reads it.
  bool RunFailed() const { return FRunFailed; }
  // Whether the run being torn down was stopped; EndOutput reads it.
  bool RunStopped() const { return FRunStopped; }
  // Whether this run's ReadInput has handed out any audio yet (worker).
  bool AudioRead() const { return FAudioRead; }

  std::atomic<bool> CanOutput{false};
  int32_t LastProgress = 0;
  std::unique_ptr<TACSThread> Thread;
  TInputLock InputLock;

 private:
  friend class TACSThread;
  // Progress as the worker reads it, with InputLock held so the input
  // cannot be exchanged or destroyed while it is being read.
  int WorkerProgress();
  // Raises, on the worker, what the last posted progress report threw.
  void RaiseProgressError();
  // Hands the run's end to the main thread, once per Run.
  void DeliverRunEnd(TRunEnd end);
  void StopWorker();

  std::atomic<TACSInput*> FInput{nullptr};
  std::atomic<bool> FBusy{false};
  std::atomic<int> FReportedProgress{0};
  // A progress report is posted and has not run yet.
  std::atomic<bool> FProgressPosted{false};
  std::mutex FProgressErrorMutex;
  std::exception_ptr FProgressError;
  // Set by Run, cleared when its end has been delivered.
  std::atomic<bool> FRunEndPending{false};
  std::optional<TRunEnd> FLastRunEnd;
  bool FRunFailed = false;
  bool FRunStopped = false;
  bool FAudioRead = false;
};

// Serves the main thread until the run `output` started last has ended,
// and returns its end. `serve` must serve the main-thread queue (an event
// loop pass, a TMainThreadQueue::WaitAndServe); it may also, say, forward a
// Stop. Main thread only. Without a run started, it returns at once with a
// failed end.
TRunEnd WaitForRunEnd(TACSOutput& output, const std::function<void()>& serve);

// An output that writes to a stream opened in BeginOutput and freed in
// EndOutput; in this program always a file.
class TACSStreamedOutput : public TACSOutput {
 public:
  explicit TACSStreamedOutput(TComponent* owner) : TACSOutput(owner) {}

 protected:
  std::unique_ptr<TFileStream> FStream;
};

// The writer contract. The base does what every file writer shares, so a
// writer implements only its own start, block and finish steps:
//
// - BeginOutput: "File name is not assigned." for an empty FileName; then
//   the file is opened, Input's OpenStream, and the writer's StartFile
//   (headers, encoder set-up). When a step raises, what the earlier ones
//   opened is released again before the failure leaves.
// - WriteNextBlock: true without work while idle (CanOutput false); false
//   on Abort or once the writer has set EndOfInput; else WriteBlock.
// - EndOutput: FinishFile (flush the encoder, complete the headers) when
//   StartFile succeeded, ReleaseFile, then FStream and the input closed,
//   each exactly once per run whatever fails; the first failure is raised.
//   A second EndOutput in the same run does nothing.
//
// The file on disk: a rewrite run writes a new file with a hidden name
// beside FileName (OutputPath) and moves it onto FileName only when the run
// ends without a failure, done or stopped; a failed run removes it, so an
// earlier file of that name stays as it was and no cut-off file ever bears
// the name. A stopped run may take another name instead (the stopped-file
// hook), and one stopped before any audio was read keeps no file at all. An append run continues
// FileName under an exclusive lock; when it fails, the file is cut back to its length and first
// bytes as they were before the run.
class TACSFileOut : public TACSStreamedOutput {
 public:
  explicit TACSFileOut(TComponent* owner) : TACSStreamedOutput(owner) {}

  const std::string& FileName() const { return FFileName; }
  void SetFileName(std::string value) { FFileName = std::move(value); }
  TFileOutputMode FileMode() const { return FFileMode; }
  // A writer that cannot append keeps rewriting: the base stores foRewrite
  // whatever it is given.
  virtual void SetFileMode(TFileOutputMode) { FFileMode = foRewrite; }

  // Runs on the worker with the complete file of a rewrite run that keeps
  // it (done or stopped), still under its hidden name `path`, right before
  // it takes FileName: the place to tag it. What it raises fails the run
  // like any other failure, so no file takes the name. Append runs, which
  // have no hidden file, and failed runs skip it. Set while idle.
  using TFinishedFileHook = std::function<void(const std::string& path)>;
  void SetFinishedFileHook(TFinishedFileHook hook) { FFinishedFileHook = std::move(hook); }
  // Runs on the worker for a stopped rewrite run that keeps its file, with
  // the run's last reported progress: the name the file takes instead of
  // FileName (so an earlier complete file of that name stays), or "" for
  // FileName. Set while idle.
  using TStoppedFileHook = std::function<std::string(int progress)>;
  void SetStoppedFileHook(TStoppedFileHook hook) { FStoppedFileHook = std::move(hook); }
  // Where the last run left its file: FileName, the stopped-file hook's
  // name, or "" when it kept none (it failed, or was stopped before any
  // audio). Main thread, once the run's end has been delivered.
  const std::string& KeptFile() const { return FKeptFile; }
  // The hook set, so that another part can run its own before it.
  const TFinishedFileHook& FinishedFileHook() const { return FFinishedFileHook; }

 protected:
  void BeginOutput() final;
  bool WriteNextBlock(bool Abort) final;
  void EndOutput() final;

  // The input is open, and FStream on the file: check the input, write
  // headers, set up the encoder.
  virtual void StartFile(TACSInput& input) = 0;
  // Reads (ReadInput) and writes one block; false when no more follow.
  virtual bool WriteBlock() = 0;
  // Flushes the encoder and completes the file; runs only after StartFile
  // succeeded, also for stopped and failed runs.
  virtual void FinishFile() = 0;
  // Frees what StartFile set up, whether it succeeded or not, and after
  // FinishFile; must not throw, and may find nothing left to free.
  virtual void ReleaseFile() noexcept {}

  // The file this run writes, for a writer whose encoder opens it by name.
  const std::string& OutputPath() const { return FStream->Path(); }
  // Whether this run continues an existing file.
  bool Appending() const { return FAppending; }

  std::string FFileName;
  TFileOutputMode FFileMode = foRewrite;
  // Set by a writer whose input has ended but that still has a block to
  // write: the next WriteNextBlock ends the run.
  bool EndOfInput = false;

 private:
  // What an append run may change of the file's start: every header field
  // a writer completes lies in it.
  static constexpr int64_t kAppendHeadBytes = 65536;

  void OpenFile();
  // Closes the file, keeping it only when `keep`; raises what failed.
  void CloseFile(bool keep);
  // Puts an appended file back as it was before the run; never throws.
  void RestoreAppendedFile(TFileStream& stream) noexcept;
  // Releases what BeginOutput opened before it failed; never throws.
  void AbandonStart() noexcept;

  TFinishedFileHook FFinishedFileHook;
  TStoppedFileHook FStoppedFileHook;
  std::string FKeptFile;
  bool FInputOpen = false;
  bool FFileStarted = false;
  bool FAppending = false;
  int64_t FOriginalLength = 0;
  std::vector<uint8_t> FOriginalHead;
};

}  // namespace cdx
