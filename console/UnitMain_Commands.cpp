// The five command pages: ten buttons each, a click sends the button's
// command, a right press (or the menu key, or Shift+F10) opens the
// Set-button dialog for it.
#include <QContextMenuEvent>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <algorithm>

#include "console/ErrorReport.h"
#include "console/UnitMain.h"
#include "console/UnitSetButtons.h"
#include "console/WidgetKit.h"
#include "console/core/CommandText.h"
#include "console/core/IniFile.h"

namespace kestrune {

namespace {

const QString kUnsetCaption = QStringLiteral("Right-click to set");
const char* const kHintProperty = "hint";
const char* const kPlaceNameProperty = "placeName";

QString ButtonName(int page, int index) {
  return QStringLiteral("ButtonP%1_%2").arg(page).arg(index);
}

}  // namespace

QWidget* TForm1::BuildCommandPage(int page) {
  auto* sheet = new QWidget;
  sheet->setObjectName(QStringLiteral("TabSheetCmd%1").arg(page));
  TabSheetCmd[page - 1] = sheet;
  sheet->installEventFilter(this);
  auto* grid = new QGridLayout(sheet);
  for (int j = 0; j < kButtonsPerPage; ++j) {
    auto* button = new QPushButton(sheet);
    button->setObjectName(ButtonName(page, j));
    button->setProperty(kPlaceNameProperty,
                        QStringLiteral("Command button %1, page %2").arg(j + 1).arg(page));
    SetButtonCaption(button, kUnsetCaption);
    SetButtonHint(button, QString());
    button->installEventFilter(this);
    grid->addWidget(button, j % 5, j / 5);
    buttons_[page - 1][j] = button;
  }
  return sheet;
}

void TForm1::ConnectCommandHandlers() {
  for (auto& page : buttons_)
    for (QPushButton* button : page)
      connect(button, &QPushButton::clicked, this,
              [this, button] { Guarded([this, button] { ButtonP1_0Click(button); }); });
}

// Keys are taken by their position in the section, not by their names.
void TForm1::ReadButtonSection(const TIniFile& ini, int page) {
  const std::string section = "buttons" + std::to_string(page);
  const std::vector<std::string> keys = ini.ReadSection(section);
  for (size_t k = 0; k < keys.size() && k < kButtonsPerPage; ++k) {
    const QStringList parts = FromStd(ini.ReadString(section, keys[k], "")).split(u';');
    if (parts.size() < 2) continue;
    QPushButton* button = buttons_[page - 1][k];
    SetButtonCaption(button, parts[0]);
    SetButtonHint(button, parts[1]);
  }
}

QPushButton* TForm1::CommandButton(int page, int index) const {
  return buttons_.at(page - 1).at(index);
}

void TForm1::SetButtonCaption(QPushButton* button, const QString& caption) {
  button->setText(caption);
  // Assistive tools name a button by its caption; an empty one (allowed)
  // would leave it nameless, so it is then named by its place.
  button->setAccessibleName(caption.isEmpty() ? button->property(kPlaceNameProperty).toString()
                                              : QString());
}

QString TForm1::ButtonHint(const QPushButton* button) {
  return button->property(kHintProperty).toString();
}

void TForm1::SetButtonHint(QPushButton* button, const QString& command) {
  // Kept as a property, never as a tooltip: the command is not shown on hover.
  button->setProperty(kHintProperty, command);
  button->setAccessibleDescription(command.isEmpty() ? QStringLiteral("No command")
                                                     : QStringLiteral("Command %1").arg(command));
}

void TForm1::ButtonP1_0Click(QPushButton* sender) {
  if (!CheckPortOpen()) return;
  const QString command = TrimControls(ButtonHint(sender));
  if (command.isEmpty()) return;
  SendRepeatAndWait(ParseCommandBytes(ToStd(command)));
}

void TForm1::ButtonP1_0MouseDown(QPushButton* sender, Qt::MouseButton button) {
  if (button != Qt::RightButton) return;
  TFormSetButton& dialog = *FormSetButton;
  dialog.setWindowTitle(QStringLiteral("Set button \"%1\"").arg(sender->objectName()));
  dialog.LabelCaption->setText(QStringLiteral("Caption"));
  dialog.LabelData->setText(QStringLiteral("Command"));
  dialog.EditSetButtonCaption->setText(sender->text());
  dialog.EditSetButtonCommand->setText(ButtonHint(sender));
  dialog.move(x() + sender->x() + sender->width() / 2, y() + sender->y() + sender->height());
  if (dialog.exec() != QDialog::Accepted) return;

  SetButtonCaption(sender, dialog.EditSetButtonCaption->text());
  SetButtonHint(sender, FromStd(NormalizeCommandText(ToStd(dialog.EditSetButtonCommand->text()))));
}

// Every command page shares the first page's press handler. A press on a
// page's free area, between its buttons, is deliberately nothing: only the
// buttons themselves take presses.
void TForm1::TabSheetCmd1MouseDown(Qt::MouseButton) {}

// A keyboard user cannot press the right mouse button: the menu key and
// Shift+F10 open the Set-button dialog as the right press does. Shift+F10
// arrives as a key press (Qt makes a context-menu event of the menu key
// only), so both are watched.
bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonPress &&
      std::find(TabSheetCmd.begin(), TabSheetCmd.end(), watched) != TabSheetCmd.end()) {
    Guarded([&] { TabSheetCmd1MouseDown(static_cast<QMouseEvent*>(event)->button()); });
    return false;
  }
  auto* button = qobject_cast<QPushButton*>(watched);
  if (!button || !button->property(kPlaceNameProperty).isValid())
    return QMainWindow::eventFilter(watched, event);

  switch (event->type()) {
    case QEvent::MouseButtonPress: {
      const Qt::MouseButton pressed = static_cast<QMouseEvent*>(event)->button();
      if (pressed == Qt::LeftButton) return false;  // an ordinary click
      Guarded([&] { ButtonP1_0MouseDown(button, pressed); });
      return true;
    }
    case QEvent::ContextMenu:
      if (static_cast<QContextMenuEvent*>(event)->reason() == QContextMenuEvent::Keyboard)
        Guarded([&] { ButtonP1_0MouseDown(button, Qt::RightButton); });
      return true;
    case QEvent::KeyPress: {
      const auto* key = static_cast<QKeyEvent*>(event);
      if (key->key() != Qt::Key_F10 || key->modifiers() != Qt::ShiftModifier) return false;
      Guarded([&] { ButtonP1_0MouseDown(button, Qt::RightButton); });
      return true;
    }
    default: return false;
  }
}

}  // namespace kestrune
