// Small building blocks the main window's files share: naming widgets,
// labels that name their control for assistive tools, bold-headed groups,
// and the conversions between Qt and standard strings.
#pragma once

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QString>
#include <QStringList>
#include <string>

namespace kestrune {

inline QString FromStd(const std::string& s) { return QString::fromStdString(s); }
inline std::string ToStd(const QString& s) { return s.toStdString(); }

template <class Widget>
Widget* Named(Widget* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

// A list with its items, the first one selected.
QComboBox* ListCombo(const char* name, const QStringList& items);

// A group headed in bold; KeepNormalFont gives its contents the normal font
// back once they are in place.
QGroupBox* HeadedGroup(const QString& title, const char* name, QWidget* parent = nullptr);
void KeepNormalFont(QGroupBox* group);

// A label that names its control for assistive tools and gives it a mnemonic.
// Qt names some controls by their label only through the accessible name (a
// combo box otherwise goes by its current item), so that is set as well.
QLabel* BuddyLabel(const QString& text, const char* name, QWidget* buddy);

// The text of an edit with an input mask as the handlers and the settings
// file take it: the mask's literal characters left out, blank positions at
// the end dropped and other blank positions read as spaces (for the mask
// "999\.999\.999" showing "403.0_0.___" that is "4030 0"). Qt's own text()
// keeps the literals and drops every blank. An edit without a mask gives its
// text().
QString MaskedText(const QLineEdit& edit);

// Leading and trailing white space and control characters removed.
QString TrimControls(const QString& s);

}  // namespace kestrune
