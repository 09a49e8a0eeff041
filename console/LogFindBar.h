// The log view's find bar: a text field, Next and Previous (F3, Shift+F3),
// a case switch and a line that says when nothing matches. Enter finds the
// next match; Escape closes the bar and gives the keyboard back to the log.
#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kestrune {

class LogView;

class LogFindBar : public QWidget {
 public:
  explicit LogFindBar(LogView* view, QWidget* parent = nullptr);

  // Shows the bar with its text selected and the keyboard in the field.
  void Open();
  // Each looks for the field's text and shows the result; true when found.
  bool FindNext();
  bool FindPrevious();

  QLineEdit* Text = nullptr;
  QPushButton* Next = nullptr;
  QPushButton* Previous = nullptr;
  QCheckBox* MatchCase = nullptr;
  QLabel* Result = nullptr;  // "No match", or empty

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  bool Find(bool forward);

  LogView* view_;
};

}  // namespace kestrune
