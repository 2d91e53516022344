#include "platform/cdrip/Ripper.h"

#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "platform/cdrip/CdioLog.h"
#include "platform/cdrip/DriveScene.h"

namespace cdrip {

namespace {

// Retries before paranoia gives up on a sector. An image reads the same
// every time, so retrying only delays the failure; a drive deserves
// paranoia's usual persistence.
constexpr int kImageRetries = 3;
constexpr int kDeviceRetries = 20;

// Paranoia's blocks of audio reach about 3 MB; its whole working set
// during a rip is about 22 MB, more where the heap is fragmented.
constexpr int kLargestParanoiaBlock = 8 << 20;
constexpr int kParanoiaWorkingSet = 64 << 20;

thread_local Ripper::ReadContext* tRead = nullptr;
std::atomic<bool> gStopAllReads{false};

// Paranoia allocates and frees blocks of up to ~3 MB many times a second
// of audio. By default glibc hands blocks that large out as fresh mappings,
// or gives the top of the heap back after them, so each one is faulted in
// anew: a third of a rip's CPU time went to page faults. Kept in the heap,
// and the heap kept between tracks, their pages are reused; the peak stays
// that of paranoia's working set.
void KeepParanoiaBlocksInTheHeap() {
  static std::once_flag once;
  std::call_once(once, [] {
    mallopt(M_MMAP_THRESHOLD, kLargestParanoiaBlock);
    mallopt(M_TRIM_THRESHOLD, kParanoiaWorkingSet);
  });
}

// Paranoia counts a retry only when a pass brings nothing new; around a
// sector that never reads, the reads of its neighbours always bring
// something, and it would retry for ever. So the drive's refusals during
// one chunk are counted, and past the retries allowed every read fails at
// once, which makes paranoia give the sector up.
void NoteRefusedRead(long lastSector) {
  if (++tRead->refusals < tRead->maxRefusals) return;
  tRead->gaveUp = true;
  tRead->refusedSector = lastSector;
}

// A read of the chunk once it is given up (an abort, or too many refusals)
// never reaches the drive. Failed, it makes paranoia give its sector up,
// after a few thousand such reads at most, as long as paranoia has read
// that sector before. A sector it never read (at the start of a range,
// where the drive refused it from the first read) it would re-read for
// ever, so it is soon handed silence there, which it accepts at once.
// Silence handed out where paranoia has read the sector it holds would
// not end the loop, but start another: there it comes only as a last
// resort. None of that silence reaches the caller: the chunk is aborted or
// failed as soon as paranoia returns.
constexpr int kRefusalsBeforeSilence = 1 << 15;
constexpr int kRefusalsBeforeSilenceOnAnUnreadSector = 1 << 6;

bool WantedSectorWasRead() {
  long i = tRead->wanted - tRead->first;
  return i >= 0 && i < static_cast<long>(tRead->read.size()) && tRead->read[i];
}

long RefuseRead(void* buffer, long sectors) {
  int limit =
      WantedSectorWasRead() ? kRefusalsBeforeSilence : kRefusalsBeforeSilenceOnAnUnreadSector;
  if (++tRead->readsRefused <= limit) return -1;
  // Paranoia may ask for a read without a buffer.
  if (buffer) std::memset(buffer, 0, static_cast<size_t>(sectors) * CR_SECTOR_BYTES);
  return sectors;
}

// The sectors of the range that a read brought whole.
void NoteSectorsRead(lsn_t begin, long sectors) {
  long from = std::max<long>(begin - tRead->first, 0);
  long to = std::min<long>(begin + sectors - tRead->first, static_cast<long>(tRead->read.size()));
  for (long i = from; i < to; ++i) tRead->read[i] = true;
}

// Paranoia reads and re-reads far ahead of the sector asked for (on an
// image some 2,400 sectors for the first one of a rip), and a damaged disc
// retries inside that same call; an abort seen only between sectors would
// wait for all of it. Once the abort is set the drive reads fail at once,
// so paranoia soon gives up the sector in hand.
long ReadAudioUnlessAborted(cdrom_drive_t* drive, void* buffer, lsn_t begin, long sectors) {
  if (!tRead || !tRead->driveRead) return -1;
  if (Ripper::AbortRequested(tRead->abort)) tRead->aborted = true;
  if (tRead->aborted || tRead->gaveUp) return RefuseRead(buffer, sectors);
  long read = tRead->driveRead(drive, buffer, begin, sectors);
  // Reads past the range (paranoia probes beyond it) may fail on any disc.
  // A read cut short inside the range is a refusal too: near the range's
  // end paranoia would otherwise retry it for ever.
  if (read < 0 && begin < tRead->end) NoteRefusedRead(begin + sectors - 1);
  if (read >= 0 && read < sectors && begin + read < tRead->end)
    NoteRefusedRead(begin + sectors - 1);
  if (read > 0) NoteSectorsRead(begin, read);
  return read;
}

void OnParanoiaEvent(long position, paranoia_cb_mode_t mode) {
  if (!tRead || mode != PARANOIA_CB_SKIP || tRead->skipped) return;
  tRead->skipped = true;
  tRead->skipSector = position / CD_FRAMEWORDS;
}

// Points the callbacks at one ripper's read context, and that at the
// caller's abort flag, for the length of a Read.
class ReadScope {
 public:
  ReadScope(Ripper::ReadContext* context, bool* abort) : context_(context) {
    context_->abort = abort;
    tRead = context_;
  }
  ~ReadScope() {
    tRead = nullptr;
    context_->abort = nullptr;
  }
  ReadScope(const ReadScope&) = delete;
  ReadScope& operator=(const ReadScope&) = delete;

