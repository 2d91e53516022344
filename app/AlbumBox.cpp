#include "app/AlbumBox.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QMetaObject>

#include "extractor/FileNames.h"

namespace cdx {

namespace {

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

// A field the user typed in keeps his text.
void Offer(QLineEdit& field, const std::string& value) {
  if (!field.isModified()) field.setText(Q(value));
}

QString TrackNNOf(int number) {
  return QString("Track%1").arg(number, 2, 10, QChar('0'));
}

}  // namespace

TAlbumBox::TAlbumBox(QWidget* parent) : QGroupBox(parent) {
  setObjectName("AlbumBox");
  const std::pair<QWidget*, const char*> named[] = {
      {&Album, "AlbumEdit"},      {&AlbumArtist, "AlbumArtistEdit"}, {&Year, "YearEdit"},
      {&Genre, "GenreEdit"},      {&Template, "TemplateEdit"},       {&Release, "ReleaseBox"},
      {&TagFiles, "TagFilesBox"}, {&NamesLine, "NamesLine"}};
  for (const auto& [widget, name] : named) widget->setObjectName(name);
  Template.setText(kDefaultTemplate);
  Template.setToolTip(
      "The files' names below the output directory: %A album artist, %d album, "
      "%n track number, %t title, %a track artist, %y year, %I disc ID");
  TagFiles.setText("Tag the files (names, ReplayGain, cover)");
  TagFiles.setChecked(true);
  Release.setEnabled(false);
  NamesLine.setWordWrap(true);

  auto& form = *new QFormLayout(this);
  form.setContentsMargins(6, 4, 6, 6);
  form.setVerticalSpacing(2);
  form.addRow("Album", &Album);
  form.addRow("Album artist", &AlbumArtist);
  auto& yearAndGenre = *new QHBoxLayout;
  yearAndGenre.addWidget(&Year, 1);
  yearAndGenre.addWidget(new QLabel("Genre", this));
  yearAndGenre.addWidget(&Genre, 2);
  form.addRow("Year", &yearAndGenre);
  form.addRow("Release", &Release);
  form.addRow("File names", &Template);
  form.addRow(&TagFiles);
  form.addRow(&NamesLine);
  connect(&Release, qOverload<int>(&QComboBox::activated), this, &TAlbumBox::ReleaseChosen);
}

void TAlbumBox::SaveState(QSettings& settings) const {
  settings.setValue("Names/Template", Template.text());
  settings.setValue("Names/TagFiles", TagFiles.isChecked());
}

void TAlbumBox::RestoreState(const QSettings& settings) {
  const QString tmpl = settings.value("Names/Template").toString();
  if (!tmpl.isEmpty()) Template.setText(tmpl);
  TagFiles.setChecked(settings.value("Names/TagFiles", true).toBool());
}

TAlbumBox::~TAlbumBox() {
  for (std::thread& lookup : lookups_) lookup.join();
}

void TAlbumBox::ShowDisc(int drive) {
  if (drive < 0 || discs_.count(drive)) {
    if (drive >= 0 && drive != shown_) Show(drive);
    return;
  }
  TDiscNames names = ReadDiscNames(TDisc::Read(drive));
  discs_[drive] = names;
  Show(drive);
  StartLookUp(drive, std::move(names), true);
}

void TAlbumBox::StartLookUp(int drive, TDiscNames names, bool lookUp) {
  const unsigned generation = ++generation_;
  lookups_.emplace_back([this, drive, generation, names = std::move(names), lookUp]() mutable {
    TNameSources sources;
    if (lookUp) LookUpNames(names, sources);
    FetchCover(names, sources);
    QMetaObject::invokeMethod(
        this, [this, drive, generation, names] { LookedUp(drive, generation, names); },
        Qt::QueuedConnection);
  });
}

void TAlbumBox::LookedUp(int drive, unsigned generation, const TDiscNames& names) {
  // An answer overtaken by a later question is of no use.
  if (generation != generation_) return;
  discs_[drive] = names;
  Show(drive);
}

void TAlbumBox::Show(int drive) {
  shown_ = drive;
  const TDiscNames& names = discs_.at(drive);
  Release.clear();
  const std::vector<metadata::TRelease>& releases = names.Lookup.Releases;
  if (names.NeedsChoice()) Release.addItem("Choose the release of this disc");
  for (const metadata::TRelease& release : releases)
    Release.addItem(Q(metadata::DescribeRelease(release)));
  Release.setEnabled(releases.size() > 1);
  if (names.Release >= 0) Release.setCurrentIndex(names.Release);
  QStringList notes;
  for (const std::string& note : names.Notes) notes << Q(note);
  if (!names.HasNames()) notes << "the files are called TrackNN";
  NamesLine.setText(notes.join("; "));

  TTrackTags album;
  if (const metadata::TRelease* release = names.Chosen()) {
    album.Set(TTagField::Album, release->Title);
    album.Set(TTagField::AlbumArtist, release->Artist);
    album.Set(TTagField::Date, release->Date);
    album.Set(TTagField::Genre, release->Genre);
  } else {
    album.Set(TTagField::Album, names.Text.title);
    album.Set(TTagField::AlbumArtist, names.Text.performer);
    album.Set(TTagField::Date, names.Text.date);
    album.Set(TTagField::Genre, names.Text.genre);
  }
  Offer(Album, album.Get(TTagField::Album));
  Offer(AlbumArtist, album.Get(TTagField::AlbumArtist));
  Offer(Year, album.Get(TTagField::Date));
  Offer(Genre, album.Get(TTagField::Genre));

  std::map<int, QString> titles;
  for (int number = 1; number <= 99; ++number)
    if (std::string title = TrackTitleOf(names, number); !title.empty()) titles[number] = Q(title);
  emit TitlesFound(drive, titles);
}

void TAlbumBox::ReleaseChosen(int index) {
  if (shown_ < 0) return;
  TDiscNames& names = discs_.at(shown_);
  const int number = index + (names.NeedsChoice() ? 0 : 1);
  if (number < 1 || !ChooseRelease(names, std::to_string(number))) return;
  names.Cover.reset();
  Show(shown_);
  StartLookUp(shown_, names, false);
}

TAlbumFields TAlbumBox::Fields() const {
  TAlbumFields fields;
  fields.Album = Album.text().toStdString();
  fields.AlbumArtist = AlbumArtist.text().toStdString();
  fields.Year = Year.text().toStdString();
  fields.Genre = Genre.text().toStdString();
  return fields;
}

std::map<quint64, std::string> TAlbumBox::PlanJob(const std::vector<TRow>& rows,
                                                  const TFormat& format, TTagStage& stage,
                                                  QString& problem) {
  const std::string tmpl = Template.text().toStdString();
  problem = Q(TemplateProblem(tmpl));
  if (!problem.isEmpty()) return {};
  stage.Tagging = Tagging();
  // The rows of each disc are named together, so that two of them never
  // get one name.
  std::map<int, std::vector<const TRow*>> byDrive;
  for (const TRow& row : rows) byDrive[row.Track.Drive].push_back(&row);
  std::map<quint64, std::string> files;
  for (const auto& [drive, discRows] : byDrive) {
    const TDisc disc = TDisc::Read(drive);
    const TDiscNames names = discs_.count(drive) ? discs_.at(drive) : ReadDiscNames(disc);
    if (names.Cover) stage.SetCoverFile(names.Cover, names.CoverExtension);
    std::vector<TTrackTags> tags;
    for (const TRow* row : discRows) {
      tags.push_back(TrackTagsOf(names, disc, row->Track.Track, Fields()));
      if (row->Caption != TrackNNOf(row->Track.Track))
        tags.back().SetByUser(TTagField::Title, row->Caption.toStdString());
    }
    std::vector<std::pair<int, const TTrackTags*>> numbered;
    for (size_t k = 0; k < discRows.size(); ++k)
      numbered.push_back({discRows[k]->Track.Track, &tags[k]});
    const std::vector<TNamedFile> named = NameTracks(tmpl, format, names, numbered);
    for (size_t k = 0; k < discRows.size(); ++k) {
      files[discRows[k]->Id] = named[k].Name;
      stage.SetTrackTags(discRows[k]->Id, std::move(tags[k]));
    }
  }
  return files;
}

}  // namespace cdx
