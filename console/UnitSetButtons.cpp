#include "console/UnitSetButtons.h"

#include "console/ErrorReport.h"
#include "console/core/IniFile.h"
#include "ui_UnitSetButtons.h"

namespace kestrune {

TFormSetButton::TFormSetButton(QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::TFormSetButton>()) {
  ui_->setupUi(this);
  LabelCaption = ui_->LabelCaption;
  EditSetButtonCaption = ui_->EditSetButtonCaption;
  LabelData = ui_->LabelData;
  EditSetButtonCommand = ui_->EditSetButtonCommand;
  BitBtn1 = ui_->BitBtn1;
  // A frame with a close box only: no minimise, no maximise, no help button.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
}

TFormSetButton::~TFormSetButton() = default;

void TFormSetButton::accept() {
  // The settings file ends a caption with ";": after a restart the text
  // behind it would become the command and the real command would be lost.
  const auto problem =
      UnstorableFieldMessage(EditSetButtonCaption->text().toStdString(), "caption");
  if (problem) {
    ShowErrorReport(QString::fromStdString(*problem));
    EditSetButtonCaption->setFocus();
    return;
  }
  QDialog::accept();
}

}  // namespace kestrune
