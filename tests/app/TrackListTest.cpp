// The main window at start and everything that edits the track list.
#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QTest>
#include <filesystem>

#include "tests/app/AppFixture.h"

namespace cdx::test {
namespace {

using TrackList = AppTest;

TEST_F(TrackList, StartsWithTheMusicFolderAnEmptyListAndEightWindows) {
  const QString programDir = QCoreApplication::applicationDirPath() + "/";
  const QString music = QDir::homePath() + "/Music";
  QDir(music).removeRecursively();
  // The fixture moved Edit1 to its own folder; a fresh window offers the
  // user's music folder, made when missing, and makes its own folder current.
  TForm1 fresh;
  EXPECT_EQ(Control<QLineEdit>(fresh, "Edit1").text(), music);
  EXPECT_TRUE(QDir(music).exists());
  EXPECT_EQ(QDir::currentPath() + "/", programDir);
  EXPECT_TRUE(fresh.acceptDrops());
  EXPECT_EQ(fresh.windowTitle(), "cd extractor");
  EXPECT_EQ(Control<QTreeWidget>(fresh, "ListView1").topLevelItemCount(), 0);

  auto& format = Main<QComboBox>("ComboBox1");
  ASSERT_EQ(format.count(), 6);
  EXPECT_EQ(format.currentText(), "Wav");
  EXPECT_EQ(format.itemText(4), "Ape (monkey audio)");
  EXPECT_EQ(format.itemText(5), "Opus");
  EXPECT_EQ(List().headerItem()->text(0), "Name");
  EXPECT_EQ(List().headerItem()->text(1), "File location");
  // Wide enough for a track's name and a drive folder's path.
  EXPECT_GE(List().columnWidth(0), 120);
  EXPECT_GE(List().columnWidth(1), 300);
  EXPECT_EQ(Form1().SortColumn(), 0);
  EXPECT_TRUE(Form1().SortAscending());

  const std::vector<std::pair<QWidget*, QString>> dialogs = {
      {Windows().Form2.get(), "Wav options"},   {Windows().Form3.get(), "Mp3 options"},
      {Windows().Form4.get(), "Ogg stettings"}, {Windows().Form5.get(), "Flac options"},
      {Windows().Form6.get(), "Mac options"},   {Windows().Form7.get(), "Mp3 tag settings"},
      {Windows().Form8.get(), "Opus options"}};
  int number = 2;
  for (auto [dialog, title] : dialogs) {
    EXPECT_EQ(dialog->windowTitle(), title);
    EXPECT_EQ(QString(dialog->metaObject()->className()), QString("cdx::TForm%1").arg(number));
    EXPECT_FALSE(dialog->isVisible()) << title.toStdString();
    ++number;
  }
  // Components as the window loads them; the CD-audio line is silenced.
  EXPECT_EQ(Configured<TWaveOut>("wav").WavType(), wtPCM);
  EXPECT_EQ(Configured<TMACOut>("ape").CompressionLevel(), 3000);
  EXPECT_FALSE(Configured<TFLACOut>("flac").BestModelSearch());
  EXPECT_EQ(Ex().FLACOut1->BlockSize(), 4608);
  EXPECT_EQ(Ex().FlacSettings.Rate, 44100);
  EXPECT_EQ(Ex().FlacSettings.Channels, 2);
  if (Ex().CDPlayer1->CDAudioDevice() >= 0) {
    EXPECT_EQ(Ex().CDPlayer1->LVolume(), 0);
  }
}

TEST_F(TrackList, ControlsCarryTheirCaptionsAndHints) {
  struct Expected {
    const char* name;
    const char* caption;
    const char* hint;
  };
  const Expected buttons[] = {
      {"JvXPButton1", "+", "Add tracks"},
      {"JvXPButton2", "-", "Remove track"},
      {"JvXPButton3", "...", "Click here to select the ouput directory"},
      {"JvXPButton4", "Options", "click here to select the options"},
      {"JvXPButton5", "Start", "Click here to start"},
      {"JvXPButton6", "Stop", "Click here to stop the extraction of the current track"},
      {"JvXPButton7", "Stop all", "Click here to stop  all conversion"},
  };
  for (const Expected& e : buttons) {
    EXPECT_EQ(Button(e.name).text(), e.caption) << e.name;
    EXPECT_EQ(Button(e.name).toolTip(), e.hint) << e.name;
  }
  EXPECT_EQ(Main<QLineEdit>("Edit1").toolTip(), "This is the output directory");
  EXPECT_EQ(Main<QComboBox>("ComboBox1").toolTip(), "Please select the output format");
  for (const char* bar : {"JvXPProgressBar1", "JvXPProgressBar2"}) {
    EXPECT_EQ(Main<QProgressBar>(bar).minimum(), 0);
    EXPECT_EQ(Main<QProgressBar>(bar).maximum(), 100);
  }
  EXPECT_TRUE(Main<QLabel>("JvLinkLabel1").text().contains(">website<"));
}

TEST_F(TrackList, TheHeaderStripPaintsPurpleWithTheGreenMakerName) {
  Form1().show();
  QImage strip = Main<TTitleStrip>("JvGradientCaption1").grab().toImage();
  ASSERT_FALSE(strip.isNull());
  QColor left = strip.pixelColor(1, strip.height() - 2);
  EXPECT_GT(left.red(), 100);
  EXPECT_LT(left.green(), 40);
  EXPECT_GT(left.blue(), 100);
  int green = 0;
  for (int y = 0; y < strip.height(); ++y)
    for (int x = 0; x < strip.width() / 2; ++x)
      if (strip.pixelColor(x, y) == QColor(0x85, 0xBB, 0x65)) ++green;
  EXPECT_GT(green, 10) << "the maker's name is drawn in money green";
}

QMimeData* UrlData(const QStringList& paths, QMimeData& data) {
  QList<QUrl> urls;
  for (const QString& p : paths) urls << QUrl::fromLocalFile(p);
  data.setUrls(urls);
  return &data;
}

TEST_F(TrackList, ADropAddsTheTrackFilesInDropOrderCheckedAndSkipsTheRest) {
  QMimeData data;
  UrlData(
      {TrackPath(3), TrackPath(1), QString::fromStdString(DiscDir() + "/disc.cue"), TrackPath(2)},
      data);
  const QPoint at = List().viewport()->mapTo(&Form1(), QPoint(10, 10));
  QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&Form1(), &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&Form1(), &drop);

