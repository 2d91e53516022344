#include "platform/cdrip/Drives.h"

#include "platform/cdrip/DiscText.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <set>

#include "platform/cdrip/CdioLog.h"
#include "platform/cdrip/FileStamp.h"
#include "platform/cdrip/ImageFiles.h"
#include "platform/cdrip/SafeFiles.h"

namespace fs = std::filesystem;

namespace cdrip {

namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::string Lower(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

driver_id_t ImageDriver(const std::string& path) {
  auto ext = Lower(fs::path(path).extension().string());
  if (ext == ".cue" || ext == ".bin") return DRIVER_BINCUE;
  if (ext == ".toc") return DRIVER_CDRDAO;
  if (ext == ".nrg") return DRIVER_NRG;
  return DRIVER_UNKNOWN;
}

// Image files of a search folder; BIN files are reached through their CUE
// sheets and not listed themselves.
bool HasImageName(const fs::path& path) {
  auto ext = Lower(path.extension().string());
  return ext == ".cue" || ext == ".toc" || ext == ".nrg";
}

// An image file whose files are all regular that libcdio recognises.
bool IsListedImage(const fs::path& path) {
  auto ext = Lower(path.extension().string());
  auto text = path.string();
  if (ext == ".cue") {
    char* bin = cdio_is_cuefile(text.c_str());
    std::free(bin);
    return bin != nullptr;
  }
  if (ext == ".toc") return cdio_is_tocfile(text.c_str());
  if (ext == ".nrg") return cdio_is_nrg(text.c_str());
  return false;
}

std::string Canonical(const std::string& path) {
  std::error_code ec;
  auto canonical = fs::canonical(path, ec);
  return ec ? fs::absolute(path, ec).string() : canonical.string();
}

// A folder no other user can write in or replace: a real directory (no
// symbolic link) of ours that only we may enter.
bool IsPrivateFolder(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
         (st.st_mode & 077) == 0;
}

// `wanted` in a folder every user can write to, such as /tmp: used when it is
// private (created so when missing), otherwise a fresh private folder beside
// it, the same for the rest of the process; the user is told once.
std::string PrivateFolder(const std::string& wanted) {
  static std::mutex mutex;
  static std::map<std::string, std::string> replacements;
  ::mkdir(wanted.c_str(), 0700);
  if (IsPrivateFolder(wanted)) return wanted;
  std::lock_guard lock(mutex);
  auto& fresh = replacements[wanted];
  if (!fresh.empty() && IsPrivateFolder(fresh)) return fresh;
  std::string pattern = wanted + "-XXXXXX";
  fresh = ::mkdtemp(pattern.data()) ? pattern : "";
  std::string instead =
      fresh.empty() ? "the drives have no folders" : "the drive folders are in " + fresh;
  std::fprintf(stderr, "cd-extractor: %s is not a private folder of this user; %s\n",
               wanted.c_str(), instead.c_str());
  return fresh;
}

// A drive folder name from an image's or device's name that stays one
// folder inside the drives folder: no separator, no "." or "..", no
// hidden name.
std::string SafeDriveName(std::string name) {
  for (auto& c : name)
    if (c == '/' || static_cast<unsigned char>(c) < 0x20) c = '_';
  if (!name.empty() && name[0] == '.') name[0] = '_';
  return name.empty() ? "disc" : name;
}

bool Listed(const std::vector<Drive>& drives, const std::string& path) {
  return std::any_of(drives.begin(), drives.end(), [&](const Drive& d) { return d.path == path; });
}

void AddDevices(std::vector<Drive>& drives) {
  for (const auto& path : DevicePaths()) {
    Drive d;
    d.path = path;
    if (!Listed(drives, d.path)) drives.push_back(d);
  }
}

// The sheet's text as libcdio can read it: without a byte-order mark
// (some editors write one) and without text lines too long for it (their
// text is read by DiscText, which cuts them instead).
std::string SheetLibcdioReads(const std::string& sheet) {
  std::string text = SheetText(sheet);
  if (StartsWithByteOrderMark(sheet)) text = text.substr(kByteOrderMark.size());
  return SheetLibcdioOpens(text);
}

// A sheet libcdio would not read is given a copy it reads in the drives
// folder, with a link to the data file beside it (libcdio takes the data
// file's name from the sheet's).
std::string SheetWithoutMark(const std::string& sheet) {
  auto base = DrivesBase();
  if (base.empty()) return sheet;
  auto folder = base + "/.sheets";
  std::error_code ec;
  fs::create_directories(folder, ec);
  char name[32];
  std::snprintf(name, sizeof name, "/%016zx", std::hash<std::string>{}(sheet));
  auto copy = folder + name + ".cue", data = folder + name + ".bin";
  if (!ReplaceFile(copy, SheetLibcdioReads(sheet))) return sheet;
  fs::remove(data, ec);
  fs::create_symlink(SheetDataFile(sheet), data, ec);
  return copy;
}

// The image drive of the image file at `path`, name and root not set.
Drive ImageDriveOf(const std::string& path) {
  Drive d;
  d.image = true;
  d.path = Canonical(path);
  d.driver = ImageDriver(d.path);
  d.readPath = d.path;
  if (d.driver == DRIVER_BINCUE &&
      (StartsWithByteOrderMark(SheetOf(d.path)) ||
       SheetLibcdioReads(SheetOf(d.path)) != SheetText(SheetOf(d.path))))
    d.readPath = SheetWithoutMark(SheetOf(d.path));
  return d;
}

// Why the image `d` is no drive; "" when it is one.
std::string SkipReason(const Drive& d) {
  auto problem = ImageProblem(d.path, d.driver);
  if (!problem.empty()) return problem;
  return IsListedImage(d.readPath) ? "" : "it is not a disc image that can be read";
}

void AddImagesOf(const std::string& folder, std::vector<Drive>& drives,
                 std::vector<SkippedImage>& skipped) {
  std::vector<fs::path> found;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec))
    if (HasImageName(entry.path())) found.push_back(entry.path());
  std::sort(found.begin(), found.end(),
            [](const fs::path& a, const fs::path& b) { return a.filename() < b.filename(); });
  for (const auto& path : found) {
    Drive d = ImageDriveOf(path.string());
    if (auto reason = SkipReason(d); !reason.empty())
      skipped.push_back({path.string(), reason});
    else if (!Listed(drives, d.path))
      drives.push_back(d);
  }
}

}  // namespace

