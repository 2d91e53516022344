// "Mp3 tag settings": created hidden at start like every dialog; its controls come
// with the MP3 writer.
#pragma once

#include <QLabel>
#include <QVBoxLayout>

#include "app/OptionsWindow.h"
#include "app/QtOwnership.h"

namespace cdx {

class TForm7 : public TOptionsWindow {
  Q_OBJECT
 public:
  explicit TForm7(TExtractor& extractor, QWidget* parent = nullptr)
      : TOptionsWindow("Form7", "Mp3 tag settings", extractor, "", parent) {
    Label1.setObjectName("Label1");
    Label1.setText("The MP3 tag options are not available in this version.");
    InstallLayout<QVBoxLayout>(*this).addWidget(&Label1);
  }

 private:
  QLabel Label1;
};

}  // namespace cdx
