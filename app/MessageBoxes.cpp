#include "app/MessageBoxes.h"

#include <QMessageBox>

namespace cdx {

namespace {

TMessageBoxHandler& Handler() {
  static TMessageBoxHandler handler;
  return handler;
}

void Show(QWidget* parent, TMessageKind kind, const QString& text) {
  if (Handler()) {
    Handler()(kind, text);
    return;
  }
  const QString title = QStringLiteral("cd extractor");
  if (kind == TMessageKind::Error)
    QMessageBox::critical(parent, title, text);
  else
    QMessageBox::information(parent, title, text);
}

}  // namespace

void ShowMessage(QWidget* parent, const QString& text) {
  Show(parent, TMessageKind::Information, text);
}

void ShowError(QWidget* parent, const QString& text) {
  Show(parent, TMessageKind::Error, text);
}

void SetMessageBoxHandler(TMessageBoxHandler handler) {
  Handler() = std::move(handler);
}

}  // namespace cdx