  EXPECT_EQ(Captions(), (std::vector<QString>{"Track03", "Track01", "Track02"}));
  EXPECT_EQ(Checks(), (std::vector<bool>{true, true, true}));
  EXPECT_EQ(List().topLevelItem(1)->text(1), TrackPath(1));

  // The same files dropped again add nothing.
  QApplication::sendEvent(&Form1(), &drop);
  EXPECT_EQ(List().topLevelItemCount(), 3);
}

TEST_F(TrackList, OnlyNewLowerCaseCdaPathsBecomeRows) {
  Form1().AddTrackFiles({"/x/Track01.cda", "/x/Track01.CDA", "/x/readme.txt", "/x/Track01.cda",
                         "/X/Track01.cda", "/x/Track02.Cda", "/x/cda", "/x.cda/Track05"});
  ASSERT_EQ(List().topLevelItemCount(), 2);
  EXPECT_EQ(List().topLevelItem(0)->text(1), "/x/Track01.cda");
  EXPECT_EQ(List().topLevelItem(1)->text(1), "/X/Track01.cda") << "paths compare case-sensitively";
  EXPECT_EQ(Captions(), (std::vector<QString>{"Track01", "Track01"}));
}

// Picks files in the real open-file dialog by typing their names.
void PickInOpenDialog(QWidget* modal, const QString& dir, const QString& typed) {
  auto* dialog = qobject_cast<QFileDialog*>(modal);
  ASSERT_NE(dialog, nullptr);
  dialog->setDirectory(dir);
  dialog->findChild<QLineEdit*>("fileNameEdit")->setText(typed);
  static_cast<QDialog*>(dialog)->accept();  // runs the file dialog's own accept
}

TEST_F(TrackList, TheOpenDialogListsTheDrivesAndAddsTheChosenFilesInItsOrder) {
  QList<QUrl> sidebar;
  TModalAnswer pick([&](QWidget* modal) {
    sidebar = qobject_cast<QFileDialog*>(modal)->sidebarUrls();
    PickInOpenDialog(modal, Root(), "\"Track04.cda\" \"Track02.cda\"");
  });
  Button("JvXPButton1").click();
  ASSERT_TRUE(pick.Answered());
  QStringList panel;
  for (const QUrl& url : sidebar) panel << QDir(url.toLocalFile()).canonicalPath();
  EXPECT_TRUE(panel.contains(QDir(Root()).canonicalPath()))
      << "drive roots in the side panel: " << panel.join(' ').toStdString();
  EXPECT_EQ(Captions(), (std::vector<QString>{"Track04", "Track02"}));
  EXPECT_EQ(Checks(), (std::vector<bool>{true, true}));

  // Cancelling after a successful use adds nothing.
  TModalAnswer cancel([](QWidget* modal) { qobject_cast<QDialog*>(modal)->reject(); });
  Main<QMenu>("PopupMenu1").findChild<QAction*>("Add1")->trigger();
  ASSERT_TRUE(cancel.Answered());
  EXPECT_EQ(List().topLevelItemCount(), 2);
}

TEST_F(TrackList, RemoveDeletesExactlyTheSelectedRows) {
  AddTracks({1, 2, 3, 4, 5});
  SelectRows({1, 3});
  Button("JvXPButton2").click();
  EXPECT_EQ(Captions(), (std::vector<QString>{"Track01", "Track03", "Track05"}));
  List().clearSelection();
  Main<QMenu>("PopupMenu1").findChild<QAction*>("Remove1")->trigger();
  EXPECT_EQ(List().topLevelItemCount(), 3) << "nothing selected, nothing removed";
}

TEST_F(TrackList, CheckUncheckInvertsEachSelectedRowOnItsOwn) {
  AddTracks({1, 2, 3});
  List().topLevelItem(1)->setCheckState(0, Qt::Unchecked);
  SelectRows({0, 1});
  QAction* toggle = Main<QMenu>("PopupMenu1").findChild<QAction*>("Checkselected1");
  toggle->trigger();
  EXPECT_EQ(Checks(), (std::vector<bool>{false, true, true}));
  toggle->trigger();
  EXPECT_EQ(Checks(), (std::vector<bool>{true, false, true}));
}

TEST_F(TrackList, TheContextMenuOpensOverTheListWithItsFourItems) {
  Form1().show();
  QWidget* viewport = List().viewport();
  QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5),
                          viewport->mapToGlobal(QPoint(5, 5)));
  QApplication::sendEvent(viewport, &event);
  auto& menu = Main<QMenu>("PopupMenu1");
  EXPECT_TRUE(menu.isVisible());
  QStringList items;
  for (QAction* a : menu.actions()) items << a->text();
  EXPECT_EQ(items, (QStringList{"Add", "Remove", "Rename", "Check/Uncheck"}));
  menu.hide();
}

