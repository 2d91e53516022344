#include "app/Unit4.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "app/QtOwnership.h"

namespace cdx {

TForm4::TForm4(TExtractor& extractor, QWidget* parent)
    : TOptionsWindow("Form4", "Ogg stettings", extractor, "ogg", parent) {
  BuildControls();
  ConnectHandlers();
}

void TForm4::BuildControls() {
  GroupBox1.setObjectName("GroupBox1");
  GroupBox1.setTitle("Compression modifier");
  JvTrackBar1.setObjectName("JvTrackBar1");
  JvTrackBar1.setOrientation(Qt::Horizontal);
  JvTrackBar1.setRange(0, 100);
  JvTrackBar1.setTickInterval(10);
  JvTrackBar1.setTickPosition(QSlider::TicksBelow);
  JvTrackBar1.setValue(20);
  Label1.setText("size");
  Label2.setText("quality");
  auto& bar = InstallLayout<QHBoxLayout>(GroupBox1);
  bar.addWidget(&Label1);
  bar.addWidget(&JvTrackBar1, 1);
  bar.addWidget(&Label2);

  GroupBox2.setObjectName("GroupBox2");
  SetUpRadioGroup(GroupBox2, "Channels",
                  {{RadioButton19, "RadioButton19", "Keep as it is", true},
                   {RadioButton20, "RadioButton20", "Mono", false},
                   {RadioButton21, "RadioButton21", "Stereo", false}});
  BuildBitrateLists();

  auto& outer = InstallLayout<QGridLayout>(*this);
  outer.addWidget(&GroupBox1, 0, 0, 1, 2);
  outer.addWidget(&GroupBox2, 1, 0);
  outer.addWidget(&GroupBox3, 1, 1);
  setFixedSize(sizeHint());
  ShowSettings();
}

void TForm4::ShowSettings() {
  {
    const QSignalBlocker quiet(JvTrackBar1);
    JvTrackBar1.setValue(Ogg().QualityHundredths);
  }
  const TOggChannelMode mode = Ogg().ChannelMode;
  ShowChecked(mode == TOggChannelMode::Mono     ? RadioButton20
              : mode == TOggChannelMode::Stereo ? RadioButton21
                                                : RadioButton19,
              true);
  ComboBox5.setCurrentIndex(Ogg().Bitrates.Nominal);
  ComboBox4.setCurrentIndex(Ogg().Bitrates.Maximum);
  ComboBox6.setCurrentIndex(Ogg().Bitrates.Minimum);
}

void TForm4::BuildBitrateLists() {
  QStringList items{"AutoSelect"};
  for (int kbps : kVorbisBitRatesKbps) items << QString::number(kbps);
  GroupBox3.setObjectName("GroupBox3");
  GroupBox3.setTitle("Bitrate");
  auto& lists = InstallLayout<QVBoxLayout>(GroupBox3);
  // Nominal first: restoring saved lists in this order keeps each one
  // valid for the rules the later ones are checked against.
  const struct {
    QGroupBox& box;
    const char* boxName;
    const char* title;
    QComboBox& list;
    const char* listName;
  } rows[] = {{GroupBox4, "GroupBox4", "Desired nominal", ComboBox5, "ComboBox5"},
              {GroupBox5, "GroupBox5", "Desired maximum", ComboBox4, "ComboBox4"},
              {GroupBox6, "GroupBox6", "Minimum Bitrate", ComboBox6, "ComboBox6"}};
  for (const auto& row : rows) {
    row.box.setObjectName(row.boxName);
    row.box.setTitle(row.title);
    row.list.setObjectName(row.listName);
    row.list.addItems(items);
    row.list.setCurrentIndex(0);
    InstallLayout<QVBoxLayout>(row.box).addWidget(&row.list);
    lists.addWidget(&row.box);
  }
}

void TForm4::ConnectHandlers() {
  // A drag takes effect when the mouse button is released; a click on the
  // groove, the keyboard and a restored setting at once.
  connect(&JvTrackBar1, &QSlider::sliderReleased, this, &TForm4::JvTrackBar1Changed);
  connect(&JvTrackBar1, &QSlider::valueChanged, this, [this] {
    if (!JvTrackBar1.isSliderDown()) JvTrackBar1Changed();
  });
  OnSelected(RadioButton19, this, [this] { RadioButton19Click(); });
  OnSelected(RadioButton20, this, [this] { RadioButton20Click(); });
  OnSelected(RadioButton21, this, [this] { RadioButton21Click(); });
  connect(&ComboBox5, &QComboBox::activated, this, &TForm4::ComboBox5Select);
  connect(&ComboBox4, &QComboBox::activated, this, &TForm4::ComboBox4Select);
  connect(&ComboBox6, &QComboBox::activated, this, &TForm4::ComboBox6Select);
}

void TForm4::JvTrackBar1Changed() {
  Ogg().QualityHundredths = JvTrackBar1.value();
}

void TForm4::RadioButton19Click() {
  Ogg().ChannelMode = TOggChannelMode::Keep;
}

void TForm4::RadioButton20Click() {
  Ogg().ChannelMode = TOggChannelMode::Mono;
}

void TForm4::RadioButton21Click() {
  Ogg().ChannelMode = TOggChannelMode::Stereo;
}

void TForm4::ComboBox5Select(int) {
  const int nominal = ComboBox5.currentIndex();
  if (nominal > ComboBox4.currentIndex()) ComboBox4.setCurrentIndex(nominal);
  if (nominal < ComboBox6.currentIndex()) ComboBox6.setCurrentIndex(0);
  if (ComboBox4.currentIndex() == 0) ComboBox4.setCurrentIndex(nominal);
  WriteBitrates();
}

void TForm4::ComboBox4Select(int) {
  const int nominal = ComboBox5.currentIndex();
  if (nominal == 0 || nominal > ComboBox4.currentIndex()) ComboBox4.setCurrentIndex(0);
  if (ComboBox4.currentIndex() < ComboBox6.currentIndex()) ComboBox6.setCurrentIndex(0);
  WriteBitrates();
}

void TForm4::ComboBox6Select(int) {
  const int nominal = ComboBox5.currentIndex();
  const int minimum = ComboBox6.currentIndex();
  if (nominal == 0 || nominal < minimum || ComboBox4.currentIndex() < minimum)
    ComboBox6.setCurrentIndex(0);
  WriteBitrates();
}

void TForm4::WriteBitrates() {
  TVorbisBitrates& bitrates = Ogg().Bitrates;
  bitrates.SetNominal(static_cast<TVorbisBitRate>(ComboBox5.currentIndex()));
  bitrates.SetMaximum(static_cast<TVorbisBitRate>(ComboBox4.currentIndex()));
  bitrates.SetMinimum(static_cast<TVorbisBitRate>(ComboBox6.currentIndex()));
}

}  // namespace cdx