std::string ProgramDir() {
  std::error_code ec;
  auto exe = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::current_path(ec).string() : exe.parent_path().string();
}

std::vector<std::string> DevicePaths() {
  std::vector<std::string> paths;
  auto skip = Env("CDX_NO_DEVICES");
  if (!skip.empty() && skip != "0") return paths;
  char** list = cdio_get_devices(DRIVER_DEVICE);
  for (char** p = list; p && *p; ++p) paths.push_back(Canonical(*p));
  if (list) cdio_free_device_list(list);
  return paths;
}

std::string InstalledDataDir() {
  return (fs::path(ProgramDir()) / CDX_DATA_FROM_BIN).lexically_normal().string();
}

std::vector<std::string> ImageFolders() {
  if (const char* list = std::getenv("CDX_DISCS_DIR")) {
    std::vector<std::string> folders;
    std::string text = list;
    for (size_t pos = 0; pos <= text.size();) {
      auto colon = std::min(text.find(':', pos), text.size());
      if (colon > pos) folders.push_back(text.substr(pos, colon - pos));
      pos = colon + 1;
    }
    return folders;
  }
  auto data = Env("XDG_DATA_HOME");
  if (data.empty()) data = Env("HOME") + "/.local/share";
  return {ProgramDir() + "/discs", InstalledDataDir() + "/discs", data + "/cd-extractor/discs"};
}

