// The painted header strip at the top of the main window: a gradient from
// purple, the maker's name in bold money-green, then the window's caption.
#pragma once

#include <QFont>
#include <QWidget>

namespace cdx {

class TTitleStrip : public QWidget {
  Q_OBJECT
 public:
  explicit TTitleStrip(QWidget* parent = nullptr);

  static constexpr const char* kItemText = "Vantor ";
  static constexpr const char* kCaption = "cd extractor";
  // Bold Trebuchet MS when the machine has it, else the default family bold.
  QFont ItemFont() const;
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace cdx
