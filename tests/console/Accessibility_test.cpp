// What an assistive tool sees of the main window: every control it can reach
// must carry a name, and every labelled control must be its label's buddy.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QWidget>
#include <memory>
#include <set>

#include <QLineEdit>
#include <QTest>

#include "console/DevicesDialog.h"
#include "console/DialogSeam.h"
#include "console/LogView.h"
#include "tests/support/Window.h"

#include "console/UnitSetButtons.h"

namespace kestrune::test {
namespace {

// The roles an operator acts on or reads; panes, groupings and scroll bars
// are structure, named or not.
bool IsControlRole(QAccessible::Role role) {
  static const std::set<QAccessible::Role> controls{
      QAccessible::PushButton,    QAccessible::CheckBox,     QAccessible::RadioButton,
      QAccessible::ComboBox,      QAccessible::EditableText, QAccessible::PageTab,
      QAccessible::MenuItem,      QAccessible::ProgressBar,  QAccessible::PageTabList,
      QAccessible::SpinBox,       QAccessible::Slider,       QAccessible::List,
      QAccessible::Table,         QAccessible::Tree,         QAccessible::ButtonMenu,
      QAccessible::ButtonDropDown};
  return controls.count(role) > 0;
}

QString Describe(QAccessibleInterface* item) {
  QString path;
  for (QAccessibleInterface* i = item; i; i = i->parent()) {
    const QObject* object = i->object();
    path.prepend(QStringLiteral("/%1(%2)")
                     .arg(object ? object->objectName() : QStringLiteral("?"))
                     .arg(int(i->role())));
  }
  return path;
}

// What a screen reader announces as the item's name: its own name, or the
// text of the label that labels it (on Linux Qt names a combo box by its
// current item and links it to its label by a relation instead).
QString SpokenName(QAccessibleInterface* item) {
  const QString name = item->text(QAccessible::Name).trimmed();
  if (!name.isEmpty()) return name;
  for (const auto& [label, relation] : item->relations(QAccessible::Label)) {
    (void)relation;
    const QString text = label->text(QAccessible::Name).trimmed();
    if (!text.isEmpty()) return text;
  }
  return QString();
}

// Walks the accessible tree below `root` and collects the controls without a
// name, with their path.
void CollectNameless(QAccessibleInterface* root, QStringList& nameless, int& controls) {
  if (!root) return;
  if (IsControlRole(root->role())) {
    ++controls;
    if (SpokenName(root).isEmpty()) nameless.append(Describe(root));
  }
  for (int i = 0; i < root->childCount(); ++i) CollectNameless(root->child(i), nameless, controls);
}

// Hidden widgets are left out of the accessible tree; show them all, so the
// walk also covers the tabs that are not current and the hidden group.
void ShowEverything(QWidget* top) {
  for (QWidget* w : top->findChildren<QWidget*>()) {
    if (w->isWindow()) continue;
    w->setVisible(true);
  }
}

class AccessibilityTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    form_ = StartWithoutDevice();
  }

  std::unique_ptr<TForm1> form_;
};

TEST_F(AccessibilityTest, EveryControlOfTheWindowHasAName) {
  QStringList nameless;
  int controls = 0;
  for (int tab = 0; tab < form_->PageControl1->count(); ++tab) {
    form_->PageControl1->setCurrentIndex(tab);
    ShowEverything(form_.get());
    CollectNameless(QAccessible::queryAccessibleInterface(form_.get()), nameless, controls);
  }
  // The popup menus and the Set-button dialog are windows of their own. The
  // favourites' "Sort by" items exist once the menu has been opened on a list.
  CollectNameless(QAccessible::queryAccessibleInterface(form_->PopupMenuLog), nameless, controls);
  form_->PopupFavs(form_->ListViewFavs, QPoint());
  form_->PopupMenuFavs->hide();
  int favsItems = 0;
  CollectNameless(QAccessible::queryAccessibleInterface(form_->PopupMenuFavs), nameless, favsItems);
  CollectNameless(QAccessible::queryAccessibleInterface(form_->ppmSortBy), nameless, favsItems);
  EXPECT_GE(favsItems, 9);  // Set, Up, Down, Edit, Delete, Sort by and its three columns
  ShowEverything(form_->FormSetButton);
  CollectNameless(QAccessible::queryAccessibleInterface(form_->FormSetButton), nameless, controls);

  EXPECT_TRUE(nameless.isEmpty()) << nameless.join(u'\n').toStdString();
  // 50 command buttons and their tabs, the settings, the log view: the walk
  // really went through the window.
  EXPECT_GT(controls, 80);
}

