#include "app/Unit1.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QSignalBlocker>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>
#include <algorithm>

#include "app/MessageBoxes.h"
#include "app/OptionsWindow.h"
#include "app/QtOwnership.h"
#include "extractor/EjectStage.h"
#include "pipeline/MainThreadQueue.h"
#include "platform/cdrip/CdaFile.h"

namespace cdx {

namespace {

// Where the drive box keeps how many audio tracks each drive's disc has.
constexpr int kAudioTracksRole = Qt::UserRole + 1;

// A drop hands each path over in a buffer of 254 characters.
constexpr int kDroppedPathLimit = 253;
// The track bar is brought up to date this often during a track: the
// window's wait then wakes about 20 times a second, besides the user's
// own events.
constexpr int kProgressTickMs = 50;

void SetBar(QProgressBar& bar, int position) {
  bar.setValue(std::clamp(position, bar.minimum(), bar.maximum()));
}

void SetBackground(QWidget& widget, const char* colour) {
  widget.setAutoFillBackground(true);
  QPalette palette = widget.palette();
  palette.setColor(QPalette::Window, QColor(colour));
  widget.setPalette(palette);
}

// Names a control for the tests and the hint, and hands it back.
template <class Widget>
Widget& Name(Widget& widget, const char* objectName, const QString& hint = QString()) {
  widget.setObjectName(objectName);
  if (!hint.isEmpty()) widget.setToolTip(hint);
  return widget;
}

// A drive model as a settings key: QSettings takes '/' for a group.
QString OffsetKey(const std::string& model) {
  return QString::fromStdString(model).replace('/', '_');
}

QString FileNamePart(const QString& path) {
  return path.mid(path.lastIndexOf('/') + 1);
}

}  // namespace

bool TTrackItem::operator<(const QTreeWidgetItem& other) const {
  return QString::localeAwareCompare(text(0), other.text(0)) < 0;
}

TForm1::TForm1(QWidget* parent)
    : QWidget(parent),
      extractor_(MakeComponent<TExtractor>()),
      PopupMenu1(this),
      OpenDialog1(this) {
  setObjectName("Form1");
  setWindowTitle(TTitleStrip::kCaption);
  BuildTopBox();
  BuildJobBox();
  BuildListBox();
  BuildMenuAndDialog();
  BuildWindowLayout();
  ApplyColours();
  ConnectHandlers();
  FormCreate();
}

TForm1::~TForm1() = default;

void TForm1::BuildTopBox() {
  Name(GroupBox1, "GroupBox1");
  Name(Label1, "Label1").setText("Output directory");
  Name(Edit1, "Edit1", "This is the output directory");
  Name(JvXPButton3, "JvXPButton3", "Click here to select the ouput directory").setText("...");
  Name(Label2, "Label2").setText("Format");
  Name(ComboBox1, "ComboBox1", "Please select the output format");
  for (const TFormat& format : Formats()) ComboBox1.addItem(QString::fromStdString(format.Caption));
  ComboBox1.setCurrentIndex(0);
  Name(JvXPButton4, "JvXPButton4", "click here to select the options").setText("Options");

  auto& top = InstallLayout<QGridLayout>(GroupBox1);
  top.setContentsMargins(6, 4, 6, 6);
  top.setVerticalSpacing(2);
  top.addWidget(&Label1, 0, 0, 1, 2);
  top.addWidget(&Edit1, 1, 0);
  top.addWidget(&JvXPButton3, 1, 1);
  top.addWidget(&Label2, 2, 0, 1, 2);
  top.addWidget(&ComboBox1, 3, 0);
  top.addWidget(&JvXPButton4, 3, 1);
  BuildCheckRow(top);
  top.setColumnStretch(0, 1);
  for (QPushButton* b : {&JvXPButton3, &JvXPButton4}) b->setFixedWidth(64);
}

void TForm1::BuildCheckRow(QGridLayout& top) {
  Name(OffsetLabel, "OffsetLabel").setText("Read offset (samples)");
  Name(OffsetField, "OffsetField",
       "The read offset correction of the chosen drive's model (0 for images)");
  OffsetField.setRange(-kMaxReadOffset, kMaxReadOffset);
  Name(TestAndCopyBox, "TestAndCopyBox", "Read each track twice and compare the CRCs")
      .setText("Test and copy");
  auto owned = std::make_unique<QHBoxLayout>();
  QHBoxLayout& row = *owned;
  top.addLayout(owned.release(), 4, 0, 1, 2);
  row.addWidget(&OffsetLabel);
  row.addWidget(&OffsetField);
  row.addSpacing(12);
  row.addWidget(&TestAndCopyBox);
  row.addStretch(1);
  connect(&OffsetField, &QSpinBox::valueChanged, this,
          [this](int value) { offsets_[offsetModel_] = value; });
}

void TForm1::BuildJobBox() {
  Name(GroupBox2, "GroupBox2");
  Name(JvXPButton5, "JvXPButton5", "Click here to start").setText("Start");
  Name(JvXPButton6, "JvXPButton6", "Click here to stop the extraction of the current track")
      .setText("Stop");
  Name(JvXPButton7, "JvXPButton7", "Click here to stop  all conversion").setText("Stop all");
  Name(Panel1, "Panel1");
  Name(Label3, "Label3").setText("Work progress");
  Name(JvXPProgressBar1, "JvXPProgressBar1");
  Name(JvXPProgressBar2, "JvXPProgressBar2");
  Name(StatusLine, "StatusLine");
  Name(EjectBox, "EjectBox", "Open the drive's tray once every track is written")
      .setText("Eject the disc when done");

  auto& middle = InstallLayout<QHBoxLayout>(GroupBox2);
  middle.setContentsMargins(6, 4, 6, 6);
  auto& buttons = AddLayout<QVBoxLayout>(middle);
  buttons.setSpacing(2);
  for (QPushButton* b : {&JvXPButton5, &JvXPButton6, &JvXPButton7}) {
    b->setFixedWidth(76);
    buttons.addWidget(b);
  }
  middle.addWidget(&Panel1, 1);
  auto& progress = InstallLayout<QVBoxLayout>(Panel1);
  progress.setContentsMargins(6, 0, 0, 0);
  progress.addWidget(&Label3);
  for (QProgressBar* bar : {&JvXPProgressBar1, &JvXPProgressBar2}) {
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setTextVisible(true);
    progress.addWidget(bar);
  }
  progress.addWidget(&StatusLine);
  progress.addWidget(&EjectBox);
  progress.addStretch(1);
}

void TForm1::BuildListBox() {
  Name(GroupBox3, "GroupBox3");
  Name(Label4, "Label4").setText("File list");
  Name(JvLinkLabel1, "JvLinkLabel1");
  JvLinkLabel1.setText(QStringLiteral("<a href=\"%1\">website</a>").arg(CDX_WEBSITE_URL));
  JvLinkLabel1.setTextFormat(Qt::RichText);
  JvLinkLabel1.setOpenExternalLinks(false);
  Name(JvXPButton2, "JvXPButton2", "Remove track").setText("-");
  Name(JvXPButton1, "JvXPButton1", "Add tracks").setText("+");
  Name(DriveBox, "DriveBox", "The drive whose tracks \"Add disc\" adds");
  Name(AddDiscButton, "AddDiscButton", "Add every audio track of the chosen drive")
      .setText("Add disc");

  Name(ListView1, "ListView1");
  ListView1.setColumnCount(3);
  ListView1.setHeaderLabels({"Name", "File location", "AccurateRip"});
  ListView1.setColumnWidth(0, 160);
  ListView1.setColumnWidth(1, 360);
  ListView1.setRootIsDecorated(false);
  ListView1.setSelectionMode(QAbstractItemView::ExtendedSelection);
  ListView1.setSelectionBehavior(QAbstractItemView::SelectRows);
  ListView1.setEditTriggers(QAbstractItemView::EditKeyPressed);
  ListView1.setSortingEnabled(false);
  ListView1.header()->setSectionsClickable(true);

  auto& bottom = InstallLayout<QVBoxLayout>(GroupBox3);
  bottom.setContentsMargins(6, 4, 6, 6);
  bottom.setSpacing(2);
  auto& listBar = AddLayout<QHBoxLayout>(bottom);
  listBar.addWidget(&Label4);
  listBar.addStretch(1);
  listBar.addWidget(&JvLinkLabel1);
  listBar.addSpacing(8);
  listBar.addWidget(&DriveBox);
  listBar.addWidget(&AddDiscButton);
  for (QPushButton* b : {&JvXPButton2, &JvXPButton1}) {
    b->setFixedSize(22, 22);
    listBar.addWidget(b);
  }
  bottom.addWidget(&ListView1, 1);
}

void TForm1::BuildMenuAndDialog() {
  PopupMenu1.setObjectName("PopupMenu1");
  PopupMenu1.addAction("Add", this, &TForm1::Add1Click)->setObjectName("Add1");
  PopupMenu1.addAction("Remove", this, &TForm1::Remove1Click)->setObjectName("Remove1");
  PopupMenu1.addAction("Rename", this, &TForm1::Rename1Click)->setObjectName("Rename1");
  PopupMenu1.addAction("Check/Uncheck", this, &TForm1::Checkselected1Click)
      ->setObjectName("Checkselected1");

  // The list's own keys, not a row's name editor's, where the key deletes
  // text.
  ListView1.installEventFilter(this);

  OpenDialog1.setObjectName("OpenDialog1");
  OpenDialog1.setFileMode(QFileDialog::ExistingFiles);
  OpenDialog1.setAcceptMode(QFileDialog::AcceptOpen);
  OpenDialog1.setSizeGripEnabled(true);
  // Qt's own dialog: only it shows the drive roots in its side panel.
  OpenDialog1.setOption(QFileDialog::DontUseNativeDialog);
}

void TForm1::BuildWindowLayout() {
  auto& main = InstallLayout<QVBoxLayout>(*this);
  main.setContentsMargins(0, 0, 0, 6);
  main.setSpacing(4);
  main.addWidget(&JvGradientCaption1);
  for (QGroupBox* box : {&GroupBox1, &GroupBox2, static_cast<QGroupBox*>(&AlbumBox1), &GroupBox3}) {
    auto& row = AddLayout<QHBoxLayout>(main);
    row.setContentsMargins(6, 0, 6, 0);
    row.addWidget(box);
  }
  main.setStretch(4, 1);
  // About twelve rows with both columns readable.
  resize(560, 600 + JvGradientCaption1.sizeHint().height());
}

void TForm1::ApplyColours() {
  SetBackground(*this, kWindowColour);
  SetBackground(GroupBox1, "#D1D1D8");
  SetBackground(GroupBox3, "#EAEAEE");
}

void TForm1::ConnectHandlers() {
  connect(&JvXPButton1, &QPushButton::clicked, this, &TForm1::JvXPButton1Click);
  connect(&JvXPButton2, &QPushButton::clicked, this, &TForm1::JvXPButton2Click);
  connect(&AddDiscButton, &QPushButton::clicked, this, &TForm1::AddDiscClick);
  connect(&JvXPButton3, &QPushButton::clicked, this, &TForm1::JvXPButton3Click);
  connect(&JvXPButton4, &QPushButton::clicked, this, &TForm1::JvXPButton4Click);
  connect(&JvXPButton5, &QPushButton::clicked, this, &TForm1::JvXPButton5Click);
  connect(&JvXPButton6, &QPushButton::clicked, this, &TForm1::JvXPButton6Click);
  connect(&JvXPButton7, &QPushButton::clicked, this, &TForm1::JvXPButton7Click);
  connect(&JvLinkLabel1, &QLabel::linkActivated, this, &TForm1::JvLinkLabel1LinkClick);
  connect(ListView1.header(), &QHeaderView::sectionClicked, this, &TForm1::ListView1ColumnClick);
  // A renamed row's name stays readable.
  connect(&ListView1, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem*, int column) {
    if (column == 0) ListView1.resizeColumnToContents(0);
  });
  connect(&AlbumBox1, &TAlbumBox::TitlesFound, this, &TForm1::TakeTitles);
  progressTimer_.setInterval(kProgressTickMs);
  connect(&progressTimer_, &QTimer::timeout, this, &TForm1::ShowTrackProgress);
}

