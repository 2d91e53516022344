#include "app/MessageBoxes.h"

#include <QMessageBox>

namespace cdx {

namespace {

TMessageBoxHandler& Handler() {
  static TMessageBoxHandler handler;
  return handler;
}

TQuestionHandler& QuestionHandler() {
  static TQuestionHandler handler;
  return handler;
}

int quietScopes = 0;  // main thread only

void Show(QWidget* parent, TMessageKind kind, const QString& text) {
  if (kind == TMessageKind::Information && quietScopes > 0) return;
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

bool AskYesNo(QWidget* parent, const QString& text) {
  if (QuestionHandler()) return QuestionHandler()(text);
  return QMessageBox::question(parent, QStringLiteral("cd extractor"), text) == QMessageBox::Yes;
}

void SetQuestionHandler(TQuestionHandler handler) {
  QuestionHandler() = std::move(handler);
}

TQuietMessages::TQuietMessages() {
  ++quietScopes;
}

TQuietMessages::~TQuietMessages() {
  --quietScopes;
}

}  // namespace cdx
