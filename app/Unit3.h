// "Mp3 options": created hidden at start like every dialog; its controls come
// with the MP3 writer.
#pragma once

#include <QLabel>
#include <QVBoxLayout>

#include "app/OptionsWindow.h"
#include "app/QtOwnership.h"

namespace cdx {

class TForm3 : public TOptionsWindow {
  Q_OBJECT
 public:
  explicit TForm3(TExtractor& extractor, QWidget* parent = nullptr)
      : TOptionsWindow("Form3", "Mp3 options", extractor, "mp3", parent) {
    Label1.setObjectName("Label1");
    Label1.setText("The MP3 options are not available in this version.");
    InstallLayout<QVBoxLayout>(*this).addWidget(&Label1);
  }

 private:
  QLabel Label1;
};

}  // namespace cdx
