#include "pipeline/ACS_Classes.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "pipeline/MainThreadQueue.h"
#include "pipeline/Rounding.h"

namespace cdx {

namespace {

// The exchange of an input during a run, shared by outputs and converters:
// open the new input, swap it in under the lock, close the old one. When the
// run ended while the swap waited for the lock, the end of the run has
// closed the old input already, and the new one belongs to no run.
void SwapInputWhileBusy(TInputLock& lock, std::atomic<TACSInput*>& input, TACSInput* value,
                        const std::function<bool()>& busy) {
  if (value) value->OpenStream();
  TACSInput* old = nullptr;
  bool running = false;
  {
    TInputLockGuard guard(lock);
    old = input.load();
    running = busy();
    input.store(value);
  }
  if (running && old && old != value) old->CloseStream();
  if (!running && value) value->CloseStream();
}

// Keeps the removal notification in step with the stored input.
void Relink(TComponent* self, TACSInput* old, TACSInput* value) {
  if (old == value) return;
  if (old) self->RemoveFreeNotification(old);
  if (value) self->FreeNotification(value);
}

}  // namespace

// --- TInputLock ---------------------------------------------------------

void TInputLock::Acquire() {
  std::unique_lock lock(mutex_);
  const uint64_t ticket = nextTicket_++;
  turn_.wait(lock, [&] { return serving_ == ticket; });
}

void TInputLock::Release() {
  {
    std::lock_guard lock(mutex_);
    ++serving_;
  }
  turn_.notify_all();
}

int TInputLock::Waiters() const {
  std::lock_guard lock(mutex_);
  const uint64_t queued = nextTicket_ - serving_;  // the holder and those after it
  return queued > 1 ? static_cast<int>(queued - 1) : 0;
}

// --- TACSInput ----------------------------------------------------------

void TACSInput::AbortStream() {
  try {
    CloseStream();
  } catch (...) {
  }
  FBusy = false;
}

// --- TACSConverter ------------------------------------------------------

void TACSConverter::SetInput(TACSInput* Value) {
  if (Value == this) return;
  TACSInput* old = Input();
  if (!Busy())
    FInput.store(Value);
  else
    SwapInputWhileBusy(InputLock, FInput, Value, [this] { return Busy(); });
  Relink(this, old, Value);
}

void TACSConverter::InterruptRead() {
  if (TACSInput* input = Input()) input->InterruptRead();
}

void TACSConverter::Notification(TComponent* component, TOperation operation) {
  if (operation == TOperation::opRemove && component == Input()) SetInput(nullptr);
  TACSInput::Notification(component, operation);
}

int TACSConverter::ReadInput(void* buffer, int count) {
  TInputLockGuard guard(InputLock);
  TACSInput* input = Input();
  if (!input) throw EACSException("Input not assigned");
  return input->ReadData(buffer, count);
}

void TACSConverter::InputSizeAndPosition(int32_t& size, int32_t& position) {
  TInputLockGuard guard(InputLock);
  TACSInput* input = Input();
  size = input ? input->Size() : -1;
  position = input ? input->Position() : 0;
}

void TACSConverter::CloseInput() {
  TInputLockGuard guard(InputLock);
  if (TACSInput* input = Input()) input->CloseStream();
  FBusy = false;
}

TACSInput& TACSConverter::RequireInput() const {
  TACSInput* input = Input();
  if (!input) throw EACSException("Input not assigned");
  return *input;
}

// --- TACSThread ---------------------------------------------------------

TACSThread::TACSThread(TACSOutput* parent) : parent_(parent) {
  suspended_ = true;  // created suspended: the first Run wakes it
  thread_ = std::thread([this] { Execute(); });
}

TACSThread::~TACSThread() {
  Terminate();
}

void TACSThread::Resume() {
  // Resumed from now on, as Status must report the moment Run returns; the
  // worker itself may take a while to be scheduled.
  std::lock_guard lock(stateMutex_);
  suspended_ = false;
  wake_.notify_all();
}

void TACSThread::Terminate() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard lock(stateMutex_);
    ExitRequested = true;
  }
  wake_.notify_all();
  thread_.join();
}