void TForm1::FormCreate() {
  QString programDir = QCoreApplication::applicationDirPath();
  if (!programDir.endsWith('/')) programDir += '/';
  QDir::setCurrent(programDir);
  // An installed program's own folder is not writable: files go to the
  // user's music folder.
  QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
  if (music.isEmpty()) music = QDir::homePath() + "/Music";
  QDir().mkpath(music);
  Edit1.setText(music);
  setAcceptDrops(true);
  connect(&DriveBox, &QComboBox::currentIndexChanged, this, [this] { ShowDriveOffset(); });
  FillDriveBox();
  ShowDriveOffset();
}

void TForm1::SaveState(QSettings& settings) const {
  settings.setValue("Window/Geometry", saveGeometry());
  settings.setValue("Window/OutputFolder", Edit1.text());
  if (ComboBox1.currentIndex() >= 0)
    settings.setValue("Window/Format",
                      QString::fromStdString(Formats().at(ComboBox1.currentIndex()).Name));
  settings.setValue("Verify/TestAndCopy", TestAndCopyBox.isChecked());
  settings.setValue("Verify/AccurateRipUrl", databaseUrl_);
  for (const auto& [model, offset] : offsets_) settings.setValue("ReadOffsets/" + model, offset);
  AlbumBox1.SaveState(settings);
}