std::string DrivesBase() {
  auto base = Env("CDX_DRIVES_DIR");
  if (!base.empty()) return base;
  auto runtime = Env("XDG_RUNTIME_DIR");
  if (!runtime.empty()) return runtime + "/cd-extractor/drives";
  auto tmp = Env("TMPDIR");
  if (tmp.empty()) tmp = "/tmp";
  auto top = PrivateFolder(tmp + "/cd-extractor-" + std::to_string(geteuid()));
  return top.empty() ? "" : top + "/drives";
}

std::vector<Drive> ListDrives(std::vector<SkippedImage>& skipped) {
  std::vector<Drive> drives;
  skipped.clear();
  AddDevices(drives);
  for (const auto& folder : ImageFolders()) AddImagesOf(folder, drives, skipped);
  std::vector<Drive> named;
  for (auto& d : drives) {
    NameDrive(d, named);
    named.push_back(d);
  }
  return named;
}

std::unique_ptr<Drive> ImageDrive(const std::string& path) {
  auto d = std::make_unique<Drive>(ImageDriveOf(path));
  std::error_code ec;
  if (d->driver == DRIVER_UNKNOWN) return nullptr;
  if (!OpenDrive(*d) || !fs::is_regular_file(d->path, ec)) return nullptr;
  return d;
}

void NameDrive(Drive& drive, const std::vector<Drive>& drives) {
  fs::path path(drive.path);
  std::string base = SafeDriveName(drive.image ? path.stem().string() : path.filename().string());
  std::string name = base;
  auto taken = [&](const std::string& n) {
    return std::any_of(drives.begin(), drives.end(), [&](const Drive& d) { return d.name == n; });
  };
  for (int i = 2; taken(name); ++i) name = base + "-" + std::to_string(i);
  drive.name = name;
  auto folder = DrivesBase();
  drive.root = folder.empty() ? "" : folder + "/" + name + "/";
  drive.hold = drive.root.empty() ? nullptr : HoldDriveFolder(drive.root);
}

void RemoveStaleDriveFolders(const std::vector<Drive>& drives) {
  std::set<std::string> names;
  for (const auto& d : drives) names.insert(d.name);
  RemoveStaleDriveFolders(DrivesBase(), names);
}

CdioPtr OpenDrive(const Drive& drive) {
  if (drive.image) {
    auto problem = ImageProblem(drive.path, drive.driver);
    if (!problem.empty()) {
      NoteProblem(problem);
      return nullptr;
    }
  }
  const auto& path = drive.readPath.empty() ? drive.path : drive.readPath;
  return CdioPtr(cdio_open(path.c_str(), drive.driver));
}

