// One paranoia read of a sector range.
#pragma once

#include <cdio/paranoia/cdda.h>
#include <cdio/paranoia/paranoia.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/cdrip/Drives.h"
#include "platform/cdrip/FileStamp.h"

namespace cdrip {

class Ripper {
 public:
  // Opens paranoia on sectors [start, end) of `drive`, start < end; nullptr
  // when the drive has no readable audio disc or the range passes the
  // lead-out. A read offset shifts the reads: sample i of the range is
  // sample i + `offset` of the disc, silence where the disc has no audio.
  static std::unique_ptr<Ripper> Open(const Drive& drive, uint32_t start, uint32_t end,
                                      int offset = 0);

  // Reads up to `maxSectors` sectors into `out`; see CR_RipChunk. A disc
  // taken out fails the read like an unreadable sector, its message
  // kDiscRemoved: for an image, one of its files deleted or replaced (the
  // open file would still read); for a drive, found without a disc once a
  // read failed.
  int Read(uint8_t* out, int maxSectors, int* numBytes, bool* abort);
  static constexpr const char* kDiscRemoved = "the disc was removed";
  uint32_t ErrorSector() const { return errorSector_; }
  // Samples of the range that lie outside the disc's audio after the shift
  // and are handed out as digital silence.
  uint64_t SilenceSamples() const { return silence_; }
  // Reads refused to paranoia once the chunk was given up: what it cost to
  // make paranoia let go of it.
  int RefusedReads() const { return context_.readsRefused; }
  // Why that sector failed, in libcdio's words; "" when it gave none.
  const std::string& ErrorMessage() const { return errorMessage_; }
  // While set, every read in progress, on any thread, gives its chunk up as
  // an abort would: the library is being closed under it.
  static void StopAllReads(bool stop);
  static bool AllReadsStopped();
  // StopAllReads, or `abort` (nullptr for none) set by any thread.
  static bool AbortRequested(bool* abort);

  using ReadAudioFn = long (*)(cdrom_drive_t*, void*, lsn_t, long);
  // Sectors [first, end) of the disc that hold the audio a shift may reach.
  struct AudioSpan {
    int64_t first = 0, end = 0;
  };

  // What one Read shares with the functions paranoia calls back (they have
  // no user pointer, so they find this through a thread-local pointer).
  struct ReadContext {
    bool skipped = false;  // paranoia gave a sector up
    long skipSector = 0;
    bool* abort = nullptr;            // the caller's flag, during a Read
    ReadAudioFn driveRead = nullptr;  // the drive's own read of sectors
    long end = 0;                     // of the range
    int refusals = 0;                 // reads the drive refused during a Read
    int maxRefusals = 0;
    int readsRefused = 0;    // once given up, for good
    bool aborted = false;    // an abort was seen during a read; for good
    bool gaveUp = false;     // after too many refusals: every read fails
    long refusedSector = 0;  // the last sector of the read refused last
    long wanted = 0;         // the sector paranoia is to hand out next
    // The range's sectors from `first` on that a drive read brought.
    long first = 0;
    std::vector<bool> read;
  };

 private:
  struct Key {};

 public:
  explicit Ripper(Key) {}

 private:
  struct DriveCloser {
    void operator()(cdrom_drive_t* d) const { cdio_cddap_close_no_free_cdio(d); }
  };
  struct ParanoiaCloser {
    void operator()(cdrom_paranoia_t* p) const { cdio_paranoia_free(p); }
  };

  void Shift(uint32_t start, uint32_t end, int offset, AudioSpan audio);
  int ReadShifted(uint8_t* out, bool* abort);
  int ReadSector(uint8_t* out, bool* abort);
  int Abort(int sectorsRead, int* numBytes);
  int Fail(long suspect);
  bool DiscRemoved() const;
  void CopyLittleEndian(uint8_t* out, const int16_t* samples) const;

  // Declared in this order so that they close in the reverse one.
  CdioPtr cdio_;
  std::unique_ptr<cdrom_drive_t, DriveCloser> drive_;
  std::unique_ptr<cdrom_paranoia_t, ParanoiaCloser> paranoia_;
  // The device, or the image's files as they were when opened.
  std::string device_;
  std::vector<std::pair<std::string, FileStamp>> imageFiles_;
  // Paranoia's sectors: the next one to read and the end of its range.
  uint32_t next_ = 0, end_ = 0;
  // The shifted reads, in sectors of the disc (may start before 0): the
  // next one, the first and end of the disc's audio around the range;
  // sectors outside it are silence.
  int64_t shiftedNext_ = 0, audioFirst_ = 0, audioEnd_ = 0;
  uint32_t sectorsLeft_ = 0;  // of the range, to hand out
  size_t shiftBytes_ = 0;     // the offset's part below a sector, in bytes
  bool carried_ = false;      // `carry_` holds the sector read last
  uint64_t silence_ = 0;
  std::array<uint8_t, CR_SECTOR_BYTES> carry_{};
  int retries_ = 0;
  int state_ = 0;  // CR_OK, or the sticky CR_READ_ERROR / CR_ABORTED
  uint32_t errorSector_ = 0;
  std::string errorMessage_;
  ReadContext context_;
  std::array<uint8_t, CR_SECTOR_BYTES> probe_{};
};

}  // namespace cdrip
