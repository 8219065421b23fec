#include "Dlgwebexport.h"

TFormWebExport* FormWebExport = nullptr;

TFormWebExport::TFormWebExport()
    : QWidget(nullptr, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
  FormWebExport = this;
  setObjectName(QStringLiteral("FormWebExport"));
  setWindowTitle(QStringLiteral("Export to Web"));
  setFixedSize(514, 451);
}

TFormWebExport::~TFormWebExport() {
  if (FormWebExport == this) FormWebExport = nullptr;
}

void TFormWebExport::ShowForExport() {
  show();
  raise();
}

void TFormWebExport::ButtonDefaultsClick() {}