namespace {

struct CdioText {
  void operator()(char* text) const { std::free(text); }
};
using CdioString = std::unique_ptr<char, CdioText>;

std::string Owned(char* text) {
  CdioString owned(text);
  return owned ? owned.get() : "";
}

bool ReadTrack(CdIo_t* cdio, track_t number, bool details, TocTrack& track) {
  lsn_t lsn = cdio_get_track_lsn(cdio, number);
  if (lsn == CDIO_INVALID_LSN || lsn < 0) return false;
  track.number = number;
  track.audio = cdio_get_track_format(cdio, number) == TRACK_FORMAT_AUDIO;
  track.start = static_cast<uint32_t>(lsn);
  lsn_t pregap = cdio_get_track_pregap_lsn(cdio, number);
  if (pregap != CDIO_INVALID_LSN && pregap >= 0 && pregap < lsn)
    track.pregap = static_cast<uint32_t>(lsn - pregap);
  track.preEmphasis = cdio_get_track_preemphasis(cdio, number) == CDIO_TRACK_FLAG_TRUE;
  track.copyPermitted = cdio_get_track_copy_permit(cdio, number) == CDIO_TRACK_FLAG_TRUE;
  if (details && track.audio) track.isrc = Owned(cdio_get_track_isrc(cdio, number));
  return true;
}

bool ReadEntries(CdIo_t* cdio, bool details, DiscToc& toc) {
  track_t first = cdio_get_first_track_num(cdio);
  track_t count = cdio_get_num_tracks(cdio);
  if (first == CDIO_INVALID_TRACK || count == CDIO_INVALID_TRACK || count == 0 ||
      first + count - 1 > CDIO_CD_MAX_TRACKS)
    return false;
  for (track_t t = first; t < first + count; ++t) {
    toc.tracks.emplace_back();
    if (!ReadTrack(cdio, t, details, toc.tracks.back())) return false;
  }
  lsn_t leadout = cdio_get_track_lsn(cdio, CDIO_CDROM_LEADOUT_TRACK);
  if (leadout == CDIO_INVALID_LSN || leadout < 0) return false;
  toc.leadOut = static_cast<uint32_t>(leadout);
  // Tracks must follow each other: a BIN cut short before a track's start
  // gives a lead-out below it.
  for (size_t i = 0; i < toc.tracks.size(); ++i) {
    uint32_t next = i + 1 < toc.tracks.size() ? toc.tracks[i + 1].start : toc.leadOut;
    if (next <= toc.tracks[i].start) return false;
  }
  if (details) toc.mcn = Owned(cdio_get_mcn(cdio));
  return true;
}

std::atomic<uint64_t> tocReads{0};

}  // namespace

uint64_t TocReadCount() {
  return tocReads.load();
}

bool ReadDiscToc(const Drive& drive, DiscToc& toc, bool details) {
  ++tocReads;
  toc = DiscToc{};
  auto cdio = OpenDrive(drive);
  bool ok = cdio && ReadEntries(cdio.get(), details, toc);
  if (!ok) toc = DiscToc{};
  return ok;
}

std::vector<TOCENTRY> TocEntries(const DiscToc& toc) {
  std::vector<TOCENTRY> entries;
  for (const TocTrack& t : toc.tracks)
    entries.push_back(
        {t.start, t.audio ? CR_FLAG_AUDIO : CR_FLAG_DATA, static_cast<uint8_t>(t.number)});
  if (!entries.empty()) entries.push_back({toc.leadOut, entries.back().btFlag, CR_LEADOUT_TRACK});
  return entries;
}

DiscStamp StampDisc(const Drive& drive) {
  DiscStamp stamp;
  if (!drive.image) {
    // Takes the drive's news of a change that came before this read.
    if (auto cdio = OpenDrive(drive)) cdio_get_media_changed(cdio.get());
    return stamp;
  }
  std::vector<std::string> files = {drive.path};
  if (drive.driver == DRIVER_BINCUE) files.push_back(SheetDataFile(SheetOf(drive.path)));
  for (const auto& file : files) {
    FileStamp one;
    if (!TakeStamp(file, one)) one = FileStamp{};
    stamp.files.push_back(one);
  }
  return stamp;
}

bool DiscChangedSince(const Drive& drive, const DiscStamp& before) {
  if (!drive.image) {
    // The drive tells of a disc taken out or put in since it was last asked;
    // a drive that cannot say is taken at its word that nothing changed.
    auto cdio = OpenDrive(drive);
    return !cdio || cdio_get_media_changed(cdio.get()) == 1;
  }
  DiscStamp now = StampDisc(drive);
  if (now.files.size() != before.files.size()) return true;
  for (size_t i = 0; i < now.files.size(); ++i) {
    const FileStamp& a = before.files[i];
    const FileStamp& b = now.files[i];
    // Compared whether settled or not: a change within the file system's
    // time tick of the read, keeping size and inode, is the one missed.
    bool same = a.size == b.size && a.device == b.device && a.inode == b.inode &&
                a.modified.tv_sec == b.modified.tv_sec &&
                a.modified.tv_nsec == b.modified.tv_nsec && a.size >= 0;
    if (!same) return true;
  }
  return false;
}

}  // namespace cdrip