void TForm1::RestoreState(const QSettings& settings) {
  if (settings.contains("Window/Geometry"))
    restoreGeometry(settings.value("Window/Geometry").toByteArray());
  const QString folder = settings.value("Window/OutputFolder").toString();
  if (!folder.isEmpty()) Edit1.setText(folder);
  const std::string format = settings.value("Window/Format").toString().toStdString();
  for (size_t i = 0; i < Formats().size(); ++i)
    if (Formats()[i].Name == format) ComboBox1.setCurrentIndex(static_cast<int>(i));
  TestAndCopyBox.setChecked(settings.value("Verify/TestAndCopy", false).toBool());
  databaseUrl_ = settings.value("Verify/AccurateRipUrl").toString();
  for (const QString& key : settings.allKeys())
    if (key.startsWith("ReadOffsets/")) offsets_[key.mid(12)] = settings.value(key).toInt();
  ShowDriveOffset();
  AlbumBox1.RestoreState(settings);
}

// --- the track list -------------------------------------------------------

bool TForm1::AcceptTrackFile(const QString& path) const {
  const QString name = FileNamePart(path);
  const int dot = name.lastIndexOf('.');
  if (dot < 0 || name.mid(dot) != QLatin1String(".cda")) return false;
  for (int i = ListView1.topLevelItemCount() - 1; i >= 0; --i)
    if (ListView1.topLevelItem(i)->text(1) == path) return false;
  return true;
}

