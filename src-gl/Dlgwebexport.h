#pragma once
// The web export settings: target directory, file names, page texts and colours, applet options.

#include <QWidget>

class TFormWebExport : public QWidget {
 public:
  TFormWebExport();
  ~TFormWebExport() override;

  void ShowForExport();        // File > Export to Web...
  void ButtonDefaultsClick();  // the settings return to their defaults
};

extern TFormWebExport* FormWebExport;