TEST_F(AccessibilityTest, LabelledControlsAreNamedByTheirLabels) {
  for (QWidget* top : std::initializer_list<QWidget*>{form_.get(), form_->FormSetButton}) {
    for (QLabel* label : top->findChildren<QLabel*>()) {
      // The status bar's panels label nothing: they are read by their names.
      if (label->text().isEmpty() || label->parentWidget()->inherits("QStatusBar")) continue;
      ASSERT_NE(label->buddy(), nullptr) << label->objectName().toStdString();
      QAccessibleInterface* buddy = QAccessible::queryAccessibleInterface(label->buddy());
      QAccessibleInterface* labelItem = QAccessible::queryAccessibleInterface(label);
      bool labelled = false;
      for (const auto& [item, relation] : buddy->relations(QAccessible::Label))
        labelled = labelled || (item == labelItem && relation == QAccessible::Label);
      EXPECT_TRUE(labelled) << label->objectName().toStdString();
    }
  }
  // Spot checks: a labelled edit is named by its label, other controls by
  // their captions or their own names.
  EXPECT_EQ(QAccessible::queryAccessibleInterface(form_->EditPortBaud)->text(QAccessible::Name),
            "Baud");
  EXPECT_EQ(QAccessible::queryAccessibleInterface(form_->FormSetButton->EditSetButtonCommand)
                ->text(QAccessible::Name),
            "Command");
  EXPECT_EQ(QAccessible::queryAccessibleInterface(form_->MemoLog)->text(QAccessible::Name), "Log");
  EXPECT_EQ(QAccessible::queryAccessibleInterface(form_->ButtonPortApply)->text(QAccessible::Name),
            "Apply");
  EXPECT_EQ(
      QAccessible::queryAccessibleInterface(form_->CommandButton(1, 0))->text(QAccessible::Name),
      "Right-click to set");
  const auto name = [](QObject* o) {
    return QAccessible::queryAccessibleInterface(o)->text(QAccessible::Name);
  };
  EXPECT_EQ(name(form_->MaskEditTuneFreq), "Freq");
  EXPECT_EQ(name(form_->EditTuneChannel), "Chan");
  EXPECT_EQ(name(form_->MaskEditTuneFrames), "frames");
  EXPECT_EQ(name(form_->EditTuneDescr), "Description");
  // A list goes by its current item on Linux; its label names it by relation.
  QStringList labelNames;
  for (const auto& [label, relation] :
       QAccessible::queryAccessibleInterface(form_->ComboBoxTuneAudio)
           ->relations(QAccessible::Label))
    labelNames.append(label->text(QAccessible::Name));
  EXPECT_TRUE(labelNames.contains("Audio")) << labelNames.join(u',').toStdString();
  EXPECT_EQ(name(form_->ListViewFavs), "Favourites");
  EXPECT_EQ(name(form_->EditToLCD), "Display text");
}

// The Devices dialog is a window of its own, opened by "Devices…": every
// control named, every label its control's, and the keyboard reaches them.
TEST_F(AccessibilityTest, TheDevicesDialogsControlsAreNamedAndReachedByTab) {
  QStringList nameless;
  int controls = 0;
  QStringList unlabelled;
  QStringList names;  // of the controls Tab reaches, in turn
  SetModalDialogSink([&](QDialog& dialog) {
    ShowEverything(&dialog);
    dialog.show();
    CollectNameless(QAccessible::queryAccessibleInterface(&dialog), nameless, controls);
    for (QLabel* label : dialog.findChildren<QLabel*>())
      if (!label->text().isEmpty() && label->objectName() != "LabelDeviceMap" && !label->buddy())
        unlabelled.append(label->objectName());
    // Tab walks from the list through every control back to the list.
    auto* devices = dynamic_cast<DevicesDialog*>(&dialog);
    if (!devices) return false;
    QList<QWidget*> reached;
    QWidget* w = devices->ListDevices;
    for (int i = 0; i < 12 && !reached.contains(w); ++i) {
      reached.append(w);
      names.append(w->objectName());
      w = w->nextInFocusChain();
      while (w->focusPolicy() == Qt::NoFocus || !w->isEnabled()) w = w->nextInFocusChain();
    }
    dialog.hide();
    return false;
  });
  form_->ButtonDevices->click();
  SetModalDialogSink({});
  EXPECT_TRUE(nameless.isEmpty()) << nameless.join(u'\n').toStdString();
  EXPECT_GE(controls, 6);  // the list, port, path, Assign, OK and Cancel
  EXPECT_TRUE(unlabelled.isEmpty()) << unlabelled.join(u',').toStdString();
  for (const char* name : {"ListDevices", "ComboBoxDevicePort", "EditDevicePath", "ButtonAssign"})
    EXPECT_TRUE(names.contains(QString::fromLatin1(name))) << names.join(u',').toStdString();
}

