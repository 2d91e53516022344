#include "app/TitleStrip.h"

#include <QFontDatabase>
#include <QLinearGradient>
#include <QPainter>

namespace cdx {

namespace {
const QColor kPurple(0x80, 0x00, 0x80);
const QColor kGradientEnd(0xE2, 0xE2, 0xE7);
const QColor kMoneyGreen(0x85, 0xBB, 0x65);
}  // namespace

TTitleStrip::TTitleStrip(QWidget* parent, QString itemText, QString caption)
    : QWidget(parent), itemText_(std::move(itemText)), caption_(std::move(caption)) {
  setObjectName("JvGradientCaption1");
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

QFont TTitleStrip::ItemFont() const {
  QFont f = font();
  if (QFontDatabase::families().contains(QStringLiteral("Trebuchet MS")))
    f.setFamily(QStringLiteral("Trebuchet MS"));
  f.setBold(true);
  f.setPointSizeF(f.pointSizeF() + 1);
  return f;
}

QSize TTitleStrip::sizeHint() const {
  return {200, QFontMetrics(ItemFont()).height() + 8};
}

void TTitleStrip::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  QLinearGradient gradient(0, 0, width(), 0);
  gradient.setColorAt(0, kPurple);
  gradient.setColorAt(1, kGradientEnd);
  painter.fillRect(rect(), gradient);

  const QFont itemFont = ItemFont();
  QFont captionFont = itemFont;
  captionFont.setFamily(font().family());
  const int x = 6;
  const int baseline =
      (height() + QFontMetrics(itemFont).ascent() - QFontMetrics(itemFont).descent()) / 2;
  painter.setFont(itemFont);
  painter.setPen(kMoneyGreen);
  painter.drawText(x, baseline, itemText_);
  // The caption follows the item without a gap: the item's trailing blank
  // is the only space between them.
  const int captionX = x + QFontMetrics(itemFont).horizontalAdvance(itemText_);
  painter.setFont(captionFont);
  painter.setPen(Qt::white);
  painter.drawText(captionX, baseline, caption_);
}

}  // namespace cdx
