#include "console/WidgetKit.h"

#include <QAbstractItemView>

namespace kestrune {

QComboBox* ListCombo(const char* name, const QStringList& items) {
  auto* combo = Named(new QComboBox, name);
  combo->addItems(items);
  combo->setCurrentIndex(0);
  return combo;
}

QGroupBox* HeadedGroup(const QString& title, const char* name, QWidget* parent) {
  auto* group = new QGroupBox(title, parent);
  group->setObjectName(QString::fromLatin1(name));
  QFont bold = group->font();
  bold.setBold(true);
  group->setFont(bold);
  return group;
}

void KeepNormalFont(QGroupBox* group) {
  QFont normal = group->font();
  normal.setBold(false);
  for (QWidget* child : group->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
    child->setFont(normal);
}

QLabel* BuddyLabel(const QString& text, const char* name, QWidget* buddy) {
  auto* label = new QLabel(text);
  label->setObjectName(QString::fromLatin1(name));
  label->setBuddy(buddy);
  QString plain = text;
  plain.remove(u'&');
  buddy->setAccessibleName(plain);
  if (auto* combo = qobject_cast<QComboBox*>(buddy)) combo->view()->setAccessibleName(plain);
  return label;
}

QString MaskedText(const QLineEdit& edit) {
  QString mask = edit.inputMask();
  if (mask.isEmpty()) return edit.text();
  QChar blank = u' ';
  if (const qsizetype semicolon = mask.indexOf(u';'); semicolon >= 0) {
    if (semicolon + 1 < mask.size()) blank = mask[semicolon + 1];
    mask.truncate(semicolon);
  }

  static const QString kInputChars = QStringLiteral("AaNnXx90Dd#HhBb");
  static const QString kNoPosition = QStringLiteral("<>!{}[]");
  const QString shown = edit.displayText();
  QString text;
  qsizetype kept = 0;  // length of text up to its last typed character
  qsizetype position = 0;
  for (qsizetype i = 0; i < mask.size() && position < shown.size(); ++i) {
    const QChar m = mask[i];
    if (kNoPosition.contains(m)) continue;
    if (m == u'\\') {  // an escaped literal
      ++i;
      ++position;
      continue;
    }
    const QChar c = shown[position++];
    if (!kInputChars.contains(m)) continue;  // a literal
    if (c == blank) {
      text += u' ';
    } else {
      text += c;
      kept = text.size();
    }
  }
  text.truncate(kept);
  return text;
}

QString TrimControls(const QString& s) {
  qsizetype begin = 0;
  qsizetype end = s.size();
  while (begin < end && s[begin].unicode() <= u' ') ++begin;
  while (end > begin && s[end - 1].unicode() <= u' ') --end;
  return s.mid(begin, end - begin);
}

}  // namespace kestrune
