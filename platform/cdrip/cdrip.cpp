#include "platform/cdrip/cdrip.h"

// cdio.h first: the other libcdio headers rely on its types.
#include <cdio/cdio.h>

#include <cdio/audio.h>
#include <cdio/logging.h>
#include <cdio/mmc.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/cdrip/CdaFile.h"
#include "platform/cdrip/CdioLog.h"
#include "platform/cdrip/DriveScene.h"
#include "platform/cdrip/Drives.h"
#include "platform/cdrip/Ini.h"
#include "platform/cdrip/OwnedMutex.h"
#include "platform/cdrip/Pacing.h"
#include "platform/cdrip/ReadAhead.h"
#include "platform/cdrip/Ripper.h"

namespace fs = std::filesystem;

namespace cdrip {

namespace {

struct Library {
  // Drives, the active one and the last TOC: the querying thread's side.
  OwnedMutex mutex;
  std::vector<Drive> drives;
  std::vector<Drive> added;  // from CR_AddImageDrive, kept by CR_Refresh
  std::vector<SkippedImage> skipped;
  int active = 0;
  std::vector<TOCENTRY> toc;
  // How each drive's disc looked when CR_ReadDiscToc last read it, by path.
  std::map<std::string, DiscStamp> stamps;
  std::string iniPath;  // of CR_Init, for the image drives' speeds
  DriveScene scene;     // as the last listing found it

  // The ripper: opened by the querying thread, read by the worker.
  OwnedMutex ripMutex;
  std::unique_ptr<ReadAhead> ripper;
  std::string ripPath;  // of the drive the ripper is open on
  bool emptyRange = false;
  int sectorsPerChunk = 0;
  uint32_t errorSector = 0;
  std::string errorMessage;
  int readOffset = 0;
  uint64_t offsetSilence = 0;
};

// Long enough for a drive read already under way to end.
constexpr auto kCloseWait = std::chrono::seconds(10);

// Never destroyed: when a thread calls exit() while another is in a read,
// the exit handlers must not free the ripper under that read (the process's
// end releases all of it anyway).
struct ImmortalLibrary {
  union {
    Library lib;
  };
  ImmortalLibrary() : lib() {}
  ~ImmortalLibrary() {}
};

Library& Lib() {
  static ImmortalLibrary immortal;
  return immortal.lib;
}

bool ValidIndex(const Library& lib, int index) {
  return index >= 0 && index < static_cast<int>(lib.drives.size());
}

const Drive* ActiveDrive(const Library& lib) {
  return ValidIndex(lib, lib.active) ? &lib.drives[lib.active] : nullptr;
}

// Brings the root's .cda files in line with a TOC just read.
void Publish(const Drive& drive, const std::vector<TOCENTRY>& toc) {
  if (!toc.empty())
    WriteCdaFiles(drive.root, toc);
  else
    RemoveCdaFiles(drive.root);
}

// Reads the disc's TOC into `toc` and publishes it.
bool ReadAndPublish(const Drive& drive, std::vector<TOCENTRY>& toc) {
  DiscToc read;
  bool ok = ReadDiscToc(drive, read);
  toc = TocEntries(read);
  Publish(drive, toc);
  return ok;
}

void PublishImages(const std::vector<Drive>& drives) {
  std::vector<TOCENTRY> toc;
  for (const auto& d : drives)
    if (d.image) ReadAndPublish(d, toc);
}

std::string ConfigDir() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config && *config) return std::string(config) + "/cd-extractor";
  const char* home = std::getenv("HOME");
  return std::string(home ? home : "") + "/.config/cd-extractor";
}

}  // namespace

int CR_Init(const char* iniPath) {
  CR_CloseRipper();
  TakeOverCdioLog();
  IniFile ini;
  int wanted = (iniPath && ini.Load(iniPath)) ? ini.GetInt("CD-ROM", "nActive", 0) : 0;
  auto& lib = Lib();
  std::lock_guard lock(lib.mutex);
  // Looked at first: a change during the listing shows at the next look.
  lib.scene = LookAtDrives();
  lib.drives = ListDrives(lib.skipped);
  lib.added.clear();
  lib.toc.clear();
  lib.stamps.clear();
  lib.iniPath = iniPath ? iniPath : "";
  lib.active = ValidIndex(lib, wanted) ? wanted : 0;
  RemoveStaleDriveFolders(lib.drives);
  PublishImages(lib.drives);
  return CR_OK;
}

