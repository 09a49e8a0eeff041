#include "console/LogFindBar.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "console/LogView.h"

namespace kestrune {

LogFindBar::LogFindBar(LogView* view, QWidget* parent) : QWidget(parent), view_(view) {
  setObjectName(QStringLiteral("LogFindBar"));
  Text = new QLineEdit;
  Text->setObjectName(QStringLiteral("EditLogFind"));
  auto* label = new QLabel(QStringLiteral("F&ind:"));
  label->setBuddy(Text);
  Text->setAccessibleName(QStringLiteral("Find"));
  Next = new QPushButton(QStringLiteral("Next"));
  Next->setShortcut(QKeySequence(Qt::Key_F3));
  Previous = new QPushButton(QStringLiteral("Previous"));
  Previous->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3));
  MatchCase = new QCheckBox(QStringLiteral("Match case"));
  Result = new QLabel;
  Result->setAccessibleName(QStringLiteral("Find result"));
  auto* close = new QPushButton(QStringLiteral("Close"));
  close->setAccessibleName(QStringLiteral("Close find"));

  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  for (QWidget* part : {static_cast<QWidget*>(label), static_cast<QWidget*>(Text),
                        static_cast<QWidget*>(Next), static_cast<QWidget*>(Previous),
                        static_cast<QWidget*>(MatchCase), static_cast<QWidget*>(Result)})
    layout->addWidget(part);
  layout->addStretch(1);
  layout->addWidget(close);

  connect(Text, &QLineEdit::returnPressed, this, &LogFindBar::FindNext);
  connect(Text, &QLineEdit::textEdited, Result, &QLabel::clear);
  connect(Next, &QPushButton::clicked, this, &LogFindBar::FindNext);
  connect(Previous, &QPushButton::clicked, this, &LogFindBar::FindPrevious);
  connect(close, &QPushButton::clicked, this, [this] {
    hide();
    view_->setFocus();
  });
  hide();
}

void LogFindBar::Open() {
  show();
  Text->setFocus(Qt::ShortcutFocusReason);
  Text->selectAll();
}

bool LogFindBar::FindNext() { return Find(true); }
bool LogFindBar::FindPrevious() { return Find(false); }

bool LogFindBar::Find(bool forward) {
  const bool found = view_->Find(Text->text(), MatchCase->isChecked(),
                                 forward ? LogView::Direction::Next : LogView::Direction::Previous);
  Result->setText(found || Text->text().isEmpty() ? QString() : QStringLiteral("No match"));
  return found;
}

void LogFindBar::keyPressEvent(QKeyEvent* event) {
  if (event->key() != Qt::Key_Escape) return QWidget::keyPressEvent(event);
  hide();
  view_->setFocus();
}

}  // namespace kestrune
