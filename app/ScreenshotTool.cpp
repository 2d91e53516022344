// cdx-screenshots OUTPUT_DIR: shows the main window with the first drive's
// tracks listed, and the "Wav options" dialog, and saves each as a PNG
// (main-window.png, wav-options.png) in OUTPUT_DIR.
#include <QApplication>
#include <QDir>
#include <QTimer>
#include <cstdio>

#include "app/AppWindows.h"
#include "app/EventPump.h"

namespace {

bool Save(QWidget& window, const QString& path) {
  window.show();
  window.raise();
  for (int i = 0; i < 20; ++i) cdx::PumpMessagesFor(10);
  const bool saved = window.grab().save(path);
  std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(path));
  return saved;
}

QStringList FirstDriveTracks(cdx::TExtractor& extractor) {
  cdx::TCDIn& cd = *extractor.CDIn1;
  if (cd.DriveCount() == 0) return {};
  cd.SetCurrentDrive(0);
  cd.TrackCount();  // refreshes the drive's track files
  QDir root(QString::fromStdString(cd.DriveRoot(0)));
  QStringList paths;
  for (const QString& name : root.entryList({"Track*.cda"}, QDir::Files, QDir::Name))
    paths << root.filePath(name);
  return paths;
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: cdx-screenshots OUTPUT_DIR\n");
    return 2;
  }
  // Resolved now: the main window makes the program's folder current.
  const QDir out(QDir(QString::fromLocal8Bit(argv[1])).absolutePath());
  cdx::ConnectMainThreadQueueToEventLoop();
  cdx::TAppWindows windows;
  windows.Form1->AddTrackFiles(FirstDriveTracks(windows.Form1->Extractor()));
  bool ok = Save(*windows.Form1, out.filePath("main-window.png"));
  ok = Save(*windows.Form2, out.filePath("wav-options.png")) && ok;
  return ok ? 0 : 1;
}
