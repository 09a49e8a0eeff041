// The Set-button dialog: a caption and a command for one command button. It
// has no behaviour of its own; the main window fills it, shows it modally and
// reads it back when it closed with OK (there is no Cancel: the close box
// ends it without OK).
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

  QLabel* LabelCaption;
  QLineEdit* EditSetButtonCaption;
  QLabel* LabelData;
  QLineEdit* EditSetButtonCommand;
  QPushButton* BitBtn1;

 private:
  std::unique_ptr<Ui::TFormSetButton> ui_;
};

}  // namespace kestrune