// Clicks the header of `column` with the mouse.
void ClickHeader(QTreeWidget& list, int column) {
  QHeaderView* header = list.header();
  QPoint at(header->sectionViewportPosition(column) + 5, header->height() / 2);
  QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, at);
}

TEST_F(TrackList, AHeaderClickSortsByCaptionWhicheverColumnAndRecordsTheState) {
  Form1().show();
  Form1().AddTrackFiles(
      {"/b/Track2.cda", "/a/Track10.cda", "/c/Track1.cda", "/d/Trackb.cda", "/e/TrackB.cda"});
  ASSERT_LT(QString::localeAwareCompare("Track10", "Track2"), 0);
  ClickHeader(List(), 1);
  const std::vector<QString> sorted = Captions();
  EXPECT_EQ(sorted[0], "Track1");
  EXPECT_EQ(sorted[1], "Track10");
  EXPECT_EQ(sorted[2], "Track2");
  EXPECT_EQ(Form1().SortColumn(), 1);
  EXPECT_TRUE(Form1().SortAscending());
  // Case matters: both spellings stay, next to each other.
  EXPECT_TRUE((sorted[3] == "Trackb" && sorted[4] == "TrackB") ||
              (sorted[3] == "TrackB" && sorted[4] == "Trackb"));

  ClickHeader(List(), 1);
  EXPECT_FALSE(Form1().SortAscending());
  EXPECT_EQ(Captions(), sorted) << "the second click sorts the same way again";
  ClickHeader(List(), 0);
  EXPECT_EQ(Form1().SortColumn(), 0);
  EXPECT_TRUE(Form1().SortAscending());
  EXPECT_EQ(Captions(), sorted);

  // Rows added afterwards go to the end; the list is not kept sorted.
  Form1().AddTrackFiles({"/f/Track0.cda"});
  EXPECT_EQ(Captions().back(), "Track0");
}

