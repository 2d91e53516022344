#include "writers/ACS_Wave.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "pipeline/Rounding.h"
#include "writers/LittleEndian.h"

namespace cdx {

namespace {

// --- Little-endian helpers ----------------------------------------------

void PutLE16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

void PutLE32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

void PutId(uint8_t* p, const char* id) {
  std::memcpy(p, id, 4);
}

// --- Header reader --------------------------------------------------------

// Identifiers match case-insensitively: each byte equal to the expected one
// or differing from it by exactly 0x20.
bool SameId(const uint8_t* id, const char* expected) {
  for (int i = 0; i < 4; ++i) {
    int d = id[i] - static_cast<uint8_t>(expected[i]);
    if (d != 0 && d != 0x20 && d != -0x20) return false;
  }
  return true;
}

// Hands out the bytes of a header in order and refuses anything that would
// take it past kWaveHeaderLimit or past the end of the file.
class THeaderCursor {
 public:
  explicit THeaderCursor(const TWaveByteReader& read) : read_(read) {}

  bool Take(void* buffer, int64_t count) {
    if (count < 0 || consumed_ + count > kWaveHeaderLimit) return false;
    if (read_(buffer, count) != count) return false;
    consumed_ += count;
    return true;
  }
  bool Skip(int64_t count) {
    if (consumed_ + count > kWaveHeaderLimit) return false;
    uint8_t scratch[256];
    while (count > 0) {
      int64_t n = std::min<int64_t>(count, sizeof scratch);
      if (!Take(scratch, n)) return false;
      count -= n;
    }
    return true;
  }
  bool UInt32(uint32_t& value) {
    uint8_t b[4];
    if (!Take(b, 4)) return false;
    value = GetLE32(b);
    return true;
  }
  // Slides one byte at a time until the last four bytes read are `id`.
  bool SlideTo(const char* id) {
    uint8_t w[4];
    if (!Take(w, 4)) return false;
    while (!SameId(w, id)) {
      std::memmove(w, w + 1, 3);
      if (!Take(w + 3, 1)) return false;
    }
    return true;
  }
  // Skips whole chunks until one named `id`; `current` holds the identifier
  // read last, and on success the matching one.
  bool FindChunk(uint8_t* current, const char* id) {
    while (!SameId(current, id)) {
      uint32_t size;
      if (!UInt32(size) || !Skip(size) || !Take(current, 4)) return false;
    }
    return true;
  }
  int64_t Consumed() const { return consumed_; }

