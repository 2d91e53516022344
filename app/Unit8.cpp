#include "app/Unit8.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "app/QtOwnership.h"

namespace cdx {

namespace {

// Like the track bars of the Ogg dialog: a drag takes effect when the mouse
// button is released; a click on the groove, the keyboard and a restored
// setting at once.
template <class Handler>
void OnTrackBarSet(QSlider& bar, QObject* context, Handler handler) {
  QObject::connect(&bar, &QSlider::sliderReleased, context, handler);
  QObject::connect(&bar, &QSlider::valueChanged, context, [&bar, handler] {
    if (!bar.isSliderDown()) handler();
  });
}

}  // namespace

TForm8::TForm8(TExtractor& extractor, QWidget* parent)
    : TOptionsWindow("Form8", "Opus options", extractor, "opus", parent) {
  BuildControls();
  ConnectHandlers();
}

void TForm8::BuildTrackBar(QGroupBox& box, const char* boxName, const char* title, QSlider& bar,
                           const char* barName, int low, int high, QLabel& left, QLabel& right) {
  box.setObjectName(boxName);
  box.setTitle(title);
  bar.setObjectName(barName);
  bar.setOrientation(Qt::Horizontal);
  bar.setRange(low, high);
  bar.setTickPosition(QSlider::TicksBelow);
  auto& row = InstallLayout<QHBoxLayout>(box);
  row.addWidget(&left);
  row.addWidget(&bar, 1);
  row.addWidget(&right);
}

void TForm8::BuildControls() {
  BuildTrackBar(GroupBox1, "GroupBox1", "Bitrate", JvTrackBar1, "JvTrackBar1", kOpusMinBitrateKbps,
                kOpusMaxBitrateKbps, Label1, Label2);
  JvTrackBar1.setTickInterval(32);
  JvTrackBar1.setPageStep(16);
  Label1.setText(QString::number(kOpusMinBitrateKbps));
  // Wide enough for the largest bitrate, so the bar keeps its length.
  Label2.setMinimumWidth(Label2.fontMetrics().horizontalAdvance("256 kbit/s"));

  GroupBox2.setObjectName("GroupBox2");
  SetUpChannelButtons(GroupBox2, RadioButton5, RadioButton6);

  GroupBox3.setObjectName("GroupBox3");
  GroupBox3.setTitle("Bitrate mode");
  ComboBox1.setObjectName("ComboBox1");
  // In the order of TOpusBitrateMode.
  ComboBox1.addItems({"VBR", "Constrained VBR", "CBR"});
  InstallLayout<QVBoxLayout>(GroupBox3).addWidget(&ComboBox1);

  BuildTrackBar(GroupBox4, "GroupBox4", "Complexity", JvTrackBar2, "JvTrackBar2", 0,
                kOpusMaxComplexity, Label3, Label4);
  JvTrackBar2.setTickInterval(1);
  JvTrackBar2.setPageStep(1);
  Label3.setText("fast");
  Label4.setText("best");

  auto& outer = InstallLayout<QGridLayout>(*this);
  outer.addWidget(&GroupBox1, 0, 0, 1, 2);
  outer.addWidget(&GroupBox4, 1, 0, 1, 2);
  outer.addWidget(&GroupBox2, 2, 0);
  outer.addWidget(&GroupBox3, 2, 1);
  ShowSettings();
  setFixedSize(sizeHint());
}

void TForm8::ShowSettings() {
  {
    const QSignalBlocker quiet(JvTrackBar1);
    JvTrackBar1.setValue(Opus().Bitrate);
  }
  ShowBitrate();
  {
    const QSignalBlocker quiet(JvTrackBar2);
    JvTrackBar2.setValue(Opus().Complexity);
  }
  ShowChecked(Opus().Channels == 1 ? RadioButton5 : RadioButton6, true);
  ComboBox1.setCurrentIndex(static_cast<int>(Opus().Mode));
}

void TForm8::ShowBitrate() {
  Label2.setText(QString("%1 kbit/s").arg(JvTrackBar1.value()));
}

void TForm8::ConnectHandlers() {
  OnTrackBarSet(JvTrackBar1, this, [this] { JvTrackBar1Changed(); });
  // The figure follows a drag, before it takes effect.
  connect(&JvTrackBar1, &QSlider::valueChanged, this, &TForm8::ShowBitrate);
  OnTrackBarSet(JvTrackBar2, this, [this] { JvTrackBar2Changed(); });
  OnSelected(RadioButton5, this, [this] { RadioButton5Click(); });
  OnSelected(RadioButton6, this, [this] { RadioButton6Click(); });
  connect(&ComboBox1, &QComboBox::activated, this, &TForm8::ComboBox1Select);
}

void TForm8::JvTrackBar1Changed() {
  Opus().Bitrate = JvTrackBar1.value();
}

void TForm8::JvTrackBar2Changed() {
  Opus().Complexity = JvTrackBar2.value();
}

void TForm8::RadioButton5Click() {
  Opus().Channels = 1;
}

void TForm8::RadioButton6Click() {
  Opus().Channels = 2;
}

void TForm8::ComboBox1Select(int index) {
  if (index >= obmVBR && index <= obmCBR) Opus().Mode = static_cast<TOpusBitrateMode>(index);
}

}  // namespace cdx
