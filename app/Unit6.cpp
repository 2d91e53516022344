#include "app/Unit6.h"

#include <QSignalBlocker>
#include <algorithm>

#include "app/QtOwnership.h"

namespace cdx {

namespace {

// The place of `level` on the writer's ladder of levels, -1 when it is not
// on it.
int LadderStep(int level) {
  const auto& ladder = kMACCompressionLevels;
  const auto found = std::find(ladder.begin(), ladder.end(), level);
  return found == ladder.end() ? -1 : static_cast<int>(found - ladder.begin());
}

}  // namespace

TForm6::TForm6(TExtractor& extractor, QWidget* parent)
    : TOptionsWindow("Form6", "Mac options", extractor, "ape", parent),
      RateButtons(GroupBox1, extractor.Settings.Of<TApeSettings>("ape").Rate,
                  [this](int rate) { RateButtonClick(rate); }) {
  BuildControls();
  ConnectHandlers();
}

void TForm6::BuildControls() {
  GroupBox1.setObjectName("GroupBox1");
  GroupBox2.setObjectName("GroupBox2");
  SetUpChannelButtons(GroupBox2, RadioButton5, RadioButton6);

  // The box shows the level the files get, from the start.
  Edit1.setObjectName("Edit1");
  Edit1.setReadOnly(true);
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
  ShowSettings();
}

void TForm6::ShowSettings() {
  RateButtons.Show(Ape().Rate);
  ShowChecked(Ape().Channels == 1 ? RadioButton5 : RadioButton6, true);
  const QSignalBlocker quiet(Edit1);
  Edit1.setText(QString::number(Ape().Level));
}

void TForm6::ConnectHandlers() {
  OnSelected(RadioButton5, this, [this] { RadioButton5Click(); });
  OnSelected(RadioButton6, this, [this] { RadioButton6Click(); });
  connect(&Edit1, &QLineEdit::textChanged, this, &TForm6::Edit1Change);
  connect(&SpinButton1Up, &QToolButton::clicked, this, &TForm6::SpinButton1UpClick);
  connect(&SpinButton1Down, &QToolButton::clicked, this, &TForm6::SpinButton1DownClick);
}

void TForm6::RadioButton5Click() {
  Ape().Channels = 1;
}

void TForm6::RadioButton6Click() {
  Ape().Channels = 2;
}

void TForm6::RateButtonClick(int rate) {
  Ape().Rate = rate;
}

void TForm6::Edit1Change() {
  // Only a level of the ladder is taken, as the writer would.
  if (LadderStep(Edit1.text().toInt()) >= 0) Ape().Level = Edit1.text().toInt();
}

void TForm6::SpinButton1UpClick() {
  const int step = LadderStep(Edit1.text().toInt());
  if (step >= 0 && step + 1 < static_cast<int>(kMACCompressionLevels.size()))
    Edit1.setText(QString::number(kMACCompressionLevels[step + 1]));
}

void TForm6::SpinButton1DownClick() {
  const int step = LadderStep(Edit1.text().toInt());
  if (step > 0) Edit1.setText(QString::number(kMACCompressionLevels[step - 1]));
}

}  // namespace cdx
