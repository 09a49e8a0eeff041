// The window's frame: the two top tabs, the command pages' tab control with
// the further tabs, the log view with its menu, and the status bar.
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QStatusBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include "console/ConsoleLog.h"
#include "console/DialogSeam.h"
#include "console/ErrorReport.h"
#include "console/LogFindBar.h"
#include "console/LogView.h"
#include "console/LogViewFeed.h"
#include "console/UnitMain.h"
#include "console/WidgetKit.h"

namespace kestrune {

void TForm1::BuildWindow() {
  setWindowTitle(QStringLiteral("Kestrune"));
  PageControl1 = Named(new QTabWidget, "PageControl1");
  PageControl1->setAccessibleName(QStringLiteral("Main and Settings"));
  TabSheet1 = BuildMainTab();
  TabSheet2 = BuildSettingsTab();
  PageControl1->addTab(TabSheet1, QStringLiteral("Main"));
  PageControl1->addTab(TabSheet2, QStringLiteral("Settings"));
  PageControl1->setCurrentIndex(0);
  setCentralWidget(PageControl1);
  BuildStatusBar();

  resize(720, 560);
  if (const QScreen* desktop = QGuiApplication::primaryScreen())
    move(desktop->availableGeometry().center() - rect().center());
}

// The command pages "1" to "5", then one tab per further feature, in the
// order the operator sees them: Custom, Scan, Tune, Memory, LCD.
QWidget* TForm1::BuildMainTab() {
  auto* tab = Named(new QWidget, "TabSheet1");
  Panel4 = Named(new QWidget, "Panel4");
  PageControl2 = Named(new QTabWidget, "PageControl2");
  PageControl2->setAccessibleName(QStringLiteral("Command pages"));
  for (int page = 1; page <= kCommandPages; ++page)
    PageControl2->addTab(BuildCommandPage(page), QString::number(page));
  PageControl2->addTab(BuildCustomPage(), QStringLiteral("Custom"));
  PageControl2->addTab(BuildScanPage(), QStringLiteral("Scan"));
  PageControl2->addTab(BuildTuneTab(), QStringLiteral("Tune"));
  PageControl2->addTab(BuildMemoryPage(), QStringLiteral("Memory"));
  PageControl2->addTab(BuildLcdTab(), QStringLiteral("LCD"));
  PageControl2->setCurrentIndex(0);
  auto* panelLayout = new QVBoxLayout(Panel4);
  panelLayout->setContentsMargins(0, 0, 0, 0);
  panelLayout->addWidget(PageControl2);

  BuildLogView();
  auto* layout = new QVBoxLayout(tab);
  layout->addWidget(Panel4);
  layout->addWidget(MemoLog, 1);
  layout->addWidget(LogFind);
  return tab;
}

void TForm1::BuildLogView() {
  MemoLog = Named(new LogView, "MemoLog");
  MemoLog->setAccessibleName(QStringLiteral("Log"));
  MemoLog->setContextMenuPolicy(Qt::CustomContextMenu);
  LogFind = new LogFindBar(MemoLog);

  PopupMenuLog = Named(new QMenu(QStringLiteral("Log"), this), "PopupMenuLog");
  NLogClear = PopupMenuLog->addAction(QStringLiteral("Clear"));
  NLogClear->setObjectName(QStringLiteral("NLogClear"));
  PopupMenuLog->addSeparator();
  // Copy and Select all act on the log only: elsewhere the keys belong to
  // the field that has the keyboard. Find and notes work from the whole window.
  const auto logAction = [this](const QString& text, const QKeySequence& keys, QWidget* owner) {
    QAction* action = PopupMenuLog->addAction(text);
    action->setShortcut(keys);
    action->setShortcutContext(owner == MemoLog ? Qt::WidgetShortcut : Qt::WindowShortcut);
    owner->addAction(action);
    return action;
  };
  LogCopyAction = logAction(QStringLiteral("Copy"), QKeySequence::Copy, MemoLog);
  LogSelectAllAction = logAction(QStringLiteral("Select all"), QKeySequence::SelectAll, MemoLog);
  LogFindAction = logAction(QStringLiteral("Find…"), QKeySequence::Find, this);
  LogAddNoteAction =
      logAction(QStringLiteral("Add note…"), QKeySequence(Qt::CTRL | Qt::Key_M), this);
}

void TForm1::BuildStatusBar() {
  StatusBar1 = statusBar();
  StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
  StatusBar1->setSizeGripEnabled(false);
  const std::array widths{100, 250, 50};
  const std::array names{"Scan channel", "Progress", "Status"};
  for (size_t i = 0; i < StatusPanels.size(); ++i) {
    auto* panel = new QLabel;
    panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
    panel->setAccessibleName(QString::fromLatin1(names[i]));
    panel->setFixedWidth(widths[i]);
    StatusBar1->addWidget(panel);
    StatusPanels[i] = panel;
  }
  BuildLinePanel();
}

void TForm1::ConnectHandlers() {
  connect(NLogClear, &QAction::triggered, this, [this] { Guarded([this] { NLogClearClick(); }); });
  connect(MemoLog, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { PopupMenuLog->popup(MemoLog->viewport()->mapToGlobal(at)); });
  connect(LogCopyAction, &QAction::triggered, MemoLog, &LogView::CopySelection);
  connect(LogSelectAllAction, &QAction::triggered, MemoLog, &LogView::selectAll);
  connect(LogFindAction, &QAction::triggered, LogFind, &LogFindBar::Open);
  connect(LogAddNoteAction, &QAction::triggered, this,
          [this] { Guarded([this] { AddLogNote(); }); });
  ConnectSettingsTabHandlers();
  ConnectCommandHandlers();
  ConnectCustomHandlers();
  ConnectTuneHandlers();
  ConnectFavouritesHandlers();
  ConnectScanHandlers();
  ConnectMemoryHandlers();
}

void TForm1::NLogClearClick() {
  logFeed_->Flush();  // lines still on their way belong to the old view
  MemoLog->Clear();
}

void TForm1::AddLogNote() {
  const std::optional<QString> text = AskText(QStringLiteral("Note for the log:"));
  if (!text || text->trimmed().isEmpty()) return;
  // One note, one log line: a line break would leave its second half
  // without a time stamp.
  QString note = *text;
  note.replace(u'\r', u' ').replace(u'\n', u' ');
  LogLine("note: " + note.toStdString());
}

}  // namespace kestrune
