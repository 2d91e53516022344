#include "cd/ACS_CDROM.h"

#include <algorithm>
#include <cstring>

#include "cd/CDRip.h"
#include "platform/cdvolume/AuxAudio.h"

namespace cdx {

namespace {

constexpr int kMaxTrack = 255;

uint32_t OffsetFrames(const TCDPosition& p) {
  return p.Min * 4500u + p.Sec * 75u + p.Frame;
}

// "Read error at sector N", and why when the library knows.
std::string ReadErrorMessage() {
  std::string message = "Read error at sector " + std::to_string(cdrip::CR_GetLastErrorSector());
  std::string reason = cdrip::CR_GetLastErrorMessage();
  return reason.empty() ? message : message + ": " + reason;
}

}  // namespace

// Holds the drive selected for the library calls of one scope.
class TCDIn::TDriveLease {
 public:
  explicit TDriveLease(TCDIn& source) : source_(source) { source_.SelectDrive(); }
  ~TDriveLease() { source_.ReleaseDrive(); }
  TDriveLease(const TDriveLease&) = delete;
  TDriveLease& operator=(const TDriveLease&) = delete;

 private:
  TCDIn& source_;
};

// --- TCDIn ---------------------------------------------------------------

TCDIn::TCDIn(TComponent* owner) : TACSInput(owner), Staging(kChunkBytes) {
  BindCDRip();
  if (!CDRipLoaded()) throw EACSException("cdrip.dll could not be loaded.");
}

TCDIn::~TCDIn() {
  if (Busy()) {
    cdrip::CR_CloseRipper();
    FBusy = false;
  }
}

void TCDIn::SelectDrive() {
  if (DriveUseCount == 0) cdrip::CR_SetActiveCDROM(FCurrentDrive);
  ++DriveUseCount;
}

void TCDIn::ReleaseDrive() {
  if (DriveUseCount > 0) --DriveUseCount;
}

void TCDIn::SetCurrentDrive(int value) {
  TDriveLease lease(*this);
  if (value >= 0 && value <= cdrip::CR_GetNumCDROM() - 1 && value <= kMaxTrack)
    FCurrentDrive = value;
  DiscToc.reset();
}

void TCDIn::SetStartTrack(int value) {
  if (Busy()) throw EACSException("The component is buisy");
  FStartTrack = value;
  StartPos = TCDPosition{value, 0, 0, 0};
  DiscToc.reset();
}

void TCDIn::SetEndTrack(int value) {
  if (Busy()) throw EACSException("The component is busy");
  FEndTrack = value;
  EndPos = TCDPosition{value + 1, 0, 0, 0};
  DiscToc.reset();
}

void TCDIn::SetSampleSinks(std::vector<TSampleSink*> sinks) {
  if (Busy()) throw EACSException("The component is busy");
  Sinks.clear();
  SinksAsRead.clear();
  for (TSampleSink* sink : sinks)
    (sink->TakesSamplesAsRead() ? SinksAsRead : Sinks).push_back(sink);
}

void TCDIn::SetDiscTrack(int drive, std::shared_ptr<const cdrip::DiscToc> toc, int track) {
  if (Busy()) throw EACSException("The component is busy");
  SetCurrentDrive(drive);
  SetStartTrack(track);
  SetEndTrack(track);
  DiscToc = std::move(toc);
}

int TCDIn::DriveCount() {
  TDriveLease lease(*this);
  return cdrip::CR_GetNumCDROM();
}

int TCDIn::DriveStatus() {
  TDriveLease lease(*this);
  int loaded = 0;
  cdrip::CR_IsMediaLoaded(&loaded);
  bool playing = cdrip::CR_IsAudioPlaying();
  if (loaded != 0) return 0;
  return playing ? 2 : 1;
}

int TCDIn::TrackCount() {
  TDriveLease lease(*this);
  if (cdrip::CR_ReadToc() != 0) return -1;
  return cdrip::CR_GetNumTocEntries();
}

TCDTrackInfo TCDIn::TrackInfo(int Track) {
  TDriveLease lease(*this);
  if (Track < 1 || Track > TrackCount() || Track > kMaxTrack)
    throw EACSException("Track out of range.");
  cdrip::TOCENTRY first = cdrip::CR_GetTocEntry(Track - 1);
  cdrip::TOCENTRY next = cdrip::CR_GetTocEntry(Track);
  uint32_t frames = next.dwStartSector - first.dwStartSector;
  TCDTrackInfo info;
  info.Min = static_cast<uint8_t>(frames / 4500);
  info.Sec = static_cast<uint8_t>((frames / 75) % 60);
  info.Frame = static_cast<uint8_t>(frames % 75);
  info.TrackType = first.btFlag == 0x10 ? ttAudio : ttData;
  return info;
}

void TCDIn::RangeFrames(uint32_t& start, uint32_t& end) {
  start = cdrip::CR_GetTocEntry(StartPos.Track - 1).dwStartSector + OffsetFrames(StartPos);
  end = cdrip::CR_GetTocEntry(EndPos.Track - 1).dwStartSector + OffsetFrames(EndPos);
  // An end track below the start track is an empty range, not a backwards
  // read.
  if (end < start) end = start;
}

int TCDIn::RangeSize() {
  uint32_t start = 0, end = 0;
  RangeFrames(start, end);
  return static_cast<int>((end - start) * kSectorBytes);
}

int TCDIn::TotalSize() {
  if (Busy()) return RangeBytes;
  TDriveLease lease(*this);
  cdrip::CR_ReadToc();
  return RangeSize();
}

std::string TCDIn::DriveRoot(int drive) {
  return cdrip::CR_GetDriveRoot(drive);
}

std::vector<std::string> TCDIn::ImageFolders() {
  return cdrip::CR_GetImageFolders();
}

bool TCDIn::DrivesChanged() {
  return cdrip::CR_DrivesChanged();
}

void TCDIn::RefreshDrives() {
  if (Busy()) return;
  TDriveLease lease(*this);
  cdrip::CR_Refresh();
  FCurrentDrive = cdrip::CR_GetActiveCDROM();
}

EACSException TCDIn::NotReady() const {
  // An image has no drive to wait for: its file went.
  return EACSException(cdrip::CR_IsImageDrive(FCurrentDrive) ? "The disc or image is gone"
                                                             : "The drive is not ready");
}

void TCDIn::CheckRangeOfDrive(uint32_t& start, uint32_t& end) {
  if (DriveStatus() == 0) throw NotReady();
  int tracks = TrackCount();
  if (StartPos.Track < 1 || StartPos.Track > tracks || StartPos.Track > kMaxTrack)
    throw EACSException("The start track out of range");
  if (TrackInfo(StartPos.Track).TrackType == ttData)
    throw EACSException("Trying to rip a data track");
  if (EndPos.Track < 1 || EndPos.Track > TrackCount() + 1 || EndPos.Track > kMaxTrack)
    throw EACSException("The end track out of range");
  RangeFrames(start, end);
}

void TCDIn::CheckRangeOfDisc(uint32_t& start, uint32_t& end) {
  const cdrip::DiscToc& toc = *DiscToc;
  if (toc.empty()) throw NotReady();
  const cdrip::TocTrack* first = toc.find(StartPos.Track);
  if (!first || StartPos.Track > kMaxTrack) throw EACSException("The start track out of range");
  if (!first->audio) throw EACSException("Trying to rip a data track");
  const cdrip::TocTrack* last = toc.find(EndPos.Track - 1);
  if (!last || EndPos.Track > kMaxTrack) throw EACSException("The end track out of range");
  const cdrip::TocTrack* after = toc.find(EndPos.Track);
  start = first->start;
  end = std::max(start, after ? after->start : toc.leadOut);
}

void TCDIn::OpenStream() {
  if (Busy()) throw EACSException("The component is busy");
  uint32_t start = 0, end = 0;
  if (DiscToc)
    CheckRangeOfDisc(start, end);
  else
    CheckRangeOfDrive(start, end);
  RangeBytes = static_cast<int32_t>((end - start) * kSectorBytes);
  FSize = RangeBytes;
  std::atomic_ref<bool>(Interrupted).store(false, std::memory_order_relaxed);
  BufStart = 1;
  BufEnd = 0;
  FPosition = 0;
  SelectDrive();
  ChunkCapacity = kChunkBytes;
  // The sinks outlive the ripper: they cannot be changed while it is open.
  auto sinksWork = [sinks = Sinks, asRead = SinksAsRead] {
    auto works = [](TSampleSink* s) { return s->DoWaitingWork(); };
    return std::any_of(sinks.begin(), sinks.end(), works) ||
           std::any_of(asRead.begin(), asRead.end(), works);
  };
  std::function<void(const uint8_t*, int)> onRead;
  if (!SinksAsRead.empty())
    onRead = [sinks = SinksAsRead](const uint8_t* pcm, int bytes) {
      for (TSampleSink* sink : sinks) sink->Samples(pcm, static_cast<size_t>(bytes));
    };
  if (cdrip::CR_OpenRipper(&ChunkCapacity, start, end, sinksWork, onRead) != cdrip::CR_OK &&
      DiscToc) {
    // The disc whose TOC was read is no longer there to be read.
    cdrip::CR_CloseRipper();
    ReleaseDrive();
    throw NotReady();
  }
  FBusy = true;
}

int TCDIn::ReadData(void* buffer, int bufferSize) {
  if (!Busy()) throw EACSException("The Stream is not opened");
  if (BufStart > BufEnd) RipNextChunk();
  int count = std::min(bufferSize, BufEnd - BufStart + 1);
  if (count <= 0) return 0;
  std::memcpy(buffer, Staging.data() + (BufStart - 1), static_cast<size_t>(count));
  for (TSampleSink* sink : Sinks) sink->Samples(Staging.data() + (BufStart - 1), count);
  BufStart += count;
  FPosition += count;
  return count;
}

void TCDIn::RipNextChunk() {
  BufStart = 1;
  BufEnd = 0;
  int bytes = 0;
  int result = cdrip::CR_RipChunk(Staging.data(), &bytes, &Interrupted);
  // An interrupted chunk still holds whole sectors worth keeping; every
  // chunk after it is empty, which ends the stream.
  if (result != cdrip::CR_OK && result != cdrip::CR_ABORTED) {
    // A sector that could not be read fails the track; it must never
    // look like the end of the range.
    throw EACSException(ReadErrorMessage());
  }
  BufEnd = std::min(bytes, static_cast<int>(Staging.size()));
}

void TCDIn::InterruptRead() {
  std::atomic_ref<bool>(Interrupted).store(true, std::memory_order_relaxed);
}

void TCDIn::CloseStream() {
  cdrip::CR_CloseRipper();
  ReleaseDrive();
  FBusy = false;
  FSize = 0;
}

// --- TCDPlayer -------------------------------------------------------------

TCDPlayer::TCDPlayer(TComponent* owner) : TCDPlayer(owner, cdvolume::MakeAlsaAuxAudio()) {}

TCDPlayer::TCDPlayer(TComponent* owner, std::unique_ptr<cdvolume::TAuxAudio> aux)
    : TComponent(owner), aux_(std::move(aux)) {
  for (int i = 0; i < aux_->NumDevs(); ++i) {
    if (aux_->IsCdAudio(i)) {
      FCDAudioDevice = i;
      break;
    }
  }
}

TCDPlayer::~TCDPlayer() {
  try {
    if (levelBefore_) aux_->SetVolume(FCDAudioDevice, *levelBefore_);
  } catch (...) {
    // A mixer gone meanwhile leaves nothing to put back.
  }
}

uint32_t TCDPlayer::Volume() {
  return FCDAudioDevice < 0 ? 0 : aux_->GetVolume(FCDAudioDevice);
}

uint16_t TCDPlayer::LVolume() {
  return static_cast<uint16_t>(Volume() & 0xFFFF);
}

uint16_t TCDPlayer::RVolume() {
  return static_cast<uint16_t>(Volume() >> 16);
}

void TCDPlayer::SetHalf(uint16_t value, int shift) {
  if (FCDAudioDevice < 0) return;
  uint32_t volume = aux_->GetVolume(FCDAudioDevice);
  if (!levelBefore_) levelBefore_ = volume;
  volume = (volume & ~(0xFFFFu << shift)) | (static_cast<uint32_t>(value) << shift);
  aux_->SetVolume(FCDAudioDevice, volume);
}

void TCDPlayer::SetLVolume(uint16_t value) {
  SetHalf(value, 0);
}

void TCDPlayer::SetRVolume(uint16_t value) {
  SetHalf(value, 16);
}

}  // namespace cdx
