// Test discs: CUE/BIN images with generated, deterministic tracks.
//
// Layout of every image written here: one BIN file, tracks back to back
// with no pregaps, every track's INDEX 01 at its first sector, so track 1
// starts at sector 0 and track n + 1 starts where track n ends. The lead-out
// is the sector after the last track. Audio sectors hold 588 stereo frames of
// 16-bit little-endian PCM (left first), exactly what a rip must give back.
// Data tracks are raw 2352-byte Mode 1 sectors (sync, header, user data);
// their EDC/ECC fields are left zero: the images are for reading, not burning.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace cdx::discmaker {

constexpr int kSectorBytes = 2352;
constexpr int kSectorsPerSecond = 75;
constexpr int kFramesPerSector = kSectorBytes / 4;  // stereo 16-bit frames
constexpr int kSampleRate = 44100;

enum class TrackKind { Audio, Data };

enum class Signal {
  Sine,     // frequency (left) / rightFrequency (right), amplitude
  Noise,    // uniform white noise from `seed`, scaled by amplitude
  Silence,  // all zero
  Square,   // +amplitude / -amplitude half periods; amplitude 1 is full scale
  RawFile,  // 16-bit LE stereo PCM from `path`, zero-padded to whole sectors
};

struct TrackSpec {
  TrackKind kind = TrackKind::Audio;
  Signal signal = Signal::Sine;
  // Length in sectors (75 per second). For RawFile, 0 means "as long as the
  // file", rounded up to whole sectors.
  uint32_t sectors = kSectorsPerSecond;
  double frequency = 440.0;
  double rightFrequency = 0.0;  // 0: same as `frequency`
  double amplitude = 0.5;       // 0..1 of full scale
  uint32_t seed = 1;            // Noise, and the user data of data tracks
  uint32_t fadeSectors = 0;     // linear fade in and out (Sine only)
  std::string path;             // RawFile
};

// Convenience constructors for tests and the tool.
TrackSpec Sine(uint32_t sectors, double frequency, double amplitude = 0.5,
               double rightFrequency = 0.0);
TrackSpec Noise(uint32_t sectors, uint32_t seed, double amplitude = 1.0);
TrackSpec Silence(uint32_t sectors);
TrackSpec Square(uint32_t sectors, double frequency, double amplitude = 1.0);
TrackSpec Data(uint32_t sectors, uint32_t seed = 1);
TrackSpec Raw(const std::string& path, uint32_t sectors = 0);

// Length in sectors that `track` will have in the image (resolves RawFile
// lengths of 0). Throws std::runtime_error for an unreadable raw file.
uint32_t TrackSectors(const TrackSpec& track);

// Start sector (0-based from the start of the program area) of every track,
// then the lead-out: tracks.size() + 1 values.
std::vector<uint32_t> StartSectors(const std::vector<TrackSpec>& tracks);

// Fills sectors of one track in order, one block at a time, without
// allocating per block.
class TrackWriter {
 public:
  TrackWriter(const TrackSpec& track, uint32_t startSector);

  // Writes the next `count` sectors (count x 2352 bytes) into `out`.
  void Next(uint8_t* out, uint32_t count);
  uint32_t Remaining() const { return total_ - done_; }

 private:
  void AudioSector(uint8_t* out);
  void DataSector(uint8_t* out);
  int16_t Sample(int channel, uint64_t frame);
  double Fade(uint64_t frame) const;

  TrackSpec spec_;
  uint32_t start_;
  uint32_t total_;
  uint32_t done_ = 0;
  uint32_t noiseState_;
  std::ifstream raw_;
};

// The exact bytes of one track as stored in the image: for an audio track
// the PCM a rip of it must deliver.
std::vector<uint8_t> TrackBytes(const TrackSpec& track, uint32_t startSector);

// The CUE sheet text for `tracks` with the BIN file name `binName`.
std::string CueSheet(const std::vector<TrackSpec>& tracks, const std::string& binName);

// Writes `cuePath` and the BIN beside it (same name, extension .bin).
// Returns the BIN path. Throws std::runtime_error on any I/O failure.
std::string WriteImage(const std::string& cuePath, const std::vector<TrackSpec>& tracks);

// Writes the image a drive with a read offset of `offset` samples would
// give of the disc `tracks`: raw sample j of the BIN is sample j - offset
// of the tracks' audio (zeros where that lies off the disc), so that a rip
// corrected by +offset gives the tracks back, but for silence at the disc's
// edge. Audio tracks only; the audio is held in memory. Returns the BIN
// path; throws std::runtime_error as WriteImage does.
std::string WriteShiftedImage(const std::string& cuePath, const std::vector<TrackSpec>& tracks,
                              int offset);

// The demo disc built with the program: four short, quiet two-tone tracks.
std::vector<TrackSpec> DemoDisc();

// Parses one track description of the command-line tool, for example
// "sine:len=20s,freq=440,right=660,amp=0.3,fade=0.5s", "noise:len=150,seed=7",
// "silence:len=30", "square:len=2s,freq=1000", "data:len=300",
// "raw:file=x.pcm". Lengths are sectors, or seconds with a trailing "s".
// Throws std::invalid_argument with a readable message on a bad description.
TrackSpec ParseTrack(const std::string& text);

}  // namespace cdx::discmaker