 private:
  const TWaveByteReader& read_;
  int64_t consumed_ = 0;
};

TWavType TypeOfTag(uint16_t tag) {
  if (tag == 1) return wtPCM;
  if (tag == 0x11) return wtDVIADPCM;
  return wtUnsupported;
}

// Reads "fmt " after its identifier: size and contents.
bool ReadFormat(THeaderCursor& in, TWaveHeaderInfo& info) {
  uint32_t size;
  uint8_t fmt[16];
  if (!in.UInt32(size) || size < sizeof fmt) return false;
  if (!in.Take(fmt, sizeof fmt) || !in.Skip(size - sizeof fmt)) return false;
  info.Type = TypeOfTag(GetLE16(fmt));
  info.Channels = GetLE16(fmt + 2);
  info.SampleRate = GetLE32(fmt + 4);
  info.BlockAlign = GetLE16(fmt + 12);
  info.BitsPerSample = GetLE16(fmt + 14);
  return info.Type != wtUnsupported;
}

// Reads "fact" after its identifier: size and the sample count.
bool ReadFact(THeaderCursor& in, TWaveHeaderInfo& info) {
  uint32_t size;
  if (!in.UInt32(size) || size < 4) return false;
  info.FactPos = in.Consumed();
  return in.UInt32(info.FactValue) && in.Skip(size - 4);
}

bool ReadHeader(THeaderCursor& in, TWaveHeaderInfo& info) {
  uint8_t id[4];
  if (!in.SlideTo("RIFF")) return false;
  info.RiffStart = in.Consumed() - 4;
  if (!in.UInt32(info.RiffSize) || !in.SlideTo("WAVE")) return false;
  if (!in.Take(id, 4) || !in.FindChunk(id, "fmt ") || !ReadFormat(in, info)) return false;
  if (!in.Take(id, 4)) return false;
  if (info.Type == wtDVIADPCM) {
    if (!in.FindChunk(id, "fact") || !ReadFact(in, info) || !in.Take(id, 4)) return false;
  }
  if (!in.FindChunk(id, "data")) return false;
  info.DataSizePos = in.Consumed();
  if (!in.UInt32(info.DataSize)) return false;
  info.DataStart = in.Consumed();
  return true;
}

// --- Append layout ---------------------------------------------------------

constexpr char kCannotAppend[] = "Cannot append data to this .wav file.";

// Why the data of `h` does not end where appended audio can start: on a
// frame boundary (IMA ADPCM: a block boundary); nullptr when it does.
const char* DataEndFault(const TWaveHeaderInfo& h) {
  if (h.Type == wtDVIADPCM) {
    // Blocks that cannot hold the file's channels are blocks no decoder reads.
    if (!ImaBlockSizeUsable(h.BlockAlign, h.Channels))
      return "Its IMA ADPCM block size does not fit its channels.";
    return h.DataSize % h.BlockAlign ? "Its data is not a whole number of blocks." : nullptr;
  }
  if (h.BlockAlign == 0 || h.BlockAlign != h.Channels * ((h.BitsPerSample + 7) / 8))
    return "Its block align does not match its format.";
  return h.DataSize % h.BlockAlign ? "Its data is not a whole number of frames." : nullptr;
}

// Why appending to a file of `length` bytes with header `h` would damage it,
// or nullptr. Appending writes after the last byte and then rewrites the
// sizes at byte 4 and at h.DataSizePos, so RIFF must start the file and the
// data chunk must end it.
const char* AppendLayoutFault(const TWaveHeaderInfo& h, int64_t length) {
  if (h.RiffStart != 0) return "It has bytes before its RIFF header.";
  if (int64_t{h.RiffSize} + 8 != length) return "Its RIFF size does not match its length.";
  if (h.DataStart + int64_t{h.DataSize} != length) return "Its data chunk does not end the file.";
  return DataEndFault(h);
}

// --- IMA ADPCM tables -----------------------------------------------------

constexpr std::array<int, 89> kStepTable = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,   21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,   73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,  253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,  876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749, 3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493, 10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
static_assert(kStepTable[88] == 32767, "the step table has 89 entries");

constexpr std::array<int, 16> kIndexTable = {-1, -1, -1, -1, 2, 4, 6, 8,
                                             -1, -1, -1, -1, 2, 4, 6, 8};

// Byte of the block that holds the code of a channel's i-th encoded sample.
int CodeByte(int i, int channel, int channels) {
  if (channels == 1) return 4 + i / 2;
  int h = i / 2;
  return 8 + (h / 4) * 8 + h % 4 + 4 * channel;
}

}  // namespace

TWaveHeaderInfo ReadWaveHeader(const TWaveByteReader& read) {
  THeaderCursor in(read);
  TWaveHeaderInfo info;
  if (!ReadHeader(in, info)) return TWaveHeaderInfo{};
  return info;
}

TWaveHeaderInfo ReadWaveHeader(TFileStream& stream) {
  stream.Seek(0, SEEK_SET);
  return ReadWaveHeader(
      [&stream](void* buffer, int64_t count) { return stream.Read(buffer, count); });
}

// --- IMA ADPCM encoder ------------------------------------------------------

uint8_t EncodeImaSample(TImaChannel& state, int sample) {
  int step = kStepTable[state.StepIndex];
  int diff = sample - state.Predictor;
  uint8_t code = 0;
  if (diff < 0) {
    code = 8;
    diff = -diff;
  }
  if (diff >= step) {
    code |= 4;
    diff -= step;
  }
  if (diff >= step / 2) {
    code |= 2;
    diff -= step / 2;
  }
  if (diff >= step / 4) code |= 1;
  int delta = step / 8;
  if (code & 4) delta += step;
  if (code & 2) delta += step / 2;
  if (code & 1) delta += step / 4;
  if (code & 8) delta = -delta;
  // The lower limit is -32767 on purpose, so the predictor stays symmetric.
  state.Predictor = std::clamp(state.Predictor + delta, -32767, 32767);
  state.StepIndex = std::clamp(state.StepIndex + kIndexTable[code], 0, 88);
  return code;
}

uint16_t ImaSamplesPerBlock(int blockSize, int channels) {
  return static_cast<uint16_t>((2 / channels) * (blockSize - 4 * channels) + 1);
}

int ImaBlockInputBytes(int blockSize, int channels) {
  return (blockSize - 4 * channels) * 4 + 2 * channels;
}

bool ImaBlockSizeUsable(int blockSize, int channels) {
  if (channels == 1) return blockSize >= 8 && blockSize % 4 == 0 && blockSize <= 32768;
  if (channels == 2) return blockSize >= 16 && blockSize % 8 == 0 && blockSize <= 65535;
  return false;
}

void EncodeImaBlock(const uint8_t* input, int channels, int blockSize, TImaChannel* state,
                    uint8_t* block) {
  std::memset(block, 0, static_cast<size_t>(blockSize));
  // Each channel's first sample goes unchanged into its header.
  for (int c = 0; c < channels; ++c) {
    int first = SampleAt(input, c);
    state[c].Predictor = first;
    PutLE16(block + 4 * c, static_cast<uint16_t>(first));
    block[4 * c + 2] = static_cast<uint8_t>(state[c].StepIndex);
  }
  int encoded = ImaSamplesPerBlock(blockSize, channels) - 1;
  for (int c = 0; c < channels; ++c) {
    for (int i = 0; i < encoded; ++i) {
      uint8_t code = EncodeImaSample(state[c], SampleAt(input, (i + 1) * channels + c));
      block[CodeByte(i, c, channels)] |= (i & 1) ? static_cast<uint8_t>(code << 4) : code;
    }
  }
}

// --- TWaveOut ---------------------------------------------------------------

TWaveOut::TWaveOut(TComponent* owner) : TACSFileOut(owner) {}

void TWaveOut::SetWavType(TWavType value) {
  if (Busy()) return;
  if (CanWrite(value)) FWavType = value;
}

void TWaveOut::SetBlockSize(uint16_t value) {
  if (Busy() || value == 0 || value % 4 != 0) return;
  FBlockSize = value;
}

void TWaveOut::SetFileMode(TFileOutputMode value) {
  if (value == foRewrite || value == foAppend) FFileMode = value;
}

void TWaveOut::StartFile(TACSInput& input) {
  std::optional<TWaveHeaderInfo> appendTo = ReadAppendHeader(FFileMode == foAppend);
  FRunType = FWavType;
  FRunChannels = input.GetChannels();
  if (FRunType == wtPCM)
    BeginPcm(input, appendTo);
  else
    BeginAdpcm(input, appendTo);
}

std::optional<TWaveHeaderInfo> TWaveOut::ReadAppendHeader(bool append) {
  if (!append || FStream->Size() == 0) return std::nullopt;
  TWaveHeaderInfo header = ReadWaveHeader(*FStream);
  if (header.Type != wtPCM && header.Type != wtDVIADPCM) throw EACSException(kCannotAppend);
  if (const char* fault = AppendLayoutFault(header, FStream->Size()))
    throw EACSException(std::string(kCannotAppend) + " " + fault);
  // The file decides the type and the block size, whatever the properties said.
  FWavType = header.Type;
  FBlockSize = header.BlockAlign;
  return header;
}

void TWaveOut::BeginPcm(TACSInput& input, const std::optional<TWaveHeaderInfo>& appendTo) {
  if (!appendTo) {
    WritePcmHeader(input);
    FPlaces = {40, 0, 44};
    return;
  }
  if (static_cast<uint32_t>(input.GetSampleRate()) != appendTo->SampleRate ||
      input.GetBitsPerSample() != appendTo->BitsPerSample ||
      input.GetChannels() != appendTo->Channels)
    throw EACSException("Cannot append data in different audio format.");
  FPlaces = {appendTo->DataSizePos, 0, appendTo->DataStart};
  FStream->Seek(0, SEEK_END);
}

void TWaveOut::BeginAdpcm(TACSInput& input, const std::optional<TWaveHeaderInfo>& appendTo) {
  if (input.GetBitsPerSample() != 16) throw EACSException("Cannot encode 8 bit sound into ADPCM.");
  int channels = input.GetChannels();
  if (appendTo) {
    if (static_cast<uint32_t>(input.GetSampleRate()) != appendTo->SampleRate ||
        channels != appendTo->Channels)
      throw EACSException("Cannot append data in different audio format.");
    FPlaces = {appendTo->DataSizePos, appendTo->FactPos, appendTo->DataStart};
    FStream->Seek(0, SEEK_END);
  } else {
    if (channels != 1 && channels != 2)
      throw EACSException("IMA ADPCM takes mono or stereo input only.");
    if (!ImaBlockSizeUsable(FBlockSize, channels))
      throw EACSException("Block size " + std::to_string(FBlockSize) +
                          (channels == 1 ? " cannot hold mono IMA ADPCM blocks: it must be a "
                                           "multiple of 4 from 8 to 32768."
                                         : " cannot hold stereo IMA ADPCM blocks: it must be a "
                                           "multiple of 8 from 16 on."));
    WriteAdpcmHeader(input);
    FAdpcmState = {};
    FPlaces = {56, 48, 60};
  }
  FAdpcmInput.resize(static_cast<size_t>(ImaBlockInputBytes(FBlockSize, channels)));
  FAdpcmBlock.resize(FBlockSize);
}

void TWaveOut::WritePcmHeader(TACSInput& input) {
  int32_t size = input.Size();
  auto channels = static_cast<uint16_t>(input.GetChannels());
  auto bits = static_cast<uint16_t>(input.GetBitsPerSample());
  auto rate = static_cast<uint32_t>(input.GetSampleRate());
  auto blockAlign = static_cast<uint16_t>(bits * channels / 8);
  std::array<uint8_t, 44> h{};
  PutId(&h[0], "RIFF");
  PutLE32(&h[4], static_cast<uint32_t>(size) + 36);
  PutId(&h[8], "WAVE");
  PutId(&h[12], "fmt ");
  PutLE32(&h[16], 16);
  PutLE16(&h[20], 1);
  PutLE16(&h[22], channels);
  PutLE32(&h[24], rate);
  PutLE32(&h[28], rate * blockAlign);
  PutLE16(&h[32], blockAlign);
  PutLE16(&h[34], bits);
  PutId(&h[36], "data");
  PutLE32(&h[40], static_cast<uint32_t>(size));
  FStream->Write(h.data(), h.size());
}

void TWaveOut::WriteAdpcmHeader(TACSInput& input) {
  int channels = input.GetChannels();
  int rate = input.GetSampleRate();
  uint16_t perBlock = ImaSamplesPerBlock(FBlockSize, channels);
  // Estimates: EndOutput replaces them with what was written.
  int32_t samples = input.Size() / (input.GetBitsPerSample() / 8) / channels;
  int32_t dataSize =
      RoundHalfEven(static_cast<double>(samples) / perBlock) * static_cast<int32_t>(FBlockSize);
  std::array<uint8_t, 60> h{};
  PutId(&h[0], "RIFF");
  PutLE32(&h[4], static_cast<uint32_t>(dataSize) + 52);
  PutId(&h[8], "WAVE");
  PutId(&h[12], "fmt ");
  PutLE32(&h[16], 20);
  PutLE16(&h[20], 0x11);
  PutLE16(&h[22], static_cast<uint16_t>(channels));
  PutLE32(&h[24], static_cast<uint32_t>(rate));
  PutLE32(&h[28], static_cast<uint32_t>(rate / perBlock * FBlockSize));
  PutLE16(&h[32], FBlockSize);
  PutLE16(&h[34], 4);
  PutLE16(&h[36], 2);
  PutLE16(&h[38], perBlock);
  PutId(&h[40], "fact");
  PutLE32(&h[44], 4);
  PutLE32(&h[48], static_cast<uint32_t>(samples));
  PutId(&h[52], "data");
  PutLE32(&h[56], static_cast<uint32_t>(dataSize));
  FStream->Write(h.data(), h.size());
}

bool TWaveOut::WriteBlock() {
  // A failed read or write leaves here as an exception: the core ends the
  // run through its failure path, which still completes the header.
  return FRunType == wtPCM ? WritePcmBlock() : WriteAdpcmBlock();
}

bool TWaveOut::WritePcmBlock() {
  int n = ReadInput(FPcmBuffer.data(), kPcmBufferSize);
  if (n > 0) FStream->Write(FPcmBuffer.data(), n);
  return n > 0;
}

bool TWaveOut::WriteAdpcmBlock() {
  ReadAdpcmBlockInput();
  EncodeImaBlock(FAdpcmInput.data(), FRunChannels, FBlockSize, FAdpcmState.data(),
                 FAdpcmBlock.data());
  FStream->Write(FAdpcmBlock.data(), FBlockSize);
  return true;
}

void TWaveOut::ReadAdpcmBlockInput() {
  // The last block is padded with silence; an input that ends on a block
  // boundary still gets one silent block.
  std::fill(FAdpcmInput.begin(), FAdpcmInput.end(), 0);
  int wanted = static_cast<int>(FAdpcmInput.size());
  int got = 0;
  while (got < wanted) {
    int n = ReadInput(FAdpcmInput.data() + got, wanted - got);
    if (n <= 0) {
      EndOfInput = true;
      return;
    }
    got += n;
  }
}

void TWaveOut::FinishFile() {
  CompleteHeader();
}

void TWaveOut::CompleteHeader() {
  // From the real length, so the fields describe what is in the file after
  // a Stop, an unknown Size or a failed write alike.
  int64_t length = FStream->Size();
  auto dataSize = static_cast<uint32_t>(std::max<int64_t>(0, length - FPlaces.DataStart));
  PutUInt32At(FPlaces.DataSizePos, dataSize);
  if (FRunType == wtDVIADPCM) {
    uint32_t blocks = dataSize / FBlockSize;
    PutUInt32At(FPlaces.FactPos, ImaSamplesPerBlock(FBlockSize, FRunChannels) * blocks);
  }
  PutUInt32At(4, static_cast<uint32_t>(length - 8));
}

void TWaveOut::PutUInt32At(int64_t position, uint32_t value) {
  uint8_t b[4];
  PutLE32(b, value);
  FStream->Seek(position, SEEK_SET);
  FStream->Write(b, 4);
}

}  // namespace cdx