TTrackItem* TForm1::ajouttableau(const QString& path) {
  auto row = std::make_unique<TTrackItem>(nextRowId_++);
  const QString name = FileNamePart(path);
  row->setText(0, name.left(std::max<qsizetype>(0, name.size() - 4)));
  row->setText(1, path);
  row->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsUserCheckable |
                Qt::ItemIsEditable);
  row->setCheckState(0, Qt::Unchecked);
  TTrackItem* added = row.get();
  ListView1.addTopLevelItem(row.release());
  return added;
}

void TForm1::AddTrackFiles(const QStringList& paths) {
  for (const QString& path : paths) {
    if (!AcceptTrackFile(path)) continue;
    ajouttableau(path)->setCheckState(0, Qt::Checked);
  }
  // The disc is read for its names between jobs only.
  if (!paths.isEmpty() && !jobRunning_) {
    try {
      AlbumBox1.ShowDisc(extractor_->setcd(paths.front().toStdString()).Drive);
    } catch (const std::exception&) {
      // A path on no drive has no disc to name it.
    }
  }
  ListView1.resizeColumnToContents(0);
}

void TForm1::TakeTitles(int drive, const std::map<int, QString>& titles) {
  for (int i = 0; i < ListView1.topLevelItemCount(); ++i) {
    auto* row = static_cast<TTrackItem*>(ListView1.topLevelItem(i));
    TDiscTrack track;
    try {
      track = extractor_->setcd(row->text(1).toStdString());
    } catch (const std::exception&) {
      continue;
    }
    auto title = titles.find(track.Track);
    if (track.Drive != drive || title == titles.end()) continue;
    const QString caption = row->text(0);
    const bool untouched = caption == QString("Track%1").arg(track.Track, 2, 10, QChar('0')) ||
                           (givenTitles_.count(row->Id) && givenTitles_[row->Id] == caption);
    if (!untouched) continue;
    row->setText(0, title->second);
    givenTitles_[row->Id] = title->second;
  }
}

QList<QUrl> TForm1::DriveRootUrls() {
  QList<QUrl> urls;
  TCDIn& cd = *extractor_->CDIn1;
  for (int i = 0, n = cd.DriveCount(); i < n; ++i)
    urls << QUrl::fromLocalFile(QString::fromStdString(cd.DriveRoot(i)));
  urls << QUrl::fromLocalFile(QDir::homePath());
  return urls;
}

void TForm1::RefreshDriveFolders() {
  // A drive's track files appear once its table of contents has been read;
  // never read one while a track is being ripped.
  for (TACSOutput* writer : extractor_->WriterSet())
    if (writer->Busy()) return;
  TCDIn& cd = *extractor_->CDIn1;
  const int active = cd.CurrentDrive();
  for (int i = 0, n = cd.DriveCount(); i < n; ++i) {
    cd.SetCurrentDrive(i);
    cd.TrackCount();
  }
  cd.SetCurrentDrive(active);
}

void TForm1::DrivesChanged() {
  RefreshDriveFolders();
  OpenDialog1.setSidebarUrls(DriveRootUrls());
  if (!jobRunning_) FillDriveBox();
}

void TForm1::FillDriveBox() {
  const int chosen = DriveBox.currentData().isValid() ? DriveBox.currentData().toInt() : -1;
  DriveBox.clear();
  for (const TDriveInfo& drive : ListDrives()) {
    const size_t audio = TDisc::Read(drive.Index).AudioTracks().size();
    const QString holds = audio == 0   ? "no audio disc"
                          : audio == 1 ? "1 audio track"
                                       : QString("%1 audio tracks").arg(audio);
    DriveBox.addItem(QString("Drive %1: %2 (%3)")
                         .arg(drive.Index)
                         .arg(FileNamePart(QString::fromStdString(drive.Path)), holds),
                     drive.Index);
    DriveBox.setItemData(DriveBox.count() - 1, static_cast<int>(audio), kAudioTracksRole);
  }
  if (const int keep = DriveBox.findData(chosen); keep >= 0) DriveBox.setCurrentIndex(keep);
  AddDiscButton.setEnabled(DriveBox.count() > 0);
}