// Also run by the exit handlers, maybe on the thread of a read in progress
// (a library that calls exit), maybe while another thread reads: a read on
// another thread is cut short and waited for, within bounds; a lock this
// thread holds is left alone, and so is what it guards.
void CR_DeInit() {
  auto& lib = Lib();
  // On the reader's thread the rip is left as it is, and its consumer waits
  // for the end.
  bool inARead = ReadAhead::OnAReaderThread();
  if (inARead) ReadAhead::ProgramEndsInARead();
  Ripper::StopAllReads(true);
  if (!inARead && lib.ripMutex.TryLockFor(kCloseWait)) {
    std::lock_guard lock(lib.ripMutex, std::adopt_lock);
    lib.ripper.reset();
    lib.emptyRange = false;
  }
  Ripper::StopAllReads(false);
  if (lib.mutex.TryLockFor(kCloseWait)) {
    std::lock_guard lock(lib.mutex, std::adopt_lock);
    lib.drives.clear();
    lib.added.clear();
    lib.toc.clear();
    lib.stamps.clear();
    lib.active = 0;
    lib.scene = {};
  }
}

int CR_Refresh() {
  TakeOverCdioLog();
  auto& lib = Lib();
  std::lock_guard lock(lib.mutex);
  const Drive* active = ActiveDrive(lib);
  std::string activePath = active ? active->path : "";
  lib.scene = LookAtDrives();
  auto drives = ListDrives(lib.skipped);
  for (auto d : lib.added) {
    NameDrive(d, drives);
    drives.push_back(d);
  }
  lib.drives = std::move(drives);
  lib.toc.clear();
  auto it = std::find_if(lib.drives.begin(), lib.drives.end(),
                         [&](const Drive& d) { return d.path == activePath; });
  lib.active = it == lib.drives.end() ? 0 : static_cast<int>(it - lib.drives.begin());
  RemoveStaleDriveFolders(lib.drives);
  PublishImages(lib.drives);
  return CR_OK;
}

std::vector<std::string> CR_GetImageFolders() {
  return ImageFolders();
}

bool CR_DrivesChanged() {
  DriveScene now = LookAtDrives();
  auto& lib = Lib();
  std::lock_guard lock(lib.mutex);
  return !(now == lib.scene);
}

std::vector<SkippedImage> CR_GetSkippedImages() {
  auto& lib = Lib();
  std::lock_guard lock(lib.mutex);
  return lib.skipped;
}

int CR_GetNumCDROM() {
  auto& lib = Lib();
  std::lock_guard lock(lib.mutex);
  return static_cast<int>(lib.drives.size());
}

void CR_SetActiveCDROM(int index) {
  auto& lib = Lib();
  std::lock_guard lock(lib.mutex);
  if (ValidIndex(lib, index)) lib.active = index;
}

int CR_GetActiveCDROM() {
  auto& lib = Lib();
  std::lock_guard lock(lib.mutex);
  return lib.active;
}

int CR_IsMediaLoaded(int* status) {
  if (!status) return CR_ERROR;
  auto& lib = Lib();
  std::lock_guard lock(lib.mutex);
  const Drive* drive = ActiveDrive(lib);
  DiscToc read;
  bool loaded = drive && ReadDiscToc(*drive, read);
  if (drive && !loaded) RemoveCdaFiles(drive->root);
  *status = loaded ? 0 : 1;
  return CR_OK;
}

bool CR_IsAudioPlaying() {
  auto& lib = Lib();
  std::lock_guard lock(lib.mutex);
  const Drive* drive = ActiveDrive(lib);
  if (!drive || drive->image) return false;
  auto cdio = OpenDrive(*drive);
  cdio_subchannel_t sub{};
  return cdio && cdio_audio_read_subchannel(cdio.get(), &sub) == DRIVER_OP_SUCCESS &&
         sub.audio_status == CDIO_MMC_READ_SUB_ST_PLAY;
}

int CR_ReadToc() {
  auto& lib = Lib();
  std::lock_guard lock(lib.mutex);
  const Drive* drive = ActiveDrive(lib);
  if (!drive) {
    lib.toc.clear();
    return CR_ERROR;
  }
  return ReadAndPublish(*drive, lib.toc) ? CR_OK : CR_ERROR;
}

int CR_ReadDiscToc(DiscToc& toc) {
  auto& lib = Lib();
  std::lock_guard lock(lib.mutex);
  toc = DiscToc{};
  const Drive* drive = ActiveDrive(lib);
  if (!drive) return CR_ERROR;
  // Stamped before the read: a change during it shows as a change.
  DiscStamp stamp = StampDisc(*drive);
  bool ok = ReadDiscToc(*drive, toc, true);
  lib.toc = TocEntries(toc);
  Publish(*drive, lib.toc);
  lib.stamps[drive->path] = std::move(stamp);
  return ok ? CR_OK : CR_ERROR;
}

