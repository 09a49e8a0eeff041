// The window's frame: the two top tabs, the command pages' tab control with
// the further tabs, the log view with its menu, and the status bar.
#include <QGuiApplication>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScreen>
#include <QStatusBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include "console/ErrorReport.h"
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
  return tab;
}

void TForm1::BuildLogView() {
  MemoLog = Named(new QPlainTextEdit, "MemoLog");
  MemoLog->setAccessibleName(QStringLiteral("Log"));
  QFont fixed(QStringLiteral("Courier New"));
  fixed.setStyleHint(QFont::TypeWriter);
  fixed.setFixedPitch(true);
  MemoLog->setFont(fixed);
  MemoLog->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  MemoLog->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  MemoLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  MemoLog->setContextMenuPolicy(Qt::CustomContextMenu);

  PopupMenuLog = Named(new QMenu(QStringLiteral("Log"), this), "PopupMenuLog");
  NLogClear = PopupMenuLog->addAction(QStringLiteral("Clear"));
  NLogClear->setObjectName(QStringLiteral("NLogClear"));
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
}

void TForm1::ConnectHandlers() {
  connect(NLogClear, &QAction::triggered, this, [this] { Guarded([this] { NLogClearClick(); }); });
  connect(MemoLog, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { PopupMenuLog->popup(MemoLog->viewport()->mapToGlobal(at)); });
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
  MemoLog->clear();
}

}  // namespace kestrune