// The first item below root whose role and spoken name are these.
QAccessibleInterface* FindByName(QAccessibleInterface* root, QAccessible::Role role,
                                 const QString& name) {
  if (!root) return nullptr;
  if (root->role() == role && SpokenName(root) == name) return root;
  for (int i = 0; i < root->childCount(); ++i)
    if (QAccessibleInterface* found = FindByName(root->child(i), role, name)) return found;
  return nullptr;
}

TEST_F(AccessibilityTest, TheParityGroupIsAnnouncedByItsOwnTitle) {
  form_->PageControl1->setCurrentIndex(1);
  QAccessibleInterface* parity = FindByName(QAccessible::queryAccessibleInterface(form_.get()),
                                            QAccessible::Grouping, QStringLiteral("Parity"));
  ASSERT_NE(parity, nullptr);
  EXPECT_EQ(parity->object(), form_->RadioGroupPortParity);
}

// A keyboard user opens the Set-button dialog with Shift+F10 or the menu key,
// as a mouse user does with a right press.
TEST_F(AccessibilityTest, TheKeyboardOpensTheSetButtonDialogOfACommandButton) {
  QPushButton* button = form_->CommandButton(1, 0);
  const auto titleOfDialogOpenedBy = [&](const std::function<void()>& press) {
    QString title;
    QTimer::singleShot(0, form_.get(), [&] {
      if (QWidget* modal = QApplication::activeModalWidget()) {
        title = modal->windowTitle();
        form_->FormSetButton->reject();
      }
    });
    press();
    return title;
  };

  EXPECT_EQ(titleOfDialogOpenedBy([&] { QTest::keyClick(button, Qt::Key_F10, Qt::ShiftModifier); }),
            "Set button \"ButtonP1_0\"");
  EXPECT_EQ(titleOfDialogOpenedBy([&] {
              QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(1, 1),
                                        button->mapToGlobal(QPoint(1, 1)));
              QApplication::sendEvent(button, &menuKey);
            }),
            "Set button \"ButtonP1_0\"");
  // F10 alone is no such request.
  EXPECT_EQ(titleOfDialogOpenedBy([&] { QTest::keyClick(button, Qt::Key_F10); }), "");
}

// An empty caption is allowed, but it must not leave the button without a
// name: whether it comes from the Set-button dialog or the settings file.
TEST_F(AccessibilityTest, ACommandButtonWithAnEmptyCaptionStillHasAName) {
  QPushButton* button = form_->CommandButton(2, 3);
  const auto setCaption = [&](const QString& caption) {
    QTimer::singleShot(0, form_.get(), [&] {
      form_->FormSetButton->EditSetButtonCaption->setText(caption);
      form_->FormSetButton->accept();
    });
    form_->ButtonP1_0MouseDown(button, Qt::RightButton);
  };
  const auto spokenName = [](QPushButton* b) {
    return SpokenName(QAccessible::queryAccessibleInterface(b));
  };

  setCaption(QString());
  EXPECT_EQ(button->text(), "");
  EXPECT_EQ(spokenName(button), "Command button 4, page 2");
  setCaption(QStringLiteral("Mute"));
  EXPECT_EQ(spokenName(button), "Mute");

  form_.reset();
  form_ = StartWithoutDevice("[buttons5]\nButtonP5_0=;01 02\n");
  EXPECT_EQ(form_->CommandButton(5, 0)->text(), "");
  EXPECT_EQ(spokenName(form_->CommandButton(5, 0)), "Command button 1, page 5");
}

}  // namespace
}  // namespace kestrune::test