bool CR_DiscChanged() {
  auto& lib = Lib();
  std::lock_guard lock(lib.mutex);
  const Drive* drive = ActiveDrive(lib);
  if (!drive) return true;
  auto read = lib.stamps.find(drive->path);
  return read == lib.stamps.end() || DiscChangedSince(*drive, read->second);
}

bool CR_ReadDiscText(DiscText& text) {
  auto& lib = Lib();
  std::lock_guard lock(lib.mutex);
  text = DiscText{};
  const Drive* drive = ActiveDrive(lib);
  return drive && ReadDiscText(*drive, text);
}

uint64_t CR_GetTocReadCount() {
  return TocReadCount();
}

int CR_GetNumTocEntries() {
  auto& lib = Lib();
  std::lock_guard lock(lib.mutex);
  return lib.toc.empty() ? 0 : static_cast<int>(lib.toc.size()) - 1;
}

TOCENTRY CR_GetTocEntry(int index) {
  auto& lib = Lib();
  std::lock_guard lock(lib.mutex);
  if (index < 0 || index >= static_cast<int>(lib.toc.size())) return TOCENTRY{0, 0, 0};
  return lib.toc[index];
}

int CR_OpenRipper(int* bufferSize, uint32_t startSector, uint32_t endSector,
                  std::function<bool()> whileWaiting,
                  std::function<void(const uint8_t*, int)> onRead) {
  CR_CloseRipper();
  auto& lib = Lib();
  std::unique_ptr<Drive> drive;
  int speed = 0;
  {
    std::lock_guard lock(lib.mutex);
    if (const Drive* active = ActiveDrive(lib)) drive = std::make_unique<Drive>(*active);
    if (drive) speed = ImageSpeed(*drive, lib.iniPath);
  }
  std::lock_guard lock(lib.ripMutex);
  lib.errorSector = startSector;
  lib.errorMessage = "no such drive";
  if (!drive) return CR_ERROR;
  lib.errorMessage = "the chunk buffer is smaller than a sector";
  if (!bufferSize || *bufferSize < CR_SECTOR_BYTES) return CR_ERROR;
  lib.sectorsPerChunk = *bufferSize / CR_SECTOR_BYTES;
  *bufferSize = lib.sectorsPerChunk * CR_SECTOR_BYTES;
  lib.emptyRange = endSector <= startSector;
  lib.offsetSilence = 0;
  ClearCdioMessage();
  if (!lib.emptyRange) {
    if (auto ripper = Ripper::Open(*drive, startSector, endSector, lib.readOffset)) {
      lib.offsetSilence = ripper->SilenceSamples();
      lib.ripper = std::make_unique<ReadAhead>(std::move(ripper), lib.sectorsPerChunk, speed,
                                               std::move(whileWaiting), std::move(onRead));
    }
  }
  if (!lib.emptyRange && !lib.ripper) {
    lib.errorMessage = LastCdioMessage();
    if (lib.errorMessage.empty()) lib.errorMessage = "the disc cannot be read";
    return CR_ERROR;
  }
  lib.errorSector = 0;
  lib.errorMessage.clear();
  lib.ripPath = drive->path;
  return CR_OK;
}

int CR_RipChunk(uint8_t* buffer, int* numBytes, bool* abort) {
  if (!numBytes) return CR_ERROR;
  *numBytes = 0;
  auto& lib = Lib();
  std::lock_guard lock(lib.ripMutex);
  if (lib.emptyRange) return CR_OK;
  if (!lib.ripper) return CR_NOT_OPEN;
  if (!buffer) return CR_ERROR;
  int result = lib.ripper->Take(buffer, numBytes, abort);
  if (result == CR_READ_ERROR) {
    lib.errorSector = lib.ripper->ErrorSector();
    lib.errorMessage = lib.ripper->ErrorMessage();
  }
  return result;
}

uint32_t CR_GetLastErrorSector() {
  auto& lib = Lib();
  std::lock_guard lock(lib.ripMutex);
  return lib.errorSector;
}

std::string CR_GetLastErrorMessage() {
  auto& lib = Lib();
  std::lock_guard lock(lib.ripMutex);
  return lib.errorMessage;
}

void CR_CloseRipper() {
  auto& lib = Lib();
  std::lock_guard lock(lib.ripMutex);
  lib.ripper.reset();
  lib.ripPath.clear();
  lib.emptyRange = false;
}

int CR_SetReadOffset(int samples) {
  if (samples < -CR_MAX_READ_OFFSET || samples > CR_MAX_READ_OFFSET) return CR_ERROR;
  auto& lib = Lib();
  std::lock_guard lock(lib.ripMutex);
  lib.readOffset = samples;
  return CR_OK;
}

