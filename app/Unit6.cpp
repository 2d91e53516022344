#include "app/Unit6.h"

#include "app/QtOwnership.h"

namespace cdx {

namespace {

constexpr int kLowestLevel = 1000;
constexpr int kHighestLevel = 4000;
constexpr int kLevelStep = 1000;

}  // namespace

TForm6::TForm6(TExtractor& extractor, QWidget* parent)
    : TOptionsWindow("Form6", "Mac options", extractor, "ape", parent) {
  BuildControls();
  ConnectHandlers();
}

void TForm6::BuildControls() {
  GroupBox1.setObjectName("GroupBox1");
  SetUpRateButtons(GroupBox1, RadioButton7, RadioButton8, RadioButton9, RadioButton10,
                   RadioButton11, RadioButton12);
  GroupBox2.setObjectName("GroupBox2");
  SetUpChannelButtons(GroupBox2, RadioButton5, RadioButton6);

  // The box shows 2000 while the writer keeps the 3000 it was created with,
  // until the first arrow click: the text is set before Edit1Change is
  // connected.
  Edit1.setObjectName("Edit1");
  Edit1.setReadOnly(true);
  Edit1.setText("2000");
  Edit1.setFixedWidth(60);
  SpinButton1.setObjectName("SpinButton1");
  SpinButton1Up.setObjectName("SpinButton1Up");
  SpinButton1Up.setArrowType(Qt::UpArrow);
  SpinButton1Down.setObjectName("SpinButton1Down");
  SpinButton1Down.setArrowType(Qt::DownArrow);
  auto& arrows = InstallLayout<QVBoxLayout>(SpinButton1);
  arrows.setContentsMargins(0, 0, 0, 0);
  arrows.setSpacing(0);
  for (QToolButton* arrow : {&SpinButton1Up, &SpinButton1Down}) {
    arrow->setFixedSize(18, 12);
    arrows.addWidget(arrow);
  }
  GroupBox3.setObjectName("GroupBox3");
  GroupBox3.setTitle("Compression level");
  auto& level = InstallLayout<QHBoxLayout>(GroupBox3);
  level.addWidget(&Edit1);
  level.addWidget(&SpinButton1);
  level.addStretch(1);

  auto& outer = InstallLayout<QGridLayout>(*this);
  outer.addWidget(&GroupBox1, 0, 0, 2, 1);
  outer.addWidget(&GroupBox2, 0, 1);
  outer.addWidget(&GroupBox3, 1, 1);
  setFixedSize(sizeHint());
}

void TForm6::ConnectHandlers() {
  OnSelected(RadioButton5, this, [this] { RadioButton5Click(); });
  OnSelected(RadioButton6, this, [this] { RadioButton6Click(); });
  OnSelected(RadioButton7, this, [this] { RadioButton7Click(); });
  OnSelected(RadioButton8, this, [this] { RadioButton8Click(); });
  OnSelected(RadioButton9, this, [this] { RadioButton9Click(); });
  OnSelected(RadioButton10, this, [this] { RadioButton10Click(); });
  OnSelected(RadioButton11, this, [this] { RadioButton11Click(); });
  OnSelected(RadioButton12, this, [this] { RadioButton12Click(); });
  connect(&Edit1, &QLineEdit::textChanged, this, &TForm6::Edit1Change);
  connect(&SpinButton1Up, &QToolButton::clicked, this, &TForm6::SpinButton1UpClick);
  connect(&SpinButton1Down, &QToolButton::clicked, this, &TForm6::SpinButton1DownClick);
}

void TForm6::RadioButton5Click() {
  Extractor().ApeSettings.Channels = 1;
}

void TForm6::RadioButton6Click() {
  Extractor().ApeSettings.Channels = 2;
}

void TForm6::RadioButton7Click() {
  Extractor().ApeSettings.Rate = 88200;
}

void TForm6::RadioButton8Click() {
  Extractor().ApeSettings.Rate = 44100;
}

void TForm6::RadioButton9Click() {
  Extractor().ApeSettings.Rate = 32000;
}

void TForm6::RadioButton10Click() {
  Extractor().ApeSettings.Rate = 22050;
}

void TForm6::RadioButton11Click() {
  Extractor().ApeSettings.Rate = 11025;
}

void TForm6::RadioButton12Click() {
  Extractor().ApeSettings.Rate = 8000;
}

void TForm6::Edit1Change() {
  Extractor().MACOut1->SetCompressionLevel(Edit1.text().toInt());
}

void TForm6::SpinButton1UpClick() {
  const int level = Edit1.text().toInt();
  if (level < kHighestLevel) Edit1.setText(QString::number(level + kLevelStep));
}

void TForm6::SpinButton1DownClick() {
  const int level = Edit1.text().toInt();
  if (level > kLowestLevel) Edit1.setText(QString::number(level - kLevelStep));
}

}  // namespace cdx
