// cd extractor: the desktop program. It takes no command-line options.
#include <QApplication>
#include <QMessageBox>
#include <exception>

#include "app/AppWindows.h"
#include "app/EventPump.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  QApplication::setApplicationName("cd extractor");
  QApplication::setDesktopFileName(CDX_APP_ID);
  cdx::ConnectMainThreadQueueToEventLoop();
  try {
    cdx::TAppWindows windows;
    windows.Form1->ListTheOnlyAudioDisc();
    windows.Form1->show();
    return QApplication::exec();
  } catch (const std::exception& e) {
    // A component that cannot be created keeps the program from starting.
    QMessageBox::critical(nullptr, "cd extractor", QString::fromStdString(e.what()));
    return 1;
  }
}
