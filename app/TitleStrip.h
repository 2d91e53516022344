// The painted header strip at the top of a window: a gradient from purple,
// an item in bold money-green (the maker's name on the main window), then
// the window's caption.
#pragma once

#include <QFont>
#include <QWidget>

namespace cdx {

class TTitleStrip : public QWidget {
  Q_OBJECT
 public:
  explicit TTitleStrip(QWidget* parent = nullptr, QString itemText = kItemText,
                       QString caption = kCaption);

  static constexpr const char* kItemText = "Vantor ";
  static constexpr const char* kCaption = "cd extractor";
  // Bold Trebuchet MS when the machine has it, else the default family bold.
  QFont ItemFont() const;
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString itemText_;
  QString caption_;
};

}  // namespace cdx
