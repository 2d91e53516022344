#include "tests/app/AppFixture.h"

#include <QApplication>
#include <QLineEdit>
#include <QProgressBar>
#include <QSettings>
#include <cstdlib>
#include <filesystem>

namespace cdx::test {

std::vector<dm::TrackSpec> FiveShortTracks() {
  // Two seconds each: the CD source hands a track out a second at a time,
  // and the window shows a track half done on its way.
  return {dm::Sine(150, 440, 0.5, 660), dm::Noise(150, 2, 0.4), dm::Square(150, 1000, 0.3),
          dm::Sine(150, 220, 0.6), dm::Noise(150, 5, 0.2)};
}

namespace {

uint32_t Le32(const std::vector<uint8_t>& f, size_t at) {
  return f[at] | (f[at + 1] << 8) | (f[at + 2] << 16) | (static_cast<uint32_t>(f[at + 3]) << 24);
}
uint16_t Le16(const std::vector<uint8_t>& f, size_t at) {
  return static_cast<uint16_t>(f[at] | (f[at + 1] << 8));
}

}  // namespace

TWavFile ReadWav(const std::string& path) {
  TWavFile wav;
  std::vector<uint8_t> f;
  try {
    f = ReadFile(path);
  } catch (...) {
    return wav;
  }
  if (f.size() < 12 || std::string(f.begin(), f.begin() + 4) != "RIFF" ||
      std::string(f.begin() + 8, f.begin() + 12) != "WAVE" || Le32(f, 4) != f.size() - 8)
    return wav;
  bool haveFormat = false;
  for (size_t at = 12; at + 8 <= f.size();) {
    std::string id(f.begin() + at, f.begin() + at + 4);
    uint32_t size = Le32(f, at + 4);
    if (at + 8 + size > f.size()) return wav;
    if (id == "fmt ") {
      wav.FormatTag = Le16(f, at + 8);
      wav.Channels = Le16(f, at + 10);
      wav.SampleRate = static_cast<int>(Le32(f, at + 12));
      wav.BitsPerSample = Le16(f, at + 22);
      haveFormat = true;
    } else if (id == "data") {
      wav.Data.assign(f.begin() + at + 8, f.begin() + at + 8 + size);
      wav.Valid = haveFormat && at + 8 + size == f.size();
      return wav;
    }
    at += 8 + size + (size & 1);
  }
  return wav;
}

std::vector<uint8_t> DecodeWithFfmpeg(const std::string& path, std::string* errors) {
  const std::string raw = path + ".decoded.raw";
  std::string output;
  int status =
      RunCommand("ffmpeg -nostdin -v error -y -i '" + path + "' -f s16le '" + raw + "'", &output);
  if (errors) *errors = output;
  if (status != 0) return {};
  std::vector<uint8_t> bytes = ReadFile(raw);
  std::filesystem::remove(raw);
  return bytes;
}

TModalAnswer::TModalAnswer(std::function<void(QWidget*)> answer) : answer_(std::move(answer)) {
  poll_.setInterval(10);
  QObject::connect(&poll_, &QTimer::timeout, this, [this] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible()) return;
    poll_.stop();
    answered_ = true;
    answer_(modal);
  });
  poll_.start();
}

void AppTest::SetUp() {
  std::filesystem::create_directories(DiscDir());
  std::filesystem::create_directories(OutDir());
  setenv("CDX_DISCS_DIR", DiscDir().c_str(), 1);
  setenv("CDX_DRIVES_DIR", DrivesDir().c_str(), 1);
  setenv("CDX_NO_DEVICES", "1", 1);
  // Offline: the database is asked on a port where nothing listens.
  setenv("CDX_ACCURATERIP_URL", "http://127.0.0.1:1", 1);
  SetMessageBoxHandler([this](TMessageKind kind, const QString& text) {
    Shown.push_back({kind, text});
  });
  SetQuestionHandler([this](const QString& text) {
    Asked.push_back(text);
    return Answer;
  });
  // Each test starts from no saved settings; the windows of the last one
  // saved theirs.
  QSettings("cd-extractor", "cd-extractor").clear();
  if (CreateWindowsInSetUp) {
    WriteDisc();
    CreateWindows();
  }
}

void AppTest::PaceTheDrive() {
  // One second of the disc in about a tenth of one after a spin-up of a
  // fifth: the track bar, read on a timer, shows a track on its way.
  setenv("CDX_IMAGE_SPEED", "8", 1);
}

void AppTest::TearDown() {
  unsetenv("CDX_IMAGE_SPEED");
  jobHooks_.clear();
  windows_.reset();
  SetMessageBoxHandler(nullptr);
  SetQuestionHandler(nullptr);
}

void AppTest::WriteDisc() {
  dm::WriteImage(DiscDir() + "/disc.cue", Tracks);
}

// The tests of the job want TrackNN files as the writers made them,
// straight in the output folder; the album box's tests set it back.
void AppTest::PlainFiles() {
  Main<QLineEdit>("TemplateEdit").setText("%t");
  Main<QCheckBox>("TagFilesBox").setChecked(false);
}

void AppTest::CreateWindows() {
  windows_ = std::make_unique<TAppWindows>();
  Main<QLineEdit>("Edit1").setText(QString::fromStdString(OutDir()));
  PlainFiles();
}

void AppTest::ReopenWindows() {
  windows_.reset();
  windows_ = std::make_unique<TAppWindows>();
  PlainFiles();
}

QString AppTest::Root() {
  return QString::fromStdString(Ex().CDIn1->DriveRoot(0));
}

QString AppTest::TrackPath(int track) {
  return Root() + QString("Track%1.cda").arg(track, 2, 10, QChar('0'));
}

void AppTest::AddTracks(std::initializer_list<int> tracks) {
  QStringList paths;
  for (int t : tracks) paths << TrackPath(t);
  Form1().AddTrackFiles(paths);
}

std::vector<uint8_t> AppTest::TrackPcm(int track) const {
  return dm::TrackBytes(Tracks[track - 1], dm::StartSectors(Tracks)[track - 1]);
}

std::vector<QString> AppTest::Captions() {
  std::vector<QString> captions;
  for (int i = 0; i < List().topLevelItemCount(); ++i)
    captions.push_back(List().topLevelItem(i)->text(0));
  return captions;
}

std::vector<bool> AppTest::Checks() {
  std::vector<bool> checks;
  for (int i = 0; i < List().topLevelItemCount(); ++i)
    checks.push_back(List().topLevelItem(i)->checkState(0) == Qt::Checked);
  return checks;
}

void AppTest::SelectRows(std::initializer_list<int> rows) {
  List().clearSelection();
  for (int row : rows) List().topLevelItem(row)->setSelected(true);
}

void AppTest::Start() {
  Button("JvXPButton5").click();
}

void AppTest::DuringJob(std::function<bool(int, int)> when, std::function<void()> action) {
  PaceTheDrive();
  auto hook = std::make_unique<QObject>();
  auto& jobBar = Main<QProgressBar>("JvXPProgressBar1");
  auto& trackBar = Main<QProgressBar>("JvXPProgressBar2");
  auto done = std::make_shared<bool>(false);
  QObject::connect(&trackBar, &QProgressBar::valueChanged, hook.get(), [=, &jobBar](int value) {
    if (*done || !when(jobBar.value(), value)) return;
    *done = true;
    action();
  });
  jobHooks_.push_back(std::move(hook));
}

}  // namespace cdx::test
