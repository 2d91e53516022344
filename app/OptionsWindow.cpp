#include "app/OptionsWindow.h"

namespace cdx {

TOptionsWindow::TOptionsWindow(const QString& objectName, const QString& title, QWidget* parent)
    : QDialog(parent) {
  setObjectName(objectName);
  setWindowTitle(title);
  setModal(false);
  setAttribute(Qt::WA_QuitOnClose, false);
  setAutoFillBackground(true);
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, QColor(kWindowColour));
  setPalette(palette);
}

void TOptionsWindow::ShowNonModal() {
  show();
  raise();
  activateWindow();
}

}  // namespace cdx
