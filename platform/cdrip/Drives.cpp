#include "platform/cdrip/Drives.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
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
  auto skip = Env("CDX_NO_DEVICES");
  if (!skip.empty() && skip != "0") return;
  char** list = cdio_get_devices(DRIVER_DEVICE);
  for (char** p = list; p && *p; ++p) {
    Drive d;
    d.path = Canonical(*p);
    if (!Listed(drives, d.path)) drives.push_back(d);
  }
  if (list) cdio_free_device_list(list);
}

// libcdio reads no CUE sheet that starts with a byte-order mark, which
// some editors write: it is given a copy without the mark in the drives
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
  if (!ReplaceFile(copy, SheetText(sheet).substr(kByteOrderMark.size()))) return sheet;
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
  if (d.driver == DRIVER_BINCUE && StartsWithByteOrderMark(SheetOf(d.path)))
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
  return {ProgramDir() + "/discs", data + "/cd-extractor/discs"};
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

bool ReadEntries(CdIo_t* cdio, std::vector<TOCENTRY>& toc) {
  track_t first = cdio_get_first_track_num(cdio);
  track_t count = cdio_get_num_tracks(cdio);
  if (first == CDIO_INVALID_TRACK || count == CDIO_INVALID_TRACK || count == 0 ||
      first + count - 1 > CDIO_CD_MAX_TRACKS)
    return false;
  for (track_t t = first; t < first + count; ++t) {
    bool audio = cdio_get_track_format(cdio, t) == TRACK_FORMAT_AUDIO;
    toc.push_back({0, audio ? CR_FLAG_AUDIO : CR_FLAG_DATA, static_cast<uint8_t>(t)});
    lsn_t lsn = cdio_get_track_lsn(cdio, t);
    toc.back().dwStartSector = static_cast<uint32_t>(lsn);
    if (lsn == CDIO_INVALID_LSN || lsn < 0) return false;
  }
  lsn_t leadout = cdio_get_track_lsn(cdio, CDIO_CDROM_LEADOUT_TRACK);
  if (leadout == CDIO_INVALID_LSN || leadout < 0) return false;
  toc.push_back({static_cast<uint32_t>(leadout), toc.back().btFlag, CR_LEADOUT_TRACK});
  // Tracks must follow each other: a BIN cut short before a track's start
  // gives a lead-out below it.
  for (size_t i = 1; i < toc.size(); ++i)
    if (toc[i].dwStartSector <= toc[i - 1].dwStartSector) return false;
  return true;
}

// The TOC last read from each CUE/BIN image, with the stamps of both files
// taken around that read. The source reads the TOC again for each of its
// checks before a rip, and every read parses the sheet anew.
struct ImageToc {
  FileStamp sheet, data;
  std::string dataPath;
  std::vector<TOCENTRY> toc;
};

class TImageTocs {
 public:
  // The kept TOC of `path` when neither file has changed since.
  bool Find(const std::string& path, std::vector<TOCENTRY>& toc) {
    std::lock_guard lock(mutex_);
    auto it = tocs_.find(path);
    if (it == tocs_.end()) return false;
    FileStamp sheet, data;
    if (!TakeStamp(path, sheet) || !TakeStamp(it->second.dataPath, data) ||
        !it->second.sheet.Vouches(sheet) || !it->second.data.Vouches(data)) {
      tocs_.erase(it);
      return false;
    }
    toc = it->second.toc;
    return true;
  }
  void Keep(const std::string& path, ImageToc entry) {
    std::lock_guard lock(mutex_);
    tocs_[path] = std::move(entry);
  }
  void Clear() {
    std::lock_guard lock(mutex_);
    tocs_.clear();
  }

 private:
  std::mutex mutex_;
  std::map<std::string, ImageToc> tocs_;
};

TImageTocs& ImageTocs() {
  static TImageTocs tocs;
  return tocs;
}

bool ReadImageToc(const Drive& drive, std::vector<TOCENTRY>& toc) {
  if (ImageTocs().Find(drive.path, toc)) return true;
  ImageToc entry;
  bool stamped = TakeStamp(drive.path, entry.sheet);
  auto cdio = OpenDrive(drive);
  if (!cdio || !ReadEntries(cdio.get(), entry.toc)) return false;
  const char* data = cdio_get_arg(cdio.get(), "source");
  entry.dataPath = data ? data : "";
  // The data file's stamp comes after the read; only a settled stamp is
  // kept, and a file written since the read would not be settled.
  stamped = stamped && TakeStamp(entry.dataPath, entry.data);
  toc = entry.toc;
  if (stamped && entry.sheet.settled && entry.data.settled)
    ImageTocs().Keep(drive.path, std::move(entry));
  return true;
}

}  // namespace

void ForgetImageTocs() {
  ImageTocs().Clear();
}

bool ReadDiscToc(const Drive& drive, std::vector<TOCENTRY>& toc) {
  std::vector<TOCENTRY> entries;
  bool ok = false;
  if (drive.image && drive.driver == DRIVER_BINCUE) {
    ok = ReadImageToc(drive, entries);
  } else if (auto cdio = OpenDrive(drive)) {
    ok = ReadEntries(cdio.get(), entries);
  }
  toc = ok ? std::move(entries) : std::vector<TOCENTRY>{};
  return ok;
}

}  // namespace cdrip
