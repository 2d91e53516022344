// "Flac options": created hidden at start like every dialog; its controls come
// with the FLAC writer.
#pragma once

#include <QLabel>
#include <QVBoxLayout>

#include "app/OptionsWindow.h"
#include "app/QtOwnership.h"

namespace cdx {

class TForm5 : public TOptionsWindow {
  Q_OBJECT
 public:
  explicit TForm5(TExtractor& extractor, QWidget* parent = nullptr)
      : TOptionsWindow("Form5", "Flac options", extractor, "flac", parent) {
    Label1.setObjectName("Label1");
    Label1.setText("The FLAC options are not available in this version.");
    InstallLayout<QVBoxLayout>(*this).addWidget(&Label1);
  }

 private:
  QLabel Label1;
};

}  // namespace cdx
