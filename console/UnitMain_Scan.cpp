// The Scan tab: a range of channel numbers, the pause after each, the
// direction, step, band and SBEP choices, and the button that starts and
// stops the scan; the scan itself is the operation of console/ops/Scan.h.
// While it runs, panel 0 of the status bar shows the channel and the
// progress bar the share of the range done.
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QTreeWidget>

#include "console/ConsoleLog.h"
#include "console/ErrorReport.h"
#include "console/UnitMain.h"
#include "console/WidgetKit.h"
#include "console/core/FreqMath.h"
#include "console/core/IniFile.h"
#include "console/core/IntConv.h"
#include "console/ops/Scan.h"

namespace kestrune {

namespace {

const QString kStartCaption = QStringLiteral("Start");
const QString kStopCaption = QStringLiteral("Stop");

// Five digit positions with "_" in blank ones.
QLineEdit* ChannelEdit(const char* name, const QString& text) {
  auto* edit = Named(new QLineEdit, name);
  edit->setInputMask(QStringLiteral("99999;_"));
  edit->setText(text);
  return edit;
}

// A masked channel field as a number: its digits, blanks ("_") left out.
int32_t ChannelFieldValue(const QLineEdit* edit) {
  QString text = edit->text();
  text.remove(u'_');
  return StrToInt(ToStd(text));
}

QTreeWidget* BuildScanList() {
  auto* list = Named(new QTreeWidget, "ListView1");
  list->setAccessibleName(QStringLiteral("Scan channels"));
  list->setHeaderLabels({"Channel", "Descr", "Dir", "Step", "800", "SBEP"});
  list->setRootIsDecorated(false);
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  list->setSelectionBehavior(QAbstractItemView::SelectRows);
  list->setAllColumnsShowFocus(true);
  list->header()->setSectionsClickable(true);
  list->header()->setSortIndicatorShown(false);
  list->setStyleSheet(
      QStringLiteral("QTreeView::item { border-right: 1px solid palette(midlight);"
                     " border-bottom: 1px solid palette(midlight); }"));
  list->setContextMenuPolicy(Qt::CustomContextMenu);
  return list;
}

}  // namespace

QWidget* TForm1::BuildScanPage() {
  TabSheet5 = Named(new QWidget, "TabSheet5");
  MaskEditScanFrom = ChannelEdit("MaskEditScanFrom", QStringLiteral("00000"));
  MaskEditScanTo = ChannelEdit("MaskEditScanTo", QStringLiteral("65535"));
  EditScanDelay = Named(new QLineEdit(QStringLiteral("3000")), "EditScanDelay");
  ComboBoxScanDir = ListCombo("ComboBoxScanDir", {"RX", "TX"});
  QStringList steps;
  for (std::string_view step : kStepItemTexts) steps.append(QString::fromLatin1(step));
  ComboBoxScanStep = ListCombo("ComboBoxScanStep", steps);
  CheckBoxScan800 = Named(new QCheckBox(QStringLiteral("800 MHz")), "CheckBoxScan800");
  CheckBoxScanSbep = Named(new QCheckBox(QStringLiteral("SBEP")), "CheckBoxScanSbep");
  ButtonScan = Named(new QPushButton(kStartCaption), "ButtonScan");
  ListView1 = BuildScanList();

  auto* fields = new QFormLayout;
  fields->addRow(BuddyLabel(QStringLiteral("&From"), "LabelScanFrom", MaskEditScanFrom),
                 MaskEditScanFrom);
  fields->addRow(BuddyLabel(QStringLiteral("&To"), "LabelScanTo", MaskEditScanTo), MaskEditScanTo);
  fields->addRow(BuddyLabel(QStringLiteral("De&lay"), "LabelScanDelay", EditScanDelay),
                 EditScanDelay);
  fields->addRow(BuddyLabel(QStringLiteral("D&ir"), "LabelScanDir", ComboBoxScanDir),
                 ComboBoxScanDir);
  fields->addRow(BuddyLabel(QStringLiteral("St&ep"), "LabelScanStep", ComboBoxScanStep),
                 ComboBoxScanStep);
  fields->addRow(CheckBoxScan800);
  fields->addRow(CheckBoxScanSbep);
  fields->addRow(ButtonScan);

  auto* layout = new QHBoxLayout(TabSheet5);
  layout->addLayout(fields);
  layout->addWidget(ListView1, 1);
  return TabSheet5;
}

// ListView1 shares the favourites' popup menu, column click and double
// click (the menu's commands act on the favourites list).
void TForm1::ConnectScanHandlers() {
  connect(ButtonScan, &QPushButton::clicked, this,
          [this] { Guarded([this] { ButtonScanClick(); }); });
  AttachFavsHandlers(ListView1);
}

// Each click flips ScanRunning. A click that stops a scan returns at once;
// the scan notices before its next channel. A click that starts one runs it
// here, inside the handler: a stopped scan's pause may hold a new scan, and
// the old one ends, without sending more, once the new one has ended.
void TForm1::ButtonScanClick() {
  ScanRunning = !ScanRunning;
  if (!ScanRunning) {
    ButtonScan->setText(kStartCaption);
    return;
  }
  TScanRange range;
  try {
    range = ReadScanRange();
  } catch (...) {
    ScanRunning = false;
    throw;
  }
  if (!MayStartOperation() || RefusedWhileUnplugged()) {
    ScanRunning = false;
    return;
  }
  ButtonScan->setText(kStopCaption);
  ProgressBar1->show();
  const auto end = qScopeGuard([this] {
    ProgressBar1->hide();
    ScanRunning = false;
    ButtonScan->setText(kStartCaption);
  });
  AsOperation("the scan", [&] { RunScan(ScanHooks(), range); });
}

TScanRange TForm1::ReadScanRange() const {
  TScanRange range;
  range.From = ChannelFieldValue(MaskEditScanFrom);
  range.To = ChannelFieldValue(MaskEditScanTo);
  range.DelayMs = StrToInt(ToStd(EditScanDelay->text()));
  return range;
}

TScanHooks TForm1::ScanHooks() {
  return TScanHooks{
      pump_,
      LogLine,
      &TForm1::AppClosing,
      [this] { return ScanRunning; },
      [this] {
        return TScanChoices{ComboBoxScanStep->currentIndex(), ComboBoxScanDir->currentIndex() == 0,
                            CheckBoxScan800->isChecked(), CheckBoxScanSbep->isChecked()};
      },
      [this](int32_t channel, int percent) {
        ProgressBar1->setValue(percent);
        StatusPanels[0]->setText(QString::number(channel));
      },
      [this](const std::function<void(TOperationContext&)>& fn) {
        if (CheckPortOpen()) RunOperation(fn);
      },
  };
}

void TForm1::ReadScanSection(const TIniFile& ini) {
  MaskEditScanFrom->setText(FromStd(ini.ReadString("scan", "chn_from", "00000")));
  MaskEditScanTo->setText(FromStd(ini.ReadString("scan", "chn_to", "65535")));
  EditScanDelay->setText(FromStd(ini.ReadString("scan", "delay", "3000")));
  ComboBoxScanStep->setCurrentIndex(
      ReadComboIndex(*ComboBoxScanStep, ini, "scan", "step", QString(), 0));
  ComboBoxScanDir->setCurrentIndex(
      ReadComboIndex(*ComboBoxScanDir, ini, "scan", "dir", QStringLiteral("RX"), 0));
  CheckBoxScan800->setChecked(ini.ReadBool("scan", "800", false));
  CheckBoxScanSbep->setChecked(ini.ReadBool("scan", "sbep", false));
}

void TForm1::WriteScanSection(TIniFile& ini) const {
  ini.WriteString("scan", "chn_from", ToStd(MaskEditScanFrom->text()));
  ini.WriteString("scan", "chn_to", ToStd(MaskEditScanTo->text()));
  ini.WriteString("scan", "delay", ToStd(EditScanDelay->text()));
  ini.WriteString("scan", "step", ToStd(ComboBoxScanStep->currentText()));
  ini.WriteString("scan", "dir", ToStd(ComboBoxScanDir->currentText()));
  ini.WriteBool("scan", "800", CheckBoxScan800->isChecked());
  ini.WriteBool("scan", "sbep", CheckBoxScanSbep->isChecked());
}

}  // namespace kestrune