TEST_F(TrackList, RenameEditsTheFirstSelectedCaptionAndTheFileTakesTheNewName) {
  Form1().show();
  Form1().activateWindow();
  AddTracks({1, 2, 3});
  SelectRows({2, 1});
  Main<QMenu>("PopupMenu1").findChild<QAction*>("Rename1")->trigger();
  auto* editor = List().viewport()->findChild<QLineEdit*>();
  ASSERT_NE(editor, nullptr) << "an in-place editor is open";
  EXPECT_EQ(editor->text(), "Track02") << "the first selected row in list order";
  editor->setText("My song");
  QTest::keyClick(editor, Qt::Key_Return);
  QCoreApplication::processEvents();  // the editor commits through a queued call
  EXPECT_EQ(Captions(), (std::vector<QString>{"Track01", "My song", "Track03"}));

  List().topLevelItem(0)->setCheckState(0, Qt::Unchecked);
  List().topLevelItem(2)->setCheckState(0, Qt::Unchecked);
  Start();
  TWavFile wav = ReadWav(OutFile("My song.wav"));
  EXPECT_TRUE(wav.Valid);
  EXPECT_EQ(wav.Data, TrackPcm(2));
  EXPECT_FALSE(std::filesystem::exists(OutFile("Track02.wav")));
}

TEST_F(TrackList, TheFolderPickerSetsEdit1OnlyWhenConfirmed) {
  auto& edit = Main<QLineEdit>("Edit1");
  const QString start = edit.text();
  {
    TModalAnswer cancel([](QWidget* modal) { qobject_cast<QDialog*>(modal)->reject(); });
    Button("JvXPButton3").click();
    ASSERT_TRUE(cancel.Answered());
    EXPECT_EQ(edit.text(), start) << "a cancelled picker must not empty the output directory";
  }
  const QString chosen = QString::fromStdString(OutDir());
  {
    TModalAnswer confirm([&](QWidget* modal) {
      auto* dialog = qobject_cast<QFileDialog*>(modal);
      dialog->setDirectory(chosen);
      static_cast<QDialog*>(dialog)->accept();
    });
    Button("JvXPButton3").click();
    ASSERT_TRUE(confirm.Answered());
    EXPECT_EQ(edit.text(), chosen) << "no trailing separator";
  }
  edit.setText("/somewhere/else");
  TModalAnswer cancel([](QWidget* modal) { qobject_cast<QDialog*>(modal)->reject(); });
  Button("JvXPButton3").click();
  ASSERT_TRUE(cancel.Answered());
  EXPECT_EQ(edit.text(), "/somewhere/else") << "a typed directory survives a cancelled picker";
}