// The offset field edits the model of the drive chosen beside "Add disc".
void TForm1::ShowDriveOffset() {
  const int drive = DriveBox.currentIndex() >= 0 ? DriveBox.currentData().toInt() : 0;
  offsetModel_ = OffsetKey(DriveModelOf(drive));
  const auto shown = offsets_.find(offsetModel_);
  const QSignalBlocker showingIsNotEditing(OffsetField);
  OffsetField.setValue(shown == offsets_.end() ? 0 : shown->second);
}

int TForm1::AddDiscTracks(int drive) {
  const TDisc disc = TDisc::Read(drive);
  const QString root = QString::fromStdString(extractor_->CDIn1->DriveRoot(drive));
  QStringList paths;
  for (int track : disc.AudioTracks())
    paths << root + QString::fromStdString(cdrip::CdaName(track));
  const int before = ListView1.topLevelItemCount();
  AddTrackFiles(paths);
  return ListView1.topLevelItemCount() - before;
}

void TForm1::AddDiscClick() {
  if (DriveBox.currentIndex() < 0) return;
  // The track files appear beside the drive once its TOC has been read.
  RefreshDriveFolders();
  AddDiscTracks(DriveBox.currentData().toInt());
}

void TForm1::ListTheOnlyAudioDisc() {
  // The drive box read every drive's disc already.
  std::vector<int> withAudio;
  for (int i = 0; i < DriveBox.count(); ++i)
    if (DriveBox.itemData(i, kAudioTracksRole).toInt() > 0) withAudio.push_back(i);
  if (withAudio.size() != 1) return;
  DriveBox.setCurrentIndex(withAudio.front());
  AddDiscClick();
}

void TForm1::AddTracksFromDialog() {
  RefreshDriveFolders();
  OpenDialog1.setSidebarUrls(DriveRootUrls());
  if (OpenDialog1.exec() != QDialog::Accepted) return;
  AddTrackFiles(OpenDialog1.selectedFiles());
}

void TForm1::JvXPButton1Click() {
  AddTracksFromDialog();
}

void TForm1::Add1Click() {
  AddTracksFromDialog();
}

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TForm1::dragMoveEvent(QDragMoveEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* event) {
  QStringList paths;
  for (const QUrl& url : event->mimeData()->urls())
    if (url.isLocalFile()) paths << url.toLocalFile().left(kDroppedPathLimit);
  AddTrackFiles(paths);
  event->acceptProposedAction();
}

void TForm1::deltruc() {
  for (int i = ListView1.topLevelItemCount() - 1; i >= 0; --i) {
    auto* row = static_cast<TTrackItem*>(ListView1.topLevelItem(i));
    if (!row->isSelected()) continue;
    if (row->Id == currentRowId_ && job_) job_->Stop();
    std::unique_ptr<QTreeWidgetItem> removed(ListView1.takeTopLevelItem(i));
  }
}

void TForm1::JvXPButton2Click() {
  deltruc();
}

void TForm1::Remove1Click() {
  deltruc();
}

void TForm1::Rename1Click() {
  for (int i = 0; i < ListView1.topLevelItemCount(); ++i) {
    QTreeWidgetItem* row = ListView1.topLevelItem(i);
    if (!row->isSelected()) continue;
    ListView1.setFocus();
    ListView1.setCurrentItem(row, 0, QItemSelectionModel::NoUpdate);
    ListView1.editItem(row, 0);
    return;
  }
}

void TForm1::Checkselected1Click() {
  for (int i = 0; i < ListView1.topLevelItemCount(); ++i) {
    QTreeWidgetItem* row = ListView1.topLevelItem(i);
    if (!row->isSelected()) continue;
    row->setCheckState(0, row->checkState(0) == Qt::Checked ? Qt::Unchecked : Qt::Checked);
  }
}