void TACSThread::Execute() {
  SuspendUntilBusy();
  while (!ExitRequested) {
    {
      std::lock_guard critical(lock_);
      Iterate();
    }
    if (!parent_->Busy() && !ExitRequested) {
      // Idle without suspending: keep iterating, gently.
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  ExitRequested = false;
  finished_ = true;
}

void TACSThread::Iterate() {
  // A stop or the end only ends a run that was in progress when this
  // iteration began: an idle iteration may have taken a stale Stop as its
  // abort flag just before Run started the next run.
  const bool running = parent_->Busy();
  try {
    parent_->WorkerProgress();
    bool more = parent_->WriteNextBlock(StopRequested);
    if ((StopRequested || !more) && running && parent_->Busy()) EndRun();
  } catch (const std::exception& e) {
    FailRun(e);
  } catch (...) {
    FailRun(EACSException("Unknown error"));
  }
}

void TACSThread::EndRun() {
  const bool stopped = StopRequested;
  StopRequested = false;
  parent_->FRunStopped = stopped;
  parent_->FinishRun();
  if (auto onDone = parent_->OnDone.Get()) TVerySmallThread(parent_, std::move(onDone)).Execute();
  parent_->DeliverRunEnd({stopped ? TRunResult::Stopped : TRunResult::Done, ""});
  SuspendIfWanted();
}

void TACSThread::FailRun(const std::exception& e) {
  StopRequested = false;
  parent_->HandleThreadException(e);
  SuspendIfWanted();
}

void TACSThread::SuspendIfWanted() {
  if (SuspendWhenIdle) SuspendUntilBusy();
}

void TACSThread::SuspendUntilBusy() {
  // Sleeping only while the output is idle means a Run that comes before
  // the worker got here is never missed.
  std::unique_lock lock(stateMutex_);
  auto wanted = [&] { return parent_->Busy() || ExitRequested; };
  if (wanted()) return;
  suspended_ = true;
  wake_.wait(lock, wanted);
  suspended_ = false;
}

// --- TVerySmallThread ---------------------------------------------------

void TVerySmallThread::Execute() {
  // The call owns a copy of the handler: a handler that frees its own output
  // releases this worker while it still runs, and what it captured must
  // live until it returns.
  std::function<void()> call = [output = output_, onDone = onDone_] { onDone(output); };
  TMainThreadQueue::Instance().Synchronize(output_, call);
}

// --- TACSOutput ---------------------------------------------------------

TACSOutput::TACSOutput(TComponent* owner) : TComponent(owner) {
  // Started only now that every field it reads is initialised; it sleeps
  // until the first Run, so the derived writer is complete by then.
  Thread = std::make_unique<TACSThread>(this);
}

TACSOutput::~TACSOutput() {
  StopWorker();
  // Reports posted for this output must not reach the next one to be built
  // at its address.
  auto& queue = TMainThreadQueue::Instance();
  queue.Close(this);
  queue.Reopen(this);
}

void TACSOutput::SetInput(TACSInput* Value) {
  TACSInput* old = Input();
  if (!Busy())
    FInput.store(Value);
  else
    SwapInputWhileBusy(InputLock, FInput, Value, [this] { return Busy(); });
  Relink(this, old, Value);
}

void TACSOutput::Run() {
  // Until its end has been delivered, the last run still owns the result.
  if (Busy() || FRunEndPending) throw EACSException("Component is Busy");
  if (!Input()) throw EACSException("Input is not assigned");
  FLastRunEnd.reset();
  FRunEndPending = true;
  FReportedProgress = 0;
  FRunFailed = false;
  FRunStopped = false;
  FAudioRead = false;
  try {
    BeginOutput();
    // Flags before Busy, so a worker that is iterating idle never sees a
    // stale Stop in the new run.
    Thread->StopRequested = false;
    CanOutput = true;
    FBusy = true;
    Thread->Resume();
  } catch (const std::exception& e) {
    HandleThreadException(e);
  } catch (...) {
    HandleThreadException(EACSException("Unknown error"));
  }
}

void TACSOutput::Stop() {
  Thread->StopRequested = true;
  // A slow read (a CD retrying a sector) would otherwise hold the stop back
  // until its whole chunk is in.
  if (TACSInput* input = Input()) input->InterruptRead();
}

int TACSOutput::Status() const {
  if (!Busy()) return 2;
  return Thread->Suspended() ? 1 : 0;
}

int TACSOutput::Progress() const {
  TACSInput* input = Input();
  if (!input) return 0;
  int32_t size = input->Size();
  if (size == -1) return -1;
  if (size == 0) return 0;
  return RoundHalfEven(static_cast<double>(input->Position()) / size * 100.0);
}

int TACSOutput::WorkerProgress() {
  int progress;
  {
    TInputLockGuard guard(InputLock);
    progress = Progress();
  }
  if (progress != LastProgress) {
    LastProgress = progress;
    FReportedProgress = progress;
    // Posted, never waited for: a busy window must not hold the rip back.
    // One report at a time is on its way; it reads the progress of when it
    // runs.
    if (OnProgress && !FProgressPosted.exchange(true))
      TMainThreadQueue::Instance().Post(this, [this] {
        FProgressPosted = false;
        try {
          OnProgress(this);
        } catch (...) {
          std::lock_guard lock(FProgressErrorMutex);
          FProgressError = std::current_exception();
        }
      });
  }
  RaiseProgressError();
  return progress;
}

void TACSOutput::RaiseProgressError() {
  std::exception_ptr error;
  {
    std::lock_guard lock(FProgressErrorMutex);
    std::swap(error, FProgressError);
  }
  // A progress handler that failed fails the run, as it would have had the
  // worker waited for it.
  if (error && Busy()) std::rethrow_exception(error);
}

void TACSOutput::FinishRun() {
  if (!Busy()) return;
  // Under InputLock, so a swap on the main thread either comes before the
  // end of the run (and EndOutput closes the new input) or after it.
  TInputLockGuard guard(InputLock);
  CanOutput = false;
  // Idle whatever EndOutput raises, so the failure path that follows does
  // not finish the writer a second time.
  struct TIdleOnExit {
    std::atomic<bool>& busy;
    ~TIdleOnExit() { busy = false; }
  } idle{FBusy};
  EndOutput();
}

void TACSOutput::HandleThreadException(const std::exception& E) {
  {
    // The teardown holds InputLock, as FinishRun does. A ReadData that
    // failed has released every lock on its way out.
    TInputLockGuard guard(InputLock);
    FRunFailed = true;
    if (Busy()) {
      try {
        EndOutput();
      } catch (...) {
      }
    }
    CanOutput = false;
    FBusy = false;
  }
  // A handler's own failure has nowhere to go: Run raises only its two
  // refusals, and on the worker there is no caller at all.
  if (auto handler = OnThreadException.Get()) {
    try {
      handler(this, E);
    } catch (...) {
    }
  }
  DeliverRunEnd({TRunResult::Failed, E.what()});
}

void TACSOutput::DeliverRunEnd(TRunEnd end) {
  if (!FRunEndPending) return;
  std::function<void()> call = [this, end = std::move(end), handler = OnRunEnd.Get()] {
    FLastRunEnd = end;
    FRunEndPending = false;
    if (!handler) return;
    try {
      handler(this, end);
    } catch (...) {
    }
  };
  TMainThreadQueue::Instance().Synchronize(this, call);
}

TRunEnd WaitForRunEnd(TACSOutput& output, const std::function<void()>& serve) {
  if (!output.RunEndPending() && !output.LastRunEnd())
    return {TRunResult::Failed, "No run was started"};
  while (output.RunEndPending()) serve();
  return *output.LastRunEnd();
}

void TACSOutput::Notification(TComponent* component, TOperation operation) {
  if (operation == TOperation::opRemove && component == Input()) SetInput(nullptr);
  TComponent::Notification(component, operation);
}

int TACSOutput::ReadInput(void* buffer, int count) {
  TInputLockGuard guard(InputLock);
  TACSInput* input = Input();
  if (!input) throw EACSException("Input is not assigned");
  const int got = input->ReadData(buffer, count);
  if (got > 0) FAudioRead = true;
  return got;
}

TACSInput& TACSOutput::RequireInput() const {
  TACSInput* input = Input();
  if (!input) throw EACSException("Input is not assigned");
  return *input;
}

void TACSOutput::BeforeDestruction() {
  StopWorker();
  TComponent::BeforeDestruction();
}

void TACSOutput::StopWorker() {
  if (!Thread || Thread->Finished()) return;
  // Drop the hand-offs the main thread will no longer serve, so the worker
  // is never left waiting on us while we wait on it.
  auto& queue = TMainThreadQueue::Instance();
  queue.Close(this);
  Thread->Terminate();
  queue.Reopen(this);
  // The run is not completed, but the chain must not stay open.
  if (Busy()) {
    if (TACSInput* input = Input()) input->AbortStream();
    CanOutput = false;
    FBusy = false;
  }
}

// --- TACSFileOut ----------------------------------------------------------

void TACSFileOut::BeginOutput() {
  FKeptFile.clear();
  if (FFileName.empty()) throw EACSException("File name is not assigned.");
  EndOfInput = false;
  try {
    OpenFile();
    TACSInput& input = RequireInput();
    input.OpenStream();
    FInputOpen = true;
    StartFile(input);
    FFileStarted = true;
  } catch (...) {
    AbandonStart();
    throw;
  }
}

void TACSFileOut::OpenFile() {
  // An existing file is continued (under an exclusive lock) only by the
  // writers that take foAppend; anything else is written afresh.
  FAppending = FFileMode == foAppend && FileExists(FFileName);
  if (!FAppending) {
    // A device, a pipe or a folder of that name would be replaced by the
    // finished file.
    if (!CanBeReplacedByAFile(FFileName))
      throw EACSException("Cannot create file \"" + FFileName + "\": it is not a regular file");
    FStream = TFileStream::CreateTemporaryFor(FFileName);
    return;
  }
  FStream = std::make_unique<TFileStream>(FFileName, TFileStream::TOpenMode::ReadWriteLocked);
  FOriginalLength = FStream->Size();
  FOriginalHead.resize(static_cast<size_t>(std::min(FOriginalLength, kAppendHeadBytes)));
  FStream->Seek(0, SEEK_SET);
  if (FStream->Read(FOriginalHead.data(), static_cast<int64_t>(FOriginalHead.size())) !=
      static_cast<int64_t>(FOriginalHead.size()))
    throw EACSException("Cannot read from file \"" + FFileName + "\"");
}

void TACSFileOut::AbandonStart() noexcept {
  ReleaseFile();
  if (FStream) {
    if (FAppending) RestoreAppendedFile(*FStream);
    const std::string path = FStream->Path();
    FStream.reset();
    if (!FAppending) RemoveFileQuietly(path);
  }
  if (std::exchange(FInputOpen, false))
    if (TACSInput* input = Input()) input->AbortStream();
}

bool TACSFileOut::WriteNextBlock(bool Abort) {
  if (!CanOutput) return true;
  if (Abort || EndOfInput) return false;
  return WriteBlock();
}

void TACSFileOut::EndOutput() {
  // Close everything whatever fails, and report the first failure.
  std::exception_ptr failure;
  auto attempt = [&failure](auto&& step) {
    try {
      step();
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
  };
  if (std::exchange(FFileStarted, false)) attempt([this] { FinishFile(); });
  ReleaseFile();
  if (std::exchange(FInputOpen, false)) {
    attempt([this] {
      if (TACSInput* input = Input()) input->CloseStream();
    });
  }
  // A run stopped before any audio has nothing to keep, and what its
  // encoder says of an empty stream (some refuse one) is no failure.
  const bool empty = RunStopped() && !AudioRead() && !FAppending;
  if (empty) failure = nullptr;
  if (FStream) attempt([&] { CloseFile(!empty && !failure && !RunFailed()); });
  if (failure) std::rethrow_exception(failure);
}

void TACSFileOut::CloseFile(bool keep) {
  std::unique_ptr<TFileStream> stream = std::move(FStream);
  const std::string path = stream->Path();
  std::exception_ptr failure;
  auto attempt = [&](auto&& step) {
    try {
      step();
    } catch (...) {
      if (!failure) failure = std::current_exception();
      keep = false;
    }
  };
  if (keep && !FAppending && FFinishedFileHook) attempt([&] { FFinishedFileHook(path); });
  // On the disk before it takes the final name, so a crash cannot leave a
  // cut-off file under that name.
  if (keep) attempt([&] { stream->Sync(); });
  if (!keep && FAppending) RestoreAppendedFile(*stream);
  attempt([&] { stream->Close(); });
  std::string destination = FFileName;
  if (keep && !FAppending && RunStopped() && FStoppedFileHook)
    attempt([&] {
      if (std::string other = FStoppedFileHook(ReportedProgress()); !other.empty())
        destination = std::move(other);
    });
  if (!FAppending) {
    if (keep) attempt([&] { ReplaceFile(path, destination); });
    if (!keep) RemoveFileQuietly(path);
  }
  if (keep) FKeptFile = destination;
  if (failure) std::rethrow_exception(failure);
}

void TACSFileOut::RestoreAppendedFile(TFileStream& stream) noexcept {
  try {
    if (stream.Size() != FOriginalLength) stream.Truncate(FOriginalLength);
    // Rewritten only where it changed, so an untouched file stays so.
    std::vector<uint8_t> head(FOriginalHead.size());
    stream.Seek(0, SEEK_SET);
    stream.Read(head.data(), static_cast<int64_t>(head.size()));
    if (head != FOriginalHead) {
      stream.Seek(0, SEEK_SET);
      stream.Write(FOriginalHead.data(), static_cast<int64_t>(FOriginalHead.size()));
    }
    stream.Sync();
  } catch (...) {
    // The run has failed already; its message says why.
  }
}

}  // namespace cdx
