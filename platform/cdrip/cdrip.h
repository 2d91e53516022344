// The CD extraction library: drives, tables of contents and paranoia reads
// on libcdio and libcdio-paranoia.
//
// Drives, in this order: the machine's CD/DVD drives as libcdio lists them;
// then disc images (CUE/BIN, cdrdao TOC, NRG) found in the image folders:
// `discs` beside the running program (the build tree's demo disc), the
// prefix's share/cd-extractor/discs when the program is installed in its
// bin folder, and $XDG_DATA_HOME/cd-extractor/discs (default
// ~/.local/share/cd-extractor/discs), each folder's images sorted by file
// name; then the images added with CR_AddImageDrive.
//
// Every drive has a root folder, $XDG_RUNTIME_DIR/cd-extractor/drives/<name>/
// (fallback ${TMPDIR:-/tmp}/cd-extractor-<uid>/drives/<name>/, used only
// when that folder is the user's own real folder of mode 0700; otherwise a
// fresh private folder cd-extractor-<uid>-XXXXXX beside it, named on
// stderr), <name> being the device name (sr0) or the image's file name
// without extension, with a leading "." and any "/" made "_" ("-2", "-3"...
// is appended when a name is taken). The root holds one TrackNN.cda file per
// audio track of the disc (see CdaFile.h for the exact bytes), refreshed by
// every TOC read and removed when the drive is found without a disc.
// Listing the drives (CR_Init, CR_Refresh) also removes the folders of
// drives gone since, unless another process still lists them or they hold
// other files than TrackNN.cda (see DriveFolders.h).
//
// Environment, mainly for tests:
//   CDX_DISCS_DIR    colon-separated folders searched for images INSTEAD of
//                    the two default folders (empty: no image folders)
//   CDX_DRIVES_DIR   folder that holds the drive roots instead of
//                    .../cd-extractor/drives
//   CDX_NO_DEVICES   when set to anything but "" or "0", real drives are not
//                    listed, so image drives start at index 0
//   CDX_IMAGE_SPEED  a speed factor (0 to 1000) for every image drive, over
//                    the one its settings give; see Pacing.h
//
// Threads: queries run on one thread, ripping on another, never both on the
// same drive at once; the library's state is guarded by mutexes anyway.
// An open ripper reads ahead on a thread of its own from the first
// CR_RipChunk on, a few seconds of audio at most (ReadAhead.h), so the
// drive reads while the caller works on the chunk before.
// Between processes the library shares only the drive folders, each held
// under a file lock while a process lists its drive.
//
// Failures: libcdio's messages are kept to explain failures, never printed,
// and never end the program (its own handler would exit on an I/O error).
// CR_DeInit may run from exit handlers during a read in progress.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/cdrip/DiscText.h"
#include "platform/cdrip/Toc.h"