void TForm1::ListView1ColumnClick(int column) {
  if (column == sortColumn_) {
    sortAscending_ = !sortAscending_;
  } else {
    sortColumn_ = column;
    sortAscending_ = true;
  }
  // The recorded state does not steer the sort: it is always by caption,
  // ascending.
  ListView1.sortItems(0, Qt::AscendingOrder);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  if (watched == &ListView1 && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
    deltruc();
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

void TForm1::contextMenuEvent(QContextMenuEvent* event) {
  PopupMenu1.popup(event->globalPos());
  event->accept();
}

// --- other controls -------------------------------------------------------

void TForm1::JvXPButton3Click() {
  const QString chosen = QFileDialog::getExistingDirectory(this, QString(), Edit1.text());
  // A cancelled picker leaves the output directory alone: taking its empty
  // (or old) folder would send the next files somewhere the user never chose.
  if (chosen.isEmpty()) return;
  Edit1.setText(chosen);
}

void TForm1::JvXPButton4Click() {
  const int chosen = ComboBox1.currentIndex();
  if (chosen < 0) return;
  const std::string& format = Formats().at(chosen).Name;
  for (TOptionsWindow* dialog : optionsDialogs_)
    if (dialog->EditedFormat() == format) dialog->ShowNonModal();
}

void TForm1::JvLinkLabel1LinkClick() {
  QString url = QStringLiteral(CDX_WEBSITE_URL);
  // An installed program's page is the README installed beside it, not the
  // one of a source tree that may be long gone.
  const QString installed =
      QCoreApplication::applicationDirPath() + "/../share/doc/cd-extractor/README.md";
  const QUrl page(url);
  if (page.isLocalFile() && !QFile::exists(page.toLocalFile()) && QFile::exists(installed))
    url = QUrl::fromLocalFile(QDir::cleanPath(installed)).toString();
  if (!QDesktopServices::openUrl(QUrl(url)))
    ShowError(this, "Cannot open " + url + ": no program to show it was found.");
}

// --- the job --------------------------------------------------------------

TTrackItem* TForm1::FindRow(quint64 id) const {
  for (int i = 0; i < ListView1.topLevelItemCount(); ++i) {
    auto* row = static_cast<TTrackItem*>(ListView1.topLevelItem(i));
    if (row->Id == id) return row;
  }
  return nullptr;
}

std::vector<quint64> TForm1::RowIds() const {
  std::vector<quint64> ids;
  for (int i = 0; i < ListView1.topLevelItemCount(); ++i)
    ids.push_back(static_cast<TTrackItem*>(ListView1.topLevelItem(i))->Id);
  return ids;
}

// The window's side of the job: the rows checked when Start was pressed,
// by identity and in their order then, each read when it is reached (its
// name, its path, the format chosen by then); the bars, the status line
// and the check boxes follow the outcomes.
class TForm1::TWindowJob : public TJobFrontEnd {
 public:
  TWindowJob(TForm1& window, std::vector<quint64> rows) : w_(window), rows_(std::move(rows)) {}

  std::optional<TJobTrack> NextTrack() override {
    while (next_ < rows_.size()) {
      const quint64 id = rows_[next_++];
      w_.JvXPButton5.setEnabled(false);
      // Rows added since are not visited, rows removed meanwhile are skipped.
      TTrackItem* row = w_.FindRow(id);
      if (!row) continue;
      if (row->checkState(0) != Qt::Checked) {
        AdvanceJobBar();
        continue;
      }
      ++w_.stepCount_;
      return TrackOf(*row);
    }
    return std::nullopt;
  }

  void Serve() override { w_.ServeDuringJob(); }

  void TrackStarting(const TJobTrack& track) override {
    w_.currentRowId_ = track.Id;
    w_.StatusLine.setText(QString("%1, %2 of %3")
                              .arg(QString::fromStdString(track.Name))
                              .arg(w_.stepCount_ - 1)
                              .arg(w_.checkedCount_));
  }

  void TrackEnded(const TJobTrack& track, const TTrackOutcome& outcome) override {
    w_.currentRowId_ = 0;
    const QString caption = QString::fromStdString(track.Name);
    switch (outcome.Result) {
      case TTrackResult::Stopped:
        w_.stopped_.push_back({caption, StoppedText(outcome)});
        if (outcome.KeptAs.empty()) break;
        [[fallthrough]];
      case TTrackResult::Written:
        ++w_.writtenCount_;
        break;
      case TTrackResult::Failed:
        w_.failures_.push_back({caption, QString::fromStdString(outcome.Error) + Left(outcome)});
        break;
      case TTrackResult::NotReached:
        ++w_.notReachedCount_;
        break;
    }
    // A track that was not ripped stays checked, so the next Start retries
    // only those.
    const bool retry = outcome.Result == TTrackResult::Failed ||
                       outcome.Result == TTrackResult::NotReached || outcome.KeptAs.empty();
    if (TTrackItem* row = w_.FindRow(track.Id)) {
      row->setCheckState(0, retry ? Qt::Checked : Qt::Unchecked);
      row->setText(2, QString::fromStdString(outcome.Verification));
    }
    // The bar keeps how far the track came until the next one reports.
    if (outcome.Result != TTrackResult::NotReached && w_.job_)
      SetBar(w_.JvXPProgressBar2, w_.job_->Progress());
    AdvanceJobBar();
  }

 private:
  TJobTrack TrackOf(const TTrackItem& row) {
    TJobTrack track;
    track.Id = row.Id;
    track.Format = &Formats().at(w_.ComboBox1.currentIndex());
    // A name without a track number ends the job (EConvertError); a path
    // on no drive fails its track.
    try {
      track.Track = w_.extractor_->setcd(row.text(1).toStdString());
    } catch (const EConvertError&) {
      throw;
    } catch (const std::exception& e) {
      track.Refused = e.what();
    }
    track.Name = track.Refused.empty() ? w_.JobName(row, track.Track, *track.Format)
                                       : row.text(0).toStdString();
    return track;
  }

  void AdvanceJobBar() {
    if (w_.checkedCount_ > 0) SetBar(w_.JvXPProgressBar1, (100 / w_.checkedCount_) * w_.stepCount_);
  }

  // How far a stopped track came, and where that went when an earlier file
  // of its name had to stay.
  static QString StoppedText(const TTrackOutcome& outcome) {
    if (outcome.KeptAs.empty()) return "stopped before any audio" + Left(outcome);
    QString text = QString("stopped at %1 %").arg(outcome.StoppedAt);
    if (outcome.KeptAs == outcome.File) return text;
    return text + " (kept as " + QString::fromStdString(outcome.KeptAs).section('/', -1) +
           "; the earlier " + QString::fromStdString(outcome.File).section('/', -1) + " was kept)";
  }

  // What a failed track left on the disk, for its message.
  static QString Left(const TTrackOutcome& outcome) {
    const QString name = QString::fromStdString(outcome.File).section('/', -1);
    return outcome.EarlierKept ? " (no file was written; the earlier " + name + " was kept)"
                               : " (no file was written)";
  }

  TForm1& w_;
  std::vector<quint64> rows_;
  size_t next_ = 0;
};

void TForm1::JvXPButton5Click() {
  if (jobRunning_) return;
  if (!OutputFolderReady()) return;
  jobRunning_ = true;
  failures_.clear();
  stopped_.clear();
  writtenCount_ = 0;
  notReachedCount_ = 0;
  accurateCount_ = 0;
  endError_.clear();
  QString jobError;
  try {
    RunJob();
  } catch (const EConvertError& e) {
    jobError = QString::fromStdString(e.what());
  }
  currentRowId_ = 0;
  SetBar(JvXPProgressBar2, 0);
  JvXPButton5.setEnabled(true);
  SetBar(JvXPProgressBar1, 0);
  jobRunning_ = false;
  if (closeRequested_) {
    // The window was closed during the job: finish closing now that the
    // last file is complete.
    QTimer::singleShot(0, this, &QWidget::close);
    return;
  }
  if (!jobError.isEmpty()) ShowError(this, jobError);
  ReportJob();
}

bool TForm1::OutputFolderReady() {
  const QString folder = Edit1.text();
  if (folder.isEmpty()) {
    ShowError(this, "Choose an output directory first.");
    return false;
  }
  if (QDir().mkpath(folder)) return true;
  ShowError(this, "Cannot create the output directory \"" + folder + "\".");
  return false;
}

void TForm1::RunJob() {
  checkedCount_ = 0;
  for (int i = 0; i < ListView1.topLevelItemCount(); ++i)
    if (ListView1.topLevelItem(i)->checkState(0) == Qt::Checked) ++checkedCount_;
  SetBar(JvXPProgressBar1, 0);
  if (checkedCount_ > 0) SetBar(JvXPProgressBar1, 100 / checkedCount_);
  stepCount_ = 1;
  TRipJob job(*extractor_, Edit1.text().toStdString());
  TTagStage tags(*extractor_);
  if (!PlanNames(tags)) return;
  job.AddStage(tags);
  TVerifyStage verify(Edit1.text().toStdString(), VerifySettings());
  job.AddStage(verify);
  TWindowJob window(*this, RowIds());
  job_ = &job;
  progressTimer_.start();
  // Whatever ends the job, the window forgets it.
  struct TJobDone {
    TForm1& w;
    ~TJobDone() {
      w.progressTimer_.stop();
      w.job_ = nullptr;
      w.jobStage_ = nullptr;
    }
  } done{*this};
  TEjectStage eject;
  if (EjectBox.isChecked()) job.AddStage(eject);
  job.Run(window);
  QStringList notes;
  for (const std::string& note : tags.Notes()) notes << QString::fromStdString(note);
  if (!notes.isEmpty()) AlbumBox1.NamesLine.setText(notes.join("; "));
  ejectProblems_.clear();
  for (const std::string& problem : eject.Problems()) {
    QString line = QString::fromStdString(problem);
    line[0] = line[0].toUpper();
    ejectProblems_ += " " + line + ".";
  }
  accurateCount_ = verify.AccurateTracks();
  endError_ = QString::fromStdString(verify.EndError());
}

TVerifySettings TForm1::VerifySettings() const {
  TVerifySettings settings;
  settings.TestAndCopy = TestAndCopyBox.isChecked();
  settings.OffsetSource = "settings of the drive's model";
  settings.ReadOffset = [offsets = offsets_](int drive) {
    const auto found = offsets.find(OffsetKey(DriveModelOf(drive)));
    return found == offsets.end() ? 0 : found->second;
  };
  settings.Database.Base = databaseUrl_.toStdString();
  if (ComboBox1.currentIndex() >= 0)
    settings.Format = Formats().at(ComboBox1.currentIndex()).Caption;
  return settings;
}

std::string TForm1::JobName(const TTrackItem& row, const TDiscTrack& track, const TFormat& format) {
  auto named = jobNames_.find(row.Id);
  if (named != jobNames_.end() && plannedCaptions_[row.Id] == row.text(0)) return named->second;
  // A row renamed during the job is named when it is reached.
  QString problem;
  auto one = AlbumBox1.PlanJob({{row.Id, track, row.text(0)}}, format, *jobStage_, problem);
  return problem.isEmpty() ? one[row.Id] : row.text(0).toStdString();
}

bool TForm1::PlanNames(TTagStage& stage) {
  std::vector<TAlbumBox::TRow> rows;
  for (int i = 0; i < ListView1.topLevelItemCount(); ++i) {
    auto* row = static_cast<TTrackItem*>(ListView1.topLevelItem(i));
    if (row->checkState(0) != Qt::Checked) continue;
    try {
      rows.push_back({row->Id, extractor_->setcd(row->text(1).toStdString()), row->text(0)});
      plannedCaptions_[row->Id] = row->text(0);
    } catch (const std::exception&) {
      // The job says what is wrong with the row when it reaches it.
    }
  }
  QString problem;
  jobStage_ = &stage;
  jobNames_ = AlbumBox1.PlanJob(rows, Formats().at(ComboBox1.currentIndex()), stage, problem);
  if (problem.isEmpty()) return true;
  ShowError(this, "The files cannot be named: " + problem + ".");
  return false;
}

void TForm1::ServeDuringJob() {
  // Asleep until something happens: a window event, the progress tick, or
  // a hand-off from the worker, which wakes the loop.
  QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  TMainThreadQueue::Instance().Serve();
  ++waitWakeups_;
}

void TForm1::ShowTrackProgress() {
  if (job_ && job_->Running()) SetBar(JvXPProgressBar2, job_->Progress());
}

void TForm1::ReportJob() {
  QString summary = QString("%1 of %2 tracks written").arg(writtenCount_).arg(checkedCount_);
  for (const TFailedTrack& stopped : stopped_)
    summary += ", " + stopped.Caption + " " + stopped.Error;
  if (!failures_.empty()) summary += QString(", %1 failed").arg(failures_.size());
  if (notReachedCount_ > 0) summary += QString(", %1 not reached").arg(notReachedCount_);
  summary += QString(", %1 accurately ripped").arg(accurateCount_);
  if (!endError_.isEmpty()) summary += "; " + endError_;
  StatusLine.setText(checkedCount_ == 0 ? "Nothing is checked: check the tracks to extract."
                                        : "Done: " + summary + "." + ejectProblems_);
  if (!failures_.empty()) {
    QString text = "These tracks were not extracted:\n";
    for (const TFailedTrack& failed : failures_)
      text += "\n" + failed.Caption + ": " + failed.Error;
    ShowError(this, text);
  }
  if (!endError_.isEmpty()) ShowError(this, endError_);
  failures_.clear();
  stopped_.clear();
}

void TForm1::JvXPButton6Click() {
  if (job_) job_->Stop();
}

void TForm1::JvXPButton7Click() {
  // The rows not reached stay checked: Start rips them later.
  if (job_) job_->StopAll();
}

void TForm1::closeEvent(QCloseEvent* event) {
  if (jobRunning_ && !closeRequested_ && !AskYesNo(this, "A rip is running. Stop it and quit?")) {
    event->ignore();
    return;
  }
  if (jobRunning_) {
    // Stop the track being written and reach no other; the job ends once
    // its file is complete and closed, and then closes the window.
    closeRequested_ = true;
    if (job_) job_->StopAll();
    event->ignore();
    return;
  }
  event->accept();
}

}  // namespace cdx