 private:
  Ripper::ReadContext* context_;
};

constexpr int64_t kSectorSamples = CR_SECTOR_BYTES / 4;
// An Enhanced CD's audio session ends this far before its data track.
constexpr int64_t kSessionGap = 11400;

// The sectors of audio around [start, end): from the end of the last data
// track before it (0 when none) to the start of the first data track after
// it (the lead-out when none). Ending the range at a first session's end
// (a data track that far on), the caller says where the audio ends.
Ripper::AudioSpan AudioAround(CdIo_t* cdio, uint32_t start, uint32_t end, lsn_t leadout) {
  Ripper::AudioSpan span{0, leadout};
  track_t first = cdio_get_first_track_num(cdio);
  track_t count = cdio_get_num_tracks(cdio);
  if (first == CDIO_INVALID_TRACK || count == CDIO_INVALID_TRACK) return span;
  for (track_t t = first; t < first + count; ++t) {
    if (cdio_get_track_format(cdio, t) == TRACK_FORMAT_AUDIO) continue;
    lsn_t from = cdio_get_track_lsn(cdio, t);
    lsn_t to = t + 1 < first + count ? cdio_get_track_lsn(cdio, t + 1) : leadout;
    if (from == CDIO_INVALID_LSN || to == CDIO_INVALID_LSN) continue;
    if (from >= static_cast<lsn_t>(end)) {
      int64_t audioEnd =
          from - kSessionGap >= static_cast<int64_t>(end) ? from - kSessionGap : from;
      span.end = std::min(span.end, audioEnd);
    } else if (to <= static_cast<lsn_t>(start)) {
      span.first = std::max<int64_t>(span.first, to);
    }
  }
  return span;
}

}  // namespace

std::unique_ptr<Ripper> Ripper::Open(const Drive& drive, uint32_t start, uint32_t end, int offset) {
  KeepParanoiaBlocksInTheHeap();
  auto r = std::make_unique<Ripper>(Key{});
  r->cdio_ = OpenDrive(drive);
  if (!r->cdio_) return nullptr;
  lsn_t leadout = cdio_get_track_lsn(r->cdio_.get(), CDIO_CDROM_LEADOUT_TRACK);
  if (leadout == CDIO_INVALID_LSN || leadout < 0 || end > static_cast<uint32_t>(leadout))
    return nullptr;
  r->drive_.reset(cdio_cddap_identify_cdio(r->cdio_.get(), CDDA_MESSAGE_FORGETIT, nullptr));
  if (!r->drive_) return nullptr;
  // CD audio comes little-endian from images and MMC drives alike; the
  // library's guess from the data misreads synthetic signals such as noise.
  // Said before the open, it also spares the open the reads of that guess.
  r->drive_->bigendianp = 0;
  if (cdio_cddap_open(r->drive_.get()) != 0) return nullptr;
  cdio_cddap_verbose_set(r->drive_.get(), CDDA_MESSAGE_FORGETIT, CDDA_MESSAGE_FORGETIT);
  r->context_.driveRead = r->drive_->read_audio;
  if (!r->context_.driveRead) return nullptr;
  r->drive_->read_audio = ReadAudioUnlessAborted;
  r->paranoia_.reset(cdio_paranoia_init(r->drive_.get()));
  if (!r->paranoia_) return nullptr;
  cdio_paranoia_modeset(r->paranoia_.get(), PARANOIA_MODE_FULL ^ PARANOIA_MODE_NEVERSKIP);
  r->Shift(start, end, offset, AudioAround(r->cdio_.get(), start, end, leadout));
  // Told where the range ends, paranoia's verification reads stop there
  // instead of going on into audio that nobody asked for.
  cdio_paranoia_seek(r->paranoia_.get(), static_cast<int32_t>(r->next_), SEEK_SET);
  cdio_paranoia_set_range(r->paranoia_.get(), r->next_, static_cast<long>(r->end_) - 1);
  if (drive.image) {
    const char* data = cdio_get_arg(r->cdio_.get(), "source");
    for (std::string file : {drive.path, std::string(data ? data : "")}) {
      FileStamp stamp;
      if (!file.empty() && TakeStamp(file, stamp)) r->imageFiles_.emplace_back(file, stamp);
    }
  } else {
    r->device_ = drive.path;
  }
  r->retries_ = drive.image ? kImageRetries : kDeviceRetries;
  r->context_.end = r->end_;
  r->context_.maxRefusals = r->retries_;
  r->context_.first = r->next_;
  r->context_.read.assign(r->end_ - r->next_, false);
  return r;
}

// Splits the offset into whole sectors (rounded down) and a rest of 0..587
// samples: the reads start that many sectors later and, with a rest, go
// one sector further, each output sector being made of the end of one
// sector read and the start of the next.
void Ripper::Shift(uint32_t start, uint32_t end, int offset, AudioSpan audio) {
  int64_t sectors =
      offset >= 0 ? offset / kSectorSamples : -((-offset + kSectorSamples - 1) / kSectorSamples);
  int64_t rest = offset - sectors * kSectorSamples;
  shiftBytes_ = static_cast<size_t>(rest) * 4;
  shiftedNext_ = start + sectors;
  int64_t shiftedEnd = end + sectors + (rest ? 1 : 0);
  audioFirst_ = audio.first;
  audioEnd_ = audio.end;
  sectorsLeft_ = end - start;
  // Paranoia reads the part of the shifted range that is on the disc.
  int64_t first = std::clamp(shiftedNext_, audioFirst_, audioEnd_);
  int64_t last = std::clamp(shiftedEnd, first, audioEnd_);
  next_ = static_cast<uint32_t>(first);
  end_ = static_cast<uint32_t>(last);
  // The range's samples, in the disc's samples, against the audio there.
  int64_t from = static_cast<int64_t>(start) * kSectorSamples + offset;
  int64_t to = static_cast<int64_t>(end) * kSectorSamples + offset;
  int64_t inFrom = std::clamp(from, audioFirst_ * kSectorSamples, audioEnd_ * kSectorSamples);
  int64_t inTo = std::clamp(to, inFrom, audioEnd_ * kSectorSamples);
  silence_ = static_cast<uint64_t>((to - from) - (inTo - inFrom));
}

void Ripper::StopAllReads(bool stop) {
  gStopAllReads = stop;
}

bool Ripper::AllReadsStopped() {
  return gStopAllReads.load(std::memory_order_relaxed);
}

// Another thread may set the flag while a chunk is being read.
bool Ripper::AbortRequested(bool* abort) {
  return gStopAllReads.load(std::memory_order_relaxed) ||
         (abort && std::atomic_ref<bool>(*abort).load(std::memory_order_relaxed));
}

int Ripper::Read(uint8_t* out, int maxSectors, int* numBytes, bool* abort) {
  *numBytes = 0;
  if (state_ != CR_OK) return state_;
  if (!imageFiles_.empty() && next_ < end_ && DiscRemoved()) {
    errorSector_ = next_;
    errorMessage_ = kDiscRemoved;
    return state_ = CR_READ_ERROR;
  }
  ClearCdioMessage();
  context_.refusals = 0;
  ReadScope scope(&context_, abort);
  int n = 0;
  for (; n < maxSectors && sectorsLeft_ > 0; ++n, --sectorsLeft_) {
    if (AbortRequested(abort)) return Abort(n, numBytes);
    uint8_t* sector = out + static_cast<size_t>(n) * CR_SECTOR_BYTES;
    int result = shiftBytes_ ? ReadShifted(sector, abort) : ReadSector(sector, abort);
    if (result == CR_ABORTED) return Abort(n, numBytes);
    if (result != CR_OK) return result;
  }
  *numBytes = n * CR_SECTOR_BYTES;
  return CR_OK;
}

// One sector of the range from the ends of two sectors read: the one read
// last (kept) and the next.
int Ripper::ReadShifted(uint8_t* out, bool* abort) {
  if (!carried_) {
    if (int result = ReadSector(carry_.data(), abort); result != CR_OK) return result;
    carried_ = true;
  }
  std::memcpy(out, carry_.data() + shiftBytes_, CR_SECTOR_BYTES - shiftBytes_);
  if (int result = ReadSector(carry_.data(), abort); result != CR_OK) return result;
  std::memcpy(out + CR_SECTOR_BYTES - shiftBytes_, carry_.data(), shiftBytes_);
  return CR_OK;
}

// The next sector of the shifted reads: paranoia's, or silence off the
// disc's audio.
int Ripper::ReadSector(uint8_t* out, bool* abort) {
  int64_t sector = shiftedNext_++;
  if (sector < audioFirst_ || sector >= audioEnd_) {
    std::memset(out, 0, CR_SECTOR_BYTES);
    return CR_OK;
  }
  context_.wanted = next_;
  const int16_t* samples = cdio_paranoia_read_limited(paranoia_.get(), OnParanoiaEvent, retries_);
  // The sector in hand may have been given up because of the abort.
  if (AbortRequested(abort) || context_.aborted) return CR_ABORTED;
  if (context_.gaveUp) return Fail(context_.refusedSector);
  if (!samples) return Fail(next_);
  if (context_.skipped) return Fail(context_.skipSector);
  CopyLittleEndian(out, samples);
  ++next_;
  return CR_OK;
}

// The sectors already in the buffer are whole and verified: a stopped
// track keeps them.
int Ripper::Abort(int sectorsRead, int* numBytes) {
  *numBytes = sectorsRead * CR_SECTOR_BYTES;
  return state_ = CR_ABORTED;
}

// Paranoia gave up somewhere from the sector in hand up to `suspect` (it
// reads ahead, and reports a skip where its verified data ends). The first
// of those sectors that the drive refuses to read is the one to name.
int Ripper::Fail(long suspect) {
  long last = std::clamp<long>(suspect, next_, static_cast<long>(end_) - 1);
  errorSector_ = static_cast<uint32_t>(last);
  for (long s = next_; s < last; ++s) {
    if (cdio_read_audio_sectors(cdio_.get(), probe_.data(), s, 1) != DRIVER_OP_SUCCESS) {
      errorSector_ = static_cast<uint32_t>(s);
      break;
    }
  }
  errorMessage_ = DiscRemoved() ? kDiscRemoved : LastCdioMessage();
  return state_ = CR_READ_ERROR;
}

// An image counts as taken out once a file of it is no longer the one
// opened; a drive once it reports no disc.
bool Ripper::DiscRemoved() const {
  if (!device_.empty()) return !DiscIn(device_);
  for (const auto& [path, opened] : imageFiles_) {
    FileStamp now;
    if (!TakeStamp(path, now) || now.device != opened.device || now.inode != opened.inode)
      return true;
  }
  return false;
}

void Ripper::CopyLittleEndian(uint8_t* out, const int16_t* samples) const {
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(out, samples, CR_SECTOR_BYTES);
  } else {
    for (int i = 0; i < CR_SECTOR_BYTES / 2; ++i) {
      auto v = static_cast<uint16_t>(samples[i]);
      out[2 * i] = static_cast<uint8_t>(v);
      out[2 * i + 1] = static_cast<uint8_t>(v >> 8);
    }
  }
}

}  // namespace cdrip