namespace cdrip {

// Results. Everything but CR_OK is a failure.
constexpr int CR_OK = 0;
constexpr int CR_ERROR = 1;       // no disc, unreadable TOC, bad argument
constexpr int CR_READ_ERROR = 2;  // a sector could not be read; see CR_GetLastErrorSector
constexpr int CR_ABORTED = 3;     // the abort flag was set
constexpr int CR_NOT_OPEN = 4;    // no ripper is open (or opening it failed)

constexpr uint8_t CR_FLAG_AUDIO = 0x10;
constexpr uint8_t CR_FLAG_DATA = 0x14;
constexpr uint8_t CR_LEADOUT_TRACK = 0xAA;
constexpr int CR_SECTOR_BYTES = 2352;

// An image of a search folder that is no drive, and why.
struct SkippedImage {
  std::string path;
  std::string reason;  // "its data file /x/a.bin is a folder"
};

struct TOCENTRY {
  uint32_t dwStartSector;  // first frame, 0-based from the start of the program area
  uint8_t btFlag;          // CR_FLAG_AUDIO or CR_FLAG_DATA
  uint8_t btTrackNumber;   // the track's number; CR_LEADOUT_TRACK for the lead-out
  uint8_t reserved1 = 0;
  uint8_t reserved2 = 0;
};
static_assert(sizeof(TOCENTRY) == 8);

// Reads "nActive" of section "CD-ROM" of `iniPath` as the active drive (0
// when missing or out of range) and lists the drives afresh; creates their
// root folders and fills those of image drives (reading an image's TOC is
// cheap; real drives are read at their first CR_ReadToc). Returns CR_OK.
int CR_Init(const char* iniPath);
// Closes an open ripper and forgets the drives. A read in progress on
// another thread is cut short as an abort would and waited for; one on this
// thread (an exit handler run from inside it) is left alone.
void CR_DeInit();
// Lists the drives again, keeping the images added with CR_AddImageDrive
// and the active drive when it is still there. Returns CR_OK.
int CR_Refresh();
// The folders searched for images, in their order (see CDX_DISCS_DIR),
// whether they exist or not.
std::vector<std::string> CR_GetImageFolders();
// Whether CR_Refresh would now find other drives than the last CR_Init or
// CR_Refresh did, as far as a cheap look tells: a drive added or gone, a
// disc put in or taken out, a file of an image folder added, removed or
// changed. Reads no TOC and spins no disc up, so it may be asked every few
// seconds; it stays true until the drives are listed again.
bool CR_DrivesChanged();
// The files of the search folders named like images (.cue, .toc, .nrg) that
// the last CR_Init or CR_Refresh did not make drives: those that are no
// regular file or name one that is not (never opened, so a FIFO cannot
// block), and those libcdio cannot read. Sorted as the drives are.
std::vector<SkippedImage> CR_GetSkippedImages();

int CR_GetNumCDROM();
// Ignores an index outside 0 .. CR_GetNumCDROM() - 1.
void CR_SetActiveCDROM(int index);
int CR_GetActiveCDROM();

// Stores 0 in *status when the active drive holds a readable disc,
// 1 otherwise (and then removes the drive's .cda files). Returns CR_OK.
int CR_IsMediaLoaded(int* status);
// True while a real drive plays audio; always false for an image.
bool CR_IsAudioPlaying();

// Reads the TOC of the active drive: CR_OK, or CR_ERROR when there is no
// disc or the TOC is unusable (no tracks, starts not increasing). Refreshes
// the drive's .cda files either way.
int CR_ReadToc();
// Reads the TOC of the active drive with what the disc says of its tracks
// (pregaps, flags, ISRCs) and its MCN into `toc`, refreshes the drive's
// .cda files as CR_ReadToc does, and notes how the disc looked, for
// CR_DiscChanged. CR_OK, or CR_ERROR with `toc` empty.
int CR_ReadDiscToc(DiscToc& toc);
// Whether the disc in the active drive may not be the one its last
// CR_ReadDiscToc read: an image whose files changed or went, a real drive
// that saw a disc taken out or put in; true when no TOC was read yet.
// Reads no TOC.
bool CR_DiscChanged();
// TOC reads of the library since the program started (every query that
// reads a disc's TOC counts one), for the tests of callers that must read
// it only once.
uint64_t CR_GetTocReadCount();

// The names the disc in the active drive carries (its CUE sheet's text or
// its CD-Text; see DiscText.h). False, with `text` empty, when it gives
// none or there is no disc; a real drive reads its CD-Text each time.
bool CR_ReadDiscText(DiscText& text);

// Tracks of the last successful CR_ReadToc (0 after a failed one).
int CR_GetNumTocEntries();
// Entry `index` is track index + 1; entry CR_GetNumTocEntries() is the
// lead-out. Any other index gives an all-zero entry.
TOCENTRY CR_GetTocEntry(int index);

// Opens paranoia (full paranoia, skipping allowed after a bounded number of
// retries) on sectors [startSector, endSector) of the active drive.
// *bufferSize is the capacity of the caller's chunk buffer; it is lowered to
// a whole number of sectors, never raised. An end at or below the start is
// an empty range. On failure (no disc, range beyond the lead-out, buffer
// below one sector) the ripper stays closed, CR_RipChunk then fails with
// CR_NOT_OPEN and CR_GetLastErrorSector gives startSector.
// An image drive given a speed (Pacing.h) then reads like a drive of that
// speed.
// `whileWaiting`, when given, is work the ripper's two threads do where they
// would wait: the reader with the read-ahead full, the caller of
// CR_RipChunk with no chunk read yet. Each call does one short piece (well
// under a millisecond) and says whether there was any; it may run on
// either thread, but never once CR_CloseRipper has returned. `onRead`, when
// given, is handed each chunk on the reader thread as it is read, before
// CR_RipChunk can hand it out: the same bytes, in the same order, also
// those read ahead of a stop.
int CR_OpenRipper(int* bufferSize, uint32_t startSector, uint32_t endSector,
                  std::function<bool()> whileWaiting = {},
                  std::function<void(const uint8_t*, int)> onRead = {});
// Reads the next chunk (whole sectors, at most *bufferSize bytes) into
// `buffer` and stores its byte count in *numBytes: 0 once the range is
// exhausted. A sector paranoia could not read (it gave up and skipped) makes
// this return CR_READ_ERROR with *numBytes 0, for this and every later call;
// never a short or silence-filled chunk. Another thread may set *abort
// (through std::atomic_ref) while a chunk is being read: a drive read
// already under way is finished, the reads paranoia would still make (its
// read-ahead, its retries) fail at once, and the call returns CR_ABORTED
// with *numBytes counting the whole sectors read before the one in hand;
// every later call returns CR_ABORTED with *numBytes 0. The chunks come
// from the reader's ring, the same bytes with the same results as reading
// each there and then: a read error is reported with the chunk it fails,
// after every chunk before it; an abort seen on entry returns CR_ABORTED
// with *numBytes 0, and one set during the call cuts the chunk in hand
// short, to the sectors a paced drive would have brought by then (*abort
// is looked at only during calls).
int CR_RipChunk(uint8_t* buffer, int* numBytes, bool* abort);
// The first sector that failed in the current or last rip (for a message
// like "Read error at sector N"); 0 when none failed.
uint32_t CR_GetLastErrorSector();
// Why the current or last rip failed, or the ripper could not be opened, in
// libcdio's words where it gave any ("fread (): Input/output error"); ""
// when nothing failed or no reason is known.
std::string CR_GetLastErrorMessage();
// Stops the reader at once, whatever it waits for (a drive read already
// under way excepted).
void CR_CloseRipper();

// The drive's read offset correction, in samples (+6, -472...), for the
// rippers opened from now on, on any drive: sample i of a range is then
// sample i + `samples` of the disc, read from the sectors it lies in, and
// digital silence where the disc has no audio there (before sector 0, past
// the lead-out, in a data track): nothing is read outside the audio. Every
// range keeps its length. 0 (the default, and right for images) reads as
// if no offset existed. CR_ERROR, keeping the offset, beyond
// +-CR_MAX_READ_OFFSET.
constexpr int CR_MAX_READ_OFFSET = 44100;
int CR_SetReadOffset(int samples);
int CR_GetReadOffset();
// Samples of silence the range of the current or last CR_OpenRipper holds
// for want of audio on the disc (for the rip log); 0 at offset 0.
uint64_t CR_GetOffsetSilence();

// Root folder of drive `index`, ending with '/'; "" for a bad index.
std::string CR_GetDriveRoot(int index);
// Device node (/dev/sr0) or image file of drive `index`; "" for a bad index.
std::string CR_GetDrivePath(int index);
// Whether drive `index` is a disc image.
bool CR_IsImageDrive(int index);
// What the drive says it is, "VENDOR - MODEL (REVISION)" as its INQUIRY
// answers (a drive's read offset belongs to its model); "image" for an image
// drive, "" for a bad index or a drive that does not say.
std::string CR_GetDriveModel(int index);
// Adds one image file (.cue, .bin with its .cue, .toc, .nrg) as a drive at
// the end of the list, or finds it when already listed. Returns its index,
// or -1 when libcdio cannot open it or one of its files is no regular file;
// `why` then gets the reason when one is known ("" otherwise).
int CR_AddImageDrive(const std::string& imagePath, std::string* why = nullptr);

// Ejects the disc of real drive `index` (opens its tray) and removes the
// drive's .cda files; does nothing for an image drive. Returns CR_OK, or
// CR_ERROR, `why` then saying why ("no such drive", "the drive is being
// read" while a ripper is open on it, or libcdio's reason).
int CR_EjectDrive(int index, std::string* why = nullptr);

// Writes "cdr.ini" (section "CD-ROM": "nActive" = "0", "nTransportLayer" =
// "1", other content kept) in the program's folder when the program runs
// where it was built (its demo disc in `discs` beside it) and that folder
// can be written; otherwise, as for an installed program, whose prefix is
// never written to, in $XDG_CONFIG_HOME/cd-extractor/ (default
// ~/.config/...). Returns the path written, "" when no place can be
// written.
std::string CR_WriteSettingsFile();
// The same with explicit folders: `preferredDir` first, then `fallbackDir`
// (created when missing).
std::string CR_WriteSettingsFileIn(const std::string& preferredDir, const std::string& fallbackDir);

}  // namespace cdrip
