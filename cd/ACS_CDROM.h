// The CD track source and the CD-audio volume component.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cd/SampleSink.h"
#include "pipeline/ACS_Classes.h"
#include "platform/cdrip/Toc.h"

namespace cdvolume {
class TAuxAudio;
}

namespace cdx {

// A track number with an offset of minute, second, frame (always 0:00:00
// here).
struct TCDPosition {
  int32_t Track = 0;
  uint8_t Min = 0, Sec = 0, Frame = 0;
};

enum TCDTrackType : int { ttAudio = 0, ttData = 1 };

struct TCDTrackInfo {
  uint8_t Min = 0, Sec = 0, Frame = 0;
  TCDTrackType TrackType = ttAudio;
};

// Delivers a range of tracks of an audio CD as 16-bit stereo 44100 Hz PCM,
// read digitally through the CD extraction library.
class TCDIn : public TACSInput {
 public:
  static constexpr int kSectorBytes = 2352;
  static constexpr int kChunkBytes = 176400;  // one second, 75 sectors

  explicit TCDIn(TComponent* owner);
  ~TCDIn() override;

  int GetBitsPerSample() override { return 16; }
  int GetChannels() override { return 2; }
  int GetSampleRate() override { return 44100; }
  // After an interrupt the sectors read so far are handed out, then the
  // stream ends; a read error still raises.
  int ReadData(void* buffer, int bufferSize) override;
  // Makes the CD library give up the chunk in hand, retries included; only
  // a drive read already under way is waited for.
  void InterruptRead() override;
  void OpenStream() override;
  void CloseStream() override;

  int CurrentDrive() const { return FCurrentDrive; }
  void SetCurrentDrive(int value);
  int StartTrack() const { return FStartTrack; }
  void SetStartTrack(int value);
  int EndTrack() const { return FEndTrack; }
  void SetEndTrack(int value);

  // What sees every byte ReadData hands out, on the worker, in order;
  // set while the source is closed (the sinks stay until set again).
  void SetSampleSinks(std::vector<TSampleSink*> sinks);

  // Points the source at `track` of the disc in `drive`, whose TOC the
  // caller has read and keeps: OpenStream then reads no TOC of its own.
  // Choosing the drive or the tracks through the properties forgets it.
  void SetDiscTrack(int drive, std::shared_ptr<const cdrip::DiscToc> toc, int track);

  int DriveCount();
  // 0 no disc, 1 ready, 2 audio playing.
  int DriveStatus();
  // Tracks on the disc, -1 when the table of contents cannot be read.
  int TrackCount();
  TCDTrackInfo TrackInfo(int Track);
  // Bytes of the range.
  int TotalSize();
  // Folder that stands for the drive, ending in '/'.
  std::string DriveRoot(int drive);
  // The folders whose disc images are drives, existing or not.
  std::vector<std::string> ImageFolders();
  // Whether listing the drives again would find others, or other discs in
  // them (a cheap look: no TOC is read).
  bool DrivesChanged();
  // Lists the drives again, unless a track is being read; the current
  // drive stays the same drive while it is there (its index may change),
  // else it becomes the first.
  void RefreshDrives();

 private:
  class TDriveLease;
  void SelectDrive();
  void ReleaseDrive();
  // Start and end frame of the range from the table of contents already
  // read; an end before the start gives an empty range.
  void RangeFrames(uint32_t& start, uint32_t& end);
  int RangeSize();
  // The checks and the range of OpenStream, from the TOC the caller gave
  // or from one read now.
  void CheckRangeOfDisc(uint32_t& start, uint32_t& end);
  void CheckRangeOfDrive(uint32_t& start, uint32_t& end);
  void RipNextChunk();

  // "The drive is not ready", or what that means for an image.
  EACSException NotReady() const;
  std::atomic<int32_t> FCurrentDrive{0};
  int32_t FStartTrack = 0;
  int32_t FEndTrack = 0;
  std::atomic<int32_t> DriveUseCount{0};
  TCDPosition StartPos, EndPos;
  std::shared_ptr<const cdrip::DiscToc> DiscToc;
  std::vector<TSampleSink*> Sinks;        // fed as ReadData hands out
  std::vector<TSampleSink*> SinksAsRead;  // fed by the CD library's reader
  int32_t RangeBytes = 0;
  int32_t ChunkCapacity = kChunkBytes;
  std::vector<uint8_t> Staging;
  // The CD library's abort flag: written by any thread, read by the library
  // during a chunk, and only ever accessed through std::atomic_ref.
  alignas(std::atomic_ref<bool>::required_alignment) bool Interrupted = false;
};

// The volume of the machine's CD-audio line; the program sets it to 0 at
// start so analogue CD playback stays quiet while it runs.
class TCDPlayer : public TComponent {
 public:
  explicit TCDPlayer(TComponent* owner);
  // With the auxiliary-audio devices to use (tests give their own).
  TCDPlayer(TComponent* owner, std::unique_ptr<cdvolume::TAuxAudio> aux);
  ~TCDPlayer() override;

  int CDAudioDevice() const { return FCDAudioDevice; }
  uint16_t LVolume();
  void SetLVolume(uint16_t value);
  uint16_t RVolume();
  void SetRVolume(uint16_t value);

 private:
  uint32_t Volume();
  void SetHalf(uint16_t value, int shift);

  std::unique_ptr<cdvolume::TAuxAudio> aux_;
  int FCDAudioDevice = -1;
  // The line's level before this player first changed it, put back when
  // the player goes: the mixer is the machine's, not the program's.
  std::optional<uint32_t> levelBefore_;
};

}  // namespace cdx
