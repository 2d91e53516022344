// Monkey's Audio (APE) compressor: the library interface the APE writer
// binds to. Plain functions over an opaque handle; every call returns an
// error code from the table below (0 = success) or reports it through an
// out-parameter.
//
// Calls on one handle may come from different threads, but never at the
// same time.
//
// What the compressor writes: file version 3990, 16-bit PCM, mono or stereo,
// any positive sample rate, levels 1000 to 5000, with the frame length
// decoders expect of the level: 73728 blocks up to 3000, 294912 at 4000,
// 1179648 at 5000. Frames follow each other without a gap, since some
// decoders read them one after the other rather than through the seek table.
// Decisions the format leaves to the writer of a file:
// - No stored WAV header unless the caller passes one (format flags 32).
// - MD5 field: over the stored WAV header, the audio area, the WAV tail, the
//   24-byte header and the seek table, which is what verifying tools check.
// - The seek table is reserved ahead of the audio: for maxAudioBytes > 0 it
//   holds ceil(maxAudioBytes / frame bytes) entries, otherwise entries for
//   80 minutes at the stream's rate (at most 2048). Unused entries stay
//   zero. A longer input still works: Finish moves the audio further back
//   to make room.
// - Finish with no sample at all deletes the output file and returns
//   kErrorInputFileTooSmall (a file of zero samples cannot be represented).
// - Destroy without Finish deletes the unfinished file.
// - Full frames are encoded on worker threads, as many as the machine has
//   cores, and written in order by the calls below; the file is the same as
//   one encoded on a single thread. A frame's write may come one or more
//   UnlockBuffer calls after the one that completed it, or in Finish.
// - Any write failure is sticky: it is returned by the UnlockBuffer call or
//   the Finish that met it and by every call after, and Finish then deletes
//   the unusable file. The workers end with Finish or Destroy, whatever
//   happened before.
#pragma once

#include <cstdint>

// The platform's 18-byte wave format record, packed as on disk.
#pragma pack(push, 1)
struct WAVEFORMATEX {
  uint16_t wFormatTag;
  uint16_t nChannels;
  uint32_t nSamplesPerSec;
  uint32_t nAvgBytesPerSec;
  uint16_t nBlockAlign;
  uint16_t wBitsPerSample;
  uint16_t cbSize;
};
#pragma pack(pop)
static_assert(sizeof(WAVEFORMATEX) == 18, "WAVEFORMATEX must be the packed 18-byte record");

struct APECompressor;
using APE_COMPRESS_HANDLE = APECompressor*;

namespace apecompress {

inline constexpr int kErrorSuccess = 0;
inline constexpr int kErrorIoRead = 1000;
inline constexpr int kErrorIoWrite = 1001;
inline constexpr int kErrorInvalidInputFile = 1002;
inline constexpr int kErrorInvalidOutputFile = 1003;
inline constexpr int kErrorInputFileTooLarge = 1004;
inline constexpr int kErrorUnsupportedBitDepth = 1005;
inline constexpr int kErrorUnsupportedSampleRate = 1006;
inline constexpr int kErrorUnsupportedChannelCount = 1007;
inline constexpr int kErrorInputFileTooSmall = 1008;
inline constexpr int kErrorInvalidChecksum = 1009;
inline constexpr int kErrorDecompressingFrame = 1010;
inline constexpr int kErrorInitializingUnmac = 1011;
inline constexpr int kErrorInvalidFunctionParameter = 1012;
inline constexpr int kErrorUnsupportedFileType = 1013;
inline constexpr int kErrorInsufficientMemory = 2000;
inline constexpr int kErrorLoadingMacDll = 3000;
inline constexpr int kErrorLoadingMacInfoDll = 3001;
inline constexpr int kErrorLoadingUnMacDll = 3002;
inline constexpr int kErrorUserStoppedProcessing = 4000;
inline constexpr int kErrorSkipped = 4001;
inline constexpr int kErrorBadParameter = 5000;
inline constexpr int kErrorCompressTooMuchData = 6000;

inline constexpr int kWaveFormatPcm = 1;

}  // namespace apecompress

// Fills `format` as PCM (tag 1, cbSize 0). Returns 0, or
// kErrorInvalidFunctionParameter for a null record or a negative value.
int FillWaveFormatEx(WAVEFORMATEX* format, int sampleRate, int bitsPerSample, int channels);

// Creates a compressor. *errorCode (when not null) receives 0, or
// kErrorInsufficientMemory together with a null handle.
APE_COMPRESS_HANDLE c_APECompress_Create(int* errorCode);

// Releases the compressor; a started, unfinished output file is deleted.
// A null handle is ignored.
void c_APECompress_Destroy(APE_COMPRESS_HANDLE handle);

// Creates `outputFileName` (replacing it) and prepares compression.
// headerData null or headerBytes -1 (or 0): no WAV header is stored.
// maxAudioBytes <= 0: unknown. Errors, checked before the file is touched:
// kErrorInvalidFunctionParameter (null handle, format or name, a second
// Start, headerBytes < -1, header bytes without data, a block align other
// than 2 bytes per channel; the byte rate is not used), kErrorUnsupportedFileType
// (tag not PCM), kErrorUnsupportedBitDepth (not 16), kErrorUnsupportedChannelCount
// (not 1 or 2), kErrorUnsupportedSampleRate (0), kErrorBadParameter (level not
// 1000, 2000, 3000, 4000 or 5000); then kErrorInvalidOutputFile when the file
// cannot be created and kErrorIoWrite when the stored header cannot be written.
int c_APECompress_Start(APE_COMPRESS_HANDLE handle, const char* outputFileName,
                        const WAVEFORMATEX* format, int maxAudioBytes, int compressionLevel,
                        const void* headerData, int headerBytes);

// The compressor's input buffer and, in *bytesAvailable, how many bytes may
// be written there (never 0 while the compressor is started and healthy).
// Returns null and 0 when the compressor is not started, finished or failed.
unsigned char* c_APECompress_LockBuffer(APE_COMPRESS_HANDLE handle, int* bytesAvailable);

// Takes `bytesAdded` bytes written at the locked buffer (interleaved
// little-endian PCM). As soon as a whole frame is buffered it goes to be
// encoded, whatever `process` says (the buffer holds exactly one frame), and
// the frames already encoded are written; the call waits for the oldest
// frame only when every frame buffer is taken. Returns 0,
// kErrorInvalidFunctionParameter (not started, or a count outside 0 .. bytes
// available), kErrorIoWrite (the file could not be written),
// kErrorInputFileTooLarge (the file would pass 4 GiB) or
// kErrorInsufficientMemory.
int c_APECompress_UnlockBuffer(APE_COMPRESS_HANDLE handle, int bytesAdded, int process);

// Encodes the buffered rest, writes every frame still being encoded
// (kErrorIoWrite or kErrorInvalidInputFile when one fails), appends
// `terminatingBytes` bytes of `terminatingData` after the audio (the first
// `wavTerminatingBytes` of them are declared as the WAV tail), writes the
// header and seek table and closes the file. Returns 0;
// kErrorInputFileTooSmall when no sample was ever given (the file is
// deleted); the sticky error of a failed run (the file is deleted);
// kErrorInvalidFunctionParameter for inconsistent terminating arguments
// (nothing is finished then) or when a trailing partial block had to be
// dropped (the file is complete without it).
int c_APECompress_Finish(APE_COMPRESS_HANDLE handle, unsigned char* terminatingData,
                         int terminatingBytes, int wavTerminatingBytes);
