#include "app/Unit7.h"

#include <QGridLayout>
#include <QSignalBlocker>

#include "app/QtOwnership.h"

namespace cdx {

namespace {

// The ID3v1 genres as far as the table went at "Dance Hall", number 125.
constexpr int kListedGenres = 126;

}  // namespace

TForm7::TForm7(TExtractor& extractor, QWidget* parent)
    : TOptionsWindow("Form7", "Mp3 tag settings", extractor, "", parent) {
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, QColor("#EAEAEE"));
  setPalette(palette);
  BuildControls();
  LayOut();
  ConnectFields();
  connect(&JvXPButton1, &QPushButton::clicked, this, &TForm7::JvXPButton1Click);
}

std::vector<std::pair<QLineEdit*, std::string TMP3Tags::*>> TForm7::TextFields() {
  return {{&Edit1, &TMP3Tags::Album}, {&Edit2, &TMP3Tags::Artist}, {&Edit3, &TMP3Tags::Title},
          {&Edit4, &TMP3Tags::Track}, {&Edit5, &TMP3Tags::Year},   {&Edit7, &TMP3Tags::Comment}};
}

void TForm7::ConnectFields() {
  TMp3Settings& mp3 = Extractor().Mp3Settings;
  for (auto [edit, field] : TextFields())
    connect(edit, &QLineEdit::textChanged, this,
            [&mp3, field](const QString& text) { mp3.TagFields.*field = text.toStdString(); });
  connect(&ComboBox1, &QComboBox::currentTextChanged, this,
          [&mp3](const QString& text) { mp3.TagFields.Genre = text.toStdString(); });
  connect(&CheckBox2, &QCheckBox::toggled, this, [&mp3](bool on) { mp3.TitleFromNameBox = on; });
  connect(&CheckBox1, &QCheckBox::toggled, this, [&mp3](bool on) { mp3.IncrementTrackBox = on; });
}

void TForm7::ShowSettings() {
  const TMp3Settings& mp3 = Extractor().Mp3Settings;
  const TMP3Tags fields = mp3.TagFields;
  for (auto [edit, field] : TextFields()) {
    const QSignalBlocker quiet(*edit);
    edit->setText(QString::fromStdString(fields.*field));
  }
  {
    const QSignalBlocker quiet(ComboBox1);
    ComboBox1.setEditText(QString::fromStdString(fields.Genre));
  }
  ShowChecked(CheckBox2, mp3.TitleFromNameBox);
  ShowChecked(CheckBox1, mp3.IncrementTrackBox);
}

void TForm7::BuildControls() {
  const struct {
    QGroupBox& box;
    const char* boxName;
    const char* title;
    QLineEdit& edit;
    const char* editName;
  } fields[] = {{GroupBox1, "GroupBox1", "Album", Edit1, "Edit1"},
                {GroupBox2, "GroupBox2", "Artist", Edit2, "Edit2"},
                {GroupBox3, "GroupBox3", "Title", Edit3, "Edit3"},
                {GroupBox4, "GroupBox4", "Track", Edit4, "Edit4"},
                {GroupBox5, "GroupBox5", "Year", Edit5, "Edit5"},
                {GroupBox6, "GroupBox6", "Comment", Edit7, "Edit7"}};
  for (const auto& f : fields) {
    f.box.setObjectName(f.boxName);
    f.box.setTitle(f.title);
    f.edit.setObjectName(f.editName);
    InstallLayout<QHBoxLayout>(f.box).addWidget(&f.edit);
  }
  Edit4.setFixedWidth(60);
  Edit5.setFixedWidth(60);
  Edit7.setMinimumWidth(300);
  CheckBox2.setObjectName("CheckBox2");
  CheckBox2.setText("Filename as title");
  CheckBox1.setObjectName("CheckBox1");
  CheckBox1.setText("Increment track");
  BuildGenreList();
  JvXPButton1.setObjectName("JvXPButton1");
  JvXPButton1.setText("Close");
}

void TForm7::BuildGenreList() {
  GroupBox7.setObjectName("GroupBox7");
  GroupBox7.setTitle("Genre");
  ComboBox1.setObjectName("ComboBox1");
  ComboBox1.setEditable(true);
  ComboBox1.setInsertPolicy(QComboBox::NoInsert);
  ComboBox1.setMaxVisibleItems(25);
  // The library's own names, so every one of them gets its number in the
  // file.
  ComboBox1.addItem(QString());
  const std::vector<std::string> genres = LameGenreNames();
  for (int number = 0; number < kListedGenres && number < static_cast<int>(genres.size()); ++number)
    ComboBox1.addItem(QString::fromStdString(genres[number]));
  ComboBox1.setCurrentIndex(0);
  InstallLayout<QHBoxLayout>(GroupBox7).addWidget(&ComboBox1);
}

void TForm7::LayOut() {
  auto& outer = InstallLayout<QVBoxLayout>(*this);
  outer.setContentsMargins(0, 0, 0, 6);
  outer.addWidget(&JvGradientCaption1);
  auto& grid = AddLayout<QGridLayout>(outer);
  grid.setContentsMargins(6, 0, 6, 0);
  grid.addWidget(&GroupBox1, 0, 0, 1, 2);
  grid.addWidget(&GroupBox2, 1, 0, 1, 2);
  grid.addWidget(&GroupBox3, 2, 0);
  grid.addWidget(&CheckBox2, 2, 1);
  grid.addWidget(&GroupBox4, 3, 0);
  grid.addWidget(&CheckBox1, 3, 1);
  grid.addWidget(&GroupBox5, 4, 0);
  grid.addWidget(&GroupBox7, 4, 1);
  grid.addWidget(&GroupBox6, 5, 0, 1, 2);
  grid.addWidget(&JvXPButton1, 6, 1, Qt::AlignRight);
  setFixedSize(sizeHint());
}

void TForm7::SaveOwnState(QSettings& settings) const {
  const TMp3Settings& mp3 = Extractor().Mp3Settings;
  const TMP3Tags& fields = mp3.TagFields;
  for (auto [name, text] : {std::pair{"Album", &fields.Album}, std::pair{"Artist", &fields.Artist},
                            std::pair{"Title", &fields.Title}, std::pair{"Track", &fields.Track},
                            std::pair{"Year", &fields.Year}, std::pair{"Comment", &fields.Comment},
                            std::pair{"Genre", &fields.Genre}})
    settings.setValue(SettingKey(name), QString::fromStdString(*text));
  settings.setValue(SettingKey("FilenameAsTitle"), mp3.TitleFromNameBox);
  settings.setValue(SettingKey("IncrementTrack"), mp3.IncrementTrackBox);
}

void TForm7::RestoreOwnState(const QSettings& settings) {
  TMp3Settings& mp3 = Extractor().Mp3Settings;
  TMP3Tags& fields = mp3.TagFields;
  for (auto [name, text] : {std::pair{"Album", &fields.Album}, std::pair{"Artist", &fields.Artist},
                            std::pair{"Title", &fields.Title}, std::pair{"Track", &fields.Track},
                            std::pair{"Year", &fields.Year}, std::pair{"Comment", &fields.Comment},
                            std::pair{"Genre", &fields.Genre}})
    *text = settings.value(SettingKey(name)).toString().toStdString();
  mp3.TitleFromNameBox = settings.value(SettingKey("FilenameAsTitle"), false).toBool();
  mp3.IncrementTrackBox = settings.value(SettingKey("IncrementTrack"), false).toBool();
}

void TForm7::JvXPButton1Click() {
  hide();
  Extractor().Mp3Settings.HandOverTagFields();
}

}  // namespace cdx
