// The Set-button dialog: a caption and a command for one command button. The
// main window fills it, shows it modally and reads it back when it closed
// with OK (there is no Cancel: the close box ends it without OK). Its one
// behaviour of its own: OK refuses a caption the settings file cannot store
// (one holding ";"), says so, and leaves the dialog open.
#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class TFormSetButton;
}
class QLabel;
class QLineEdit;
class QPushButton;

namespace kestrune {

class TFormSetButton : public QDialog {
 public:
  explicit TFormSetButton(QWidget* parent = nullptr);
  ~TFormSetButton() override;

  void accept() override;

  QLabel* LabelCaption;
  QLineEdit* EditSetButtonCaption;
  QLabel* LabelData;
  QLineEdit* EditSetButtonCommand;
  QPushButton* BitBtn1;

 private:
  std::unique_ptr<Ui::TFormSetButton> ui_;
};

}  // namespace kestrune