int CR_GetReadOffset() {
  auto& lib = Lib();
  std::lock_guard lock(lib.ripMutex);
  return lib.readOffset;
}

uint64_t CR_GetOffsetSilence() {
  auto& lib = Lib();
  std::lock_guard lock(lib.ripMutex);
  return lib.offsetSilence;
}

std::string CR_GetDriveRoot(int index) {
  auto& lib = Lib();
  std::lock_guard lock(lib.mutex);
  return ValidIndex(lib, index) ? lib.drives[index].root : "";
}

std::string CR_GetDrivePath(int index) {
  auto& lib = Lib();
  std::lock_guard lock(lib.mutex);
  return ValidIndex(lib, index) ? lib.drives[index].path : "";
}

bool CR_IsImageDrive(int index) {
  auto& lib = Lib();
  std::lock_guard lock(lib.mutex);
  return ValidIndex(lib, index) && lib.drives[index].image;
}

std::string CR_GetDriveModel(int index) {
  Drive drive;
  {
    auto& lib = Lib();
    std::lock_guard lock(lib.mutex);
    if (!ValidIndex(lib, index)) return "";
    drive = lib.drives[index];
  }
  if (drive.image) return "image";
  CdioPtr cdio = OpenDrive(drive);
  cdio_hwinfo_t hw{};
  if (!cdio || !cdio_get_hwinfo(cdio.get(), &hw)) return "";
  auto trimmed = [](const char* text) {
    std::string s(text);
    s.erase(s.find_last_not_of(' ') + 1);
    s.erase(0, s.find_first_not_of(' '));
    return s;
  };
  return trimmed(hw.psz_vendor) + " - " + trimmed(hw.psz_model) + " (" + trimmed(hw.psz_revision) +
         ")";
}

int CR_AddImageDrive(const std::string& imagePath, std::string* why) {
  TakeOverCdioLog();
  ClearCdioMessage();
  auto image = ImageDrive(imagePath);
  if (!image) {
    if (why) *why = LastCdioMessage();
    return -1;
  }
  auto& lib = Lib();
  std::lock_guard lock(lib.mutex);
  for (size_t i = 0; i < lib.drives.size(); ++i)
    if (lib.drives[i].path == image->path) return static_cast<int>(i);
  NameDrive(*image, lib.drives);
  lib.drives.push_back(*image);
  // Named again at each refresh, and held then.
  lib.added.push_back(*image);
  lib.added.back().hold.reset();
  std::vector<TOCENTRY> toc;
  ReadAndPublish(*image, toc);
  return static_cast<int>(lib.drives.size()) - 1;
}

int CR_EjectDrive(int index, std::string* why) {
  auto& lib = Lib();
  std::unique_ptr<Drive> drive;
  {
    std::lock_guard lock(lib.mutex);
    if (ValidIndex(lib, index)) drive = std::make_unique<Drive>(lib.drives[index]);
  }
  auto fail = [&](std::string reason) {
    if (why) *why = std::move(reason);
    return CR_ERROR;
  };
  if (!drive) return fail("no such drive");
  if (drive->image) return CR_OK;
  {
    std::lock_guard lock(lib.ripMutex);
    if (lib.ripper && lib.ripPath == drive->path) return fail("the drive is being read");
  }
  driver_return_code_t result = cdio_eject_media_drive(drive->path.c_str());
  if (result != DRIVER_OP_SUCCESS) return fail(cdio_driver_errmsg(result));
  RemoveCdaFiles(drive->root);
  return CR_OK;
}

namespace {

bool WriteSettingsIn(const std::string& dir) {
  if (dir.empty()) return false;
  std::string path = dir + "/cdr.ini";
  IniFile ini;
  ini.Load(path);
  ini.Set("CD-ROM", "nActive", "0");
  // Linux counts as the NT family.
  ini.Set("CD-ROM", "nTransportLayer", "1");
  return ini.Save(path);
}

}  // namespace

std::string CR_WriteSettingsFileIn(const std::string& preferredDir,
                                   const std::string& fallbackDir) {
  if (WriteSettingsIn(preferredDir)) return preferredDir + "/cdr.ini";
  std::error_code ec;
  if (!fallbackDir.empty()) fs::create_directories(fallbackDir, ec);
  if (WriteSettingsIn(fallbackDir)) return fallbackDir + "/cdr.ini";
  return "";
}

std::string CR_WriteSettingsFile() {
  std::error_code ec;
  bool inBuildTree = fs::is_directory(ProgramDir() + "/discs", ec);
  return CR_WriteSettingsFileIn(inBuildTree ? ProgramDir() : "", ConfigDir());
}

}  // namespace cdrip