TEST_F(TrackList, OptionsShowsTheDialogOfTheChosenFormatWithoutBlocking) {
  auto& format = Main<QComboBox>("ComboBox1");
  const std::vector<QWidget*> dialogs = {Windows().Form2.get(), Windows().Form3.get(),
                                         Windows().Form4.get(), Windows().Form5.get(),
                                         Windows().Form6.get()};
  for (int i = 0; i < 5; ++i) {
    format.setCurrentIndex(i);
    Button("JvXPButton4").click();  // returns: the dialog is not modal
    EXPECT_TRUE(dialogs[i]->isVisible()) << i;
    EXPECT_FALSE(dialogs[i]->isModal());
  }
  EXPECT_FALSE(Windows().Form7->isVisible());
  Windows().Form2->close();
  EXPECT_FALSE(Windows().Form2->isVisible()) << "closing hides";
  format.setCurrentIndex(0);
  Button("JvXPButton4").click();
  EXPECT_TRUE(Windows().Form2->isVisible()) << "and it comes back";
}

class UrlRecorder : public QObject {
  Q_OBJECT
 public:
  QList<QUrl> Opened;
 public slots:
  void Open(const QUrl& url) { Opened << url; }
};

TEST_F(TrackList, TheWebsiteLinkOpensTheDocumentationPage) {
  UrlRecorder recorder;
  QDesktopServices::setUrlHandler("file", &recorder, "Open");
  auto& link = Main<QLabel>("JvLinkLabel1");
  emit link.linkActivated("website");
  QDesktopServices::unsetUrlHandler("file");
  ASSERT_EQ(recorder.Opened.size(), 1);
  EXPECT_EQ(recorder.Opened[0], QUrl(CDX_WEBSITE_URL));
  EXPECT_TRUE(std::filesystem::exists(recorder.Opened[0].toLocalFile().toStdString()));
}

TEST_F(TrackList, AddDiscListsTheAudioTracksOfTheChosenDriveAndStartListsTheOnlyDisc) {
  const struct {
    const char* name;
    std::vector<const char*> discs;  // a disc of two audio tracks and a data track each
    int listedAtStart;
    int addedByButton;  // the tracks of the last drive that the list lacked
  } cases[] = {{"one disc", {"disc"}, 2, 0}, {"two discs", {"disc", "other"}, 0, 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (const char* disc : c.discs)
      dm::WriteImage(DiscDir() + "/" + disc + ".cue",
                     {dm::Sine(75, 440), dm::Sine(75, 660), dm::Data(300)});
    ReopenWindows();
    Form1().ListTheOnlyAudioDisc();
    EXPECT_EQ(List().topLevelItemCount(), c.listedAtStart);
    auto& drives = Main<QComboBox>("DriveBox");
    ASSERT_EQ(drives.count(), static_cast<int>(c.discs.size()));
    EXPECT_EQ(
        drives.itemText(c.discs.size() - 1),
        QString("Drive %1: %2.cue (2 audio tracks)").arg(c.discs.size() - 1).arg(c.discs.back()));
    // The last drive's tracks are in the list once, checked, the data track
    // left out.
    drives.setCurrentIndex(drives.count() - 1);
    for (int press = 0; press < 2; ++press) Button("AddDiscButton").click();
    ASSERT_EQ(List().topLevelItemCount(), c.listedAtStart + c.addedByButton);
    const QString root = QString::fromStdString(Ex().CDIn1->DriveRoot(drives.count() - 1));
    for (int track = 1; track <= 2; ++track) {
      QTreeWidgetItem* row = List().topLevelItem(List().topLevelItemCount() - 3 + track);
      EXPECT_EQ(row->text(1), root + QString("Track%1.cda").arg(track, 2, 10, QChar('0')));
      EXPECT_EQ(row->checkState(0), Qt::Checked);
    }
  }
}

TEST_F(TrackList, EveryOptionsDialogHasACloseButtonThatHidesIt) {
  for (TOptionsWindow* dialog : Windows().Dialogs()) {
    SCOPED_TRACE(dialog->windowTitle().toStdString());
    dialog->ShowNonModal();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));
    auto& close = Control<QPushButton>(*dialog, "CloseButton");
    EXPECT_EQ(close.text(), "Close");
    // Inside the dialog's fixed size, not cut off.
    EXPECT_TRUE(dialog->rect().contains(close.geometry()));
    close.click();
    EXPECT_FALSE(dialog->isVisible());
  }
}

}  // namespace
}  // namespace cdx::test

#include "TrackListTest.moc"
