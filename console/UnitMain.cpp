#include "console/UnitMain.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QDir>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QScreen>
#include <QStatusBar>
#include <QTabWidget>
#include <QVBoxLayout>
#include <map>
#include <stdexcept>

#include "console/ConsoleLog.h"
#include "console/ErrorReport.h"
#include "console/LogViewFeed.h"
#include "console/UnitSetButtons.h"
#include "console/core/CommandText.h"
#include "console/core/IniFile.h"
#include "console/core/IntConv.h"
#include "serial/SerialDevices.h"

namespace kestrune {

namespace {

const QString kUnsetCaption = QStringLiteral("Right-click to set");
const char* const kHintProperty = "hint";
const char* const kPlaceNameProperty = "placeName";

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }

std::string ButtonSection(int page) { return "buttons" + std::to_string(page); }

QString ButtonName(int page, int index) {
  return QStringLiteral("ButtonP%1_%2").arg(page).arg(index);
}

// Leading and trailing white space and control characters removed.
QString TrimControls(const QString& s) {
  qsizetype begin = 0;
  qsizetype end = s.size();
  while (begin < end && s[begin].unicode() <= u' ') ++begin;
  while (end > begin && s[end - 1].unicode() <= u' ') --end;
  return s.mid(begin, end - begin);
}

// A baud rate or a number of bits: an integer above 0.
int32_t ReadPositive(const QString& text, const char* what) {
  const int32_t value = StrToInt(S(text));
  if (value <= 0) throw std::invalid_argument("''" + S(text) + "'' is not a valid " + what);
  return value;
}

// A group headed in bold; its contents keep the normal font.
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

// A label that names its control for assistive tools and gives it a mnemonic.
// Qt names some controls by their label only through the accessible name (a
// combo box otherwise goes by its current item), so that is set as well.
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

template <class Widget>
Widget* Named(Widget* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

QComboBox* ListCombo(const char* name, const QStringList& items) {
  auto* combo = Named(new QComboBox, name);
  combo->addItems(items);
  combo->setCurrentIndex(0);
  return combo;
}

}  // namespace

int ReadComboIndex(const QComboBox& combo, const TIniFile& ini, const std::string& section,
                   const std::string& key, const QString& defaultText, int defaultPosition) {
  const QString stored = Q(ini.ReadString(section, key, S(defaultText)));
  for (int i = 0; i < combo.count(); ++i)
    if (combo.itemText(i).compare(stored, Qt::CaseInsensitive) == 0) return i;
  return defaultPosition;
}

// ------------------------------------------------------------------ creation

TForm1::TForm1(TForm1Options options, QWidget* parent)
    : QMainWindow(parent), options_(std::move(options)) {
  BuildWindow();
  ConnectHandlers();
  logFeed_ = new TLogViewFeed(MemoLog);
  ConsoleLog().View = logFeed_;
  Guarded([this] { FormCreate(); });
  FormSetButton = new TFormSetButton(this);
}

TForm1::~TForm1() {
  Guarded([this] { FormDestroy(); });
  ConsoleLog().View = nullptr;
}

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

QWidget* TForm1::BuildMainTab() {
  auto* tab = Named(new QWidget, "TabSheet1");
  Panel4 = Named(new QWidget, "Panel4");
  PageControl2 = Named(new QTabWidget, "PageControl2");
  PageControl2->setAccessibleName(QStringLiteral("Command pages"));
  for (int page = 1; page <= kCommandPages; ++page)
    PageControl2->addTab(BuildCommandPage(page), QString::number(page));
  PageControl2->setCurrentIndex(0);
  auto* panelLayout = new QVBoxLayout(Panel4);
  panelLayout->setContentsMargins(0, 0, 0, 0);
  panelLayout->addWidget(PageControl2);

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

  auto* layout = new QVBoxLayout(tab);
  layout->addWidget(Panel4);
  layout->addWidget(MemoLog, 1);
  return tab;
}

QWidget* TForm1::BuildCommandPage(int page) {
  auto* sheet = new QWidget;
  sheet->setObjectName(QStringLiteral("TabSheetCmd%1").arg(page));
  TabSheetCmd[page - 1] = sheet;
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

QWidget* TForm1::BuildSettingsTab() {
  auto* tab = Named(new QWidget, "TabSheet2");
  auto* layout = new QHBoxLayout(tab);
  layout->addWidget(BuildPortGroup(), 0, Qt::AlignTop);
  layout->addWidget(BuildLogGroup(), 0, Qt::AlignTop);
  layout->addWidget(BuildStationGroup(), 0, Qt::AlignTop);
  layout->addStretch(1);
  return tab;
}

QGroupBox* TForm1::BuildPortGroup() {
  QGroupBox* group = HeadedGroup(QStringLiteral("Port"), "GroupBoxPort", nullptr);
  ComboBoxPortIndex = ListCombo("ComboBoxPortIndex", {"1", "2", "3", "4"});
  EditPortBaud = Named(new QLineEdit(QStringLiteral("9600")), "EditPortBaud");
  EditPortBits = Named(new QLineEdit(QStringLiteral("8")), "EditPortBits");
  ComboBoxPortStopBits = ListCombo("ComboBoxPortStopBits", {"1", "1.5", "2"});

  RadioGroupPortParity = Named(new QGroupBox(QStringLiteral("Parity")), "RadioGroupPortParity");
  parityButtons_ = new QButtonGroup(RadioGroupPortParity);
  auto* parityLayout = new QVBoxLayout(RadioGroupPortParity);
  const QStringList parities{"No", "Odd", "Even", "Mark", "Space"};
  for (int i = 0; i < parities.size(); ++i) {
    auto* radio = new QRadioButton(parities[i]);
    radio->setObjectName(QStringLiteral("RadioPortParity%1").arg(parities[i]));
    parityButtons_->addButton(radio, i);
    parityLayout->addWidget(radio);
  }
  SetParityIndex(0);
  ButtonPortApply = Named(new QPushButton(QStringLiteral("Apply")), "ButtonPortApply");

  auto* form = new QFormLayout(group);
  form->addRow(BuddyLabel(QStringLiteral("&Port"), "LabelPortIndex", ComboBoxPortIndex),
               ComboBoxPortIndex);
  form->addRow(BuddyLabel(QStringLiteral("&Baud"), "LabelPortBaud", EditPortBaud), EditPortBaud);
  form->addRow(BuddyLabel(QStringLiteral("B&its"), "LabelPortBits", EditPortBits), EditPortBits);
  form->addRow(BuddyLabel(QStringLiteral("&Stop bits"), "LabelPortStopBits", ComboBoxPortStopBits),
               ComboBoxPortStopBits);
  form->addRow(RadioGroupPortParity);
  form->addRow(ButtonPortApply);
  KeepNormalFont(group);
  return group;
}

QGroupBox* TForm1::BuildLogGroup() {
  QGroupBox* group = HeadedGroup(QStringLiteral("Log"), "GroupBoxLog", nullptr);
  CheckBoxLogTransmit = Named(new QCheckBox(QStringLiteral("Log Transmit")), "CheckBoxLogTransmit");
  CheckBoxLogReceive = Named(new QCheckBox(QStringLiteral("Log Receive")), "CheckBoxLogReceive");
  CheckBoxLogToFile = Named(new QCheckBox(QStringLiteral("Log to file")), "CheckBoxLogToFile");
  CheckBoxLogTransmit->setChecked(true);
  CheckBoxLogReceive->setChecked(true);
  auto* layout = new QVBoxLayout(group);
  layout->addWidget(CheckBoxLogTransmit);
  layout->addWidget(CheckBoxLogReceive);
  layout->addWidget(CheckBoxLogToFile);
  KeepNormalFont(group);
  return group;
}

QGroupBox* TForm1::BuildStationGroup() {
  // Nothing reads these lists; they only keep their setting from run to run.
  GroupBoxStation = Named(new QGroupBox(QStringLiteral("Station")), "GroupBoxStation");
  ComboBoxSettMinFreq =
      ListCombo("ComboBoxSettMinFreq", {"136000000", "403000000", "450000000", "806000000"});
  ComboBoxSettMaxFreq =
      ListCombo("ComboBoxSettMaxFreq", {"174000000", "470000000", "520000000", "870000000"});
  auto* form = new QFormLayout(GroupBoxStation);
  form->addRow(BuddyLabel(QStringLiteral("Min freq"), "LabelSettMinFreq", ComboBoxSettMinFreq),
               ComboBoxSettMinFreq);
  form->addRow(BuddyLabel(QStringLiteral("Max freq"), "LabelSettMaxFreq", ComboBoxSettMaxFreq),
               ComboBoxSettMaxFreq);
  GroupBoxStation->hide();
  return GroupBoxStation;
}

void TForm1::BuildStatusBar() {
  StatusBar1 = statusBar();
  StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
  StatusBar1->setSizeGripEnabled(false);
  const std::array widths{100, 250, 50};
  const std::array names{"Scan channel", "Scan progress", "Status"};
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
  connect(ButtonPortApply, &QPushButton::clicked, this,
          [this] { Guarded([this] { ButtonPortApplyClick(); }); });
  for (QCheckBox* box : {CheckBoxLogTransmit, CheckBoxLogReceive})
    connect(box, &QCheckBox::toggled, this,
            [this] { Guarded([this] { CheckBoxLogTransmitClick(); }); });
  // Not a handler: the event thread needs the state without touching the box.
  connect(CheckBoxLogToFile, &QCheckBox::toggled, this,
          [](bool on) { ConsoleLog().LogToFile = on; });
  connect(NLogClear, &QAction::triggered, this, [this] { Guarded([this] { NLogClearClick(); }); });
  connect(MemoLog, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { PopupMenuLog->popup(MemoLog->viewport()->mapToGlobal(at)); });
  // Only the operator's choice runs the handler, not the settings reader.
  connect(ComboBoxSettMinFreq, &QComboBox::activated, this,
          [this] { Guarded([this] { ComboBoxSettMinFreqChange(); }); });
  for (auto& page : buttons_)
    for (QPushButton* button : page)
      connect(button, &QPushButton::clicked, this,
              [this, button] { Guarded([this, button] { ButtonP1_0Click(button); }); });
}

// ------------------------------------------------------- start and shutdown

void TForm1::FormCreate() {
  TConsoleLog& log = ConsoleLog();
  log.AppClosing = false;
  log.FileFailureReported = false;
  log.LogToFile = CheckBoxLogToFile->isChecked();

  programDir_ =
      options_.ProgramDir.isEmpty() ? QCoreApplication::applicationDirPath() : options_.ProgramDir;
  if (!programDir_.endsWith(u'/')) programDir_ += u'/';
  QDir().mkpath(LogDir());  // a failure shows later, when a line is written
  log.LogFileName =
      S(LogDir() + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd_HHmm")) +
        QStringLiteral(".log"));
  ScanRunning = false;

  {
    const TIniFile ini(S(SettingsFileName()));
    // Said once; the program runs on defaults and leaves the file alone.
    if (ini.ReadError()) ShowErrorReport(Q(*ini.ReadError()));
    ReadDeviceMap(ini);
    ReadSettings(ini);
  }

  ProgressBar1 = Named(new QProgressBar(StatusBar1), "ProgressBar1");
  ProgressBar1->setAccessibleName(QStringLiteral("Scan progress"));
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setTextVisible(false);

  ButtonPortApplyClick();
}

void TForm1::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (shown_) return;
  shown_ = true;
  Guarded([this] { FormShow(); });
}

void TForm1::FormShow() {
  ProgressBar1->setGeometry(StatusPanels[1]->geometry());
  ProgressBar1->hide();
}

void TForm1::FormDestroy() {
  ConsoleLog().AppClosing = true;
  fSb9600.reset();  // closes the port; "Port closed" reaches the file only

  TIniFile ini(S(SettingsFileName()));
  WriteSettings(ini);
  ini.UpdateFile();
}

// -------------------------------------------------------------- settings

void TForm1::ReadDeviceMap(const TIniFile& ini) {
  std::map<std::string, std::string> devices;
  for (const std::string& key : ini.ReadSection("devices")) {
    const std::string path = ini.ReadString("devices", key, "");
    if (!path.empty()) devices.emplace(S(Q(key).toUpper()), path);
  }
  SetSerialDeviceMap(std::move(devices));
}

void TForm1::ReadSettings(const TIniFile& ini) {
  ComboBoxPortIndex->setCurrentIndex(ini.ReadInteger("port", "index", 0));
  EditPortBaud->setText(Q(ini.ReadString("port", "Baud", "9600")));
  EditPortBits->setText(Q(ini.ReadString("port", "Bits", "8")));
  ComboBoxPortStopBits->setCurrentIndex(ini.ReadInteger("port", "StopBits", 0));
  SetParityIndex(ini.ReadInteger("port", "Parity", 0));

  // A state that differs from the current one runs the click handler, which
  // logs "Port is not open": no engine exists yet.
  CheckBoxLogTransmit->setChecked(ini.ReadBool("log", "transmit", false));
  CheckBoxLogReceive->setChecked(ini.ReadBool("log", "receive", true));
  CheckBoxLogToFile->setChecked(ini.ReadBool("log", "tofile", false));

  // The favourites are read here, between "log" and the buttons, once the
  // list exists.
  for (int page = 1; page <= kCommandPages; ++page) ReadButtonSection(ini, page);

  // "mem", "scan" and "tune" follow here, with the tabs that hold them.
  const int minFreq = ReadComboIndex(*ComboBoxSettMinFreq, ini, "sett", "minfreq", QString(), 0);
  ComboBoxSettMinFreq->setCurrentIndex(minFreq);
  ComboBoxSettMaxFreq->setCurrentIndex(minFreq);
}

// Keys are taken by their position in the section, not by their names.
void TForm1::ReadButtonSection(const TIniFile& ini, int page) {
  const std::string section = ButtonSection(page);
  const std::vector<std::string> keys = ini.ReadSection(section);
  for (size_t k = 0; k < keys.size() && k < kButtonsPerPage; ++k) {
    const QStringList parts = Q(ini.ReadString(section, keys[k], "")).split(u';');
    if (parts.size() < 2) continue;
    QPushButton* button = buttons_[page - 1][k];
    SetButtonCaption(button, parts[0]);
    SetButtonHint(button, parts[1]);
  }
}

void TForm1::WriteSettings(TIniFile& ini) const {
  ini.WriteInteger("port", "index", ComboBoxPortIndex->currentIndex());
  ini.WriteString("port", "Baud", S(EditPortBaud->text()));
  ini.WriteString("port", "Bits", S(EditPortBits->text()));
  ini.WriteInteger("port", "StopBits", ComboBoxPortStopBits->currentIndex());
  ini.WriteInteger("port", "Parity", ParityIndex());

  ini.WriteBool("log", "transmit", CheckBoxLogTransmit->isChecked());
  ini.WriteBool("log", "receive", CheckBoxLogReceive->isChecked());
  ini.WriteBool("log", "tofile", CheckBoxLogToFile->isChecked());

  // Writing keeps the order of reading (favourites, then the buttons, then
  // "mem", "scan" and "tune" before "sett").
  for (int page = 1; page <= kCommandPages; ++page) {
    if (!TabSheetCmd[page - 1]) continue;
    const std::string section = ButtonSection(page);
    ini.EraseSection(section);
    for (int j = 0; j < kButtonsPerPage; ++j) {
      const QPushButton* button = buttons_[page - 1][j];
      ini.WriteString(section, S(button->objectName()),
                      S(button->text() + u';' + ButtonHint(button)));
    }
  }

  ini.WriteString("sett", "minfreq", S(ComboBoxSettMinFreq->currentText()));
}

int TForm1::ParityIndex() const { return parityButtons_->checkedId(); }

void TForm1::SetParityIndex(int index) {
  if (QAbstractButton* button = parityButtons_->button(index)) {
    button->setChecked(true);
    return;
  }
  // Out of range: nothing selected, as with a list given a position it lacks.
  parityButtons_->setExclusive(false);
  for (QAbstractButton* button : parityButtons_->buttons()) button->setChecked(false);
  parityButtons_->setExclusive(true);
}

// ------------------------------------------------------------- the port

bool TForm1::CheckPortOpen() {
  if (fSb9600) return true;
  LogLine("Port is not open");
  return false;
}

void TForm1::ButtonPortApplyClick() {
  // Replacing the port under a running exchange would pull it from beneath
  // the engine's wait, which resumes once this handler returns.
  if (exchangeDepth_ > 0)
    throw std::runtime_error("The port cannot be changed while an exchange is running");

  const std::string name = "COM" + std::to_string(ComboBoxPortIndex->currentIndex() + 1);
  const int32_t baud = ReadPositive(EditPortBaud->text(), "baud rate");
  const int32_t bits = ReadPositive(EditPortBits->text(), "number of data bits");
  const int32_t stopBits = ComboBoxPortStopBits->currentIndex();
  const int32_t parity = ParityIndex();
  const bool logTX = CheckBoxLogTransmit->isChecked();
  const bool logRX = CheckBoxLogReceive->isChecked();

  if (!fSb9600) {
    fSb9600 = std::make_unique<TSb9600>(pump_, options_.PortFactory);
    fSb9600->SetLog(LogLine, LogDump, logTX, logRX);
  } else {
    fSb9600->FreeComPort();
  }
  fSb9600->CreatePort(name, baud, bits, stopBits, parity, logTX, logRX);

  const TComPort* port = fSb9600->ComPort();
  if (!port || !port->IsOpen() || port->Handle() < 0) fSb9600.reset();  // logs "Port closed"
}

bool TForm1::SendRepeatAndWait(const std::vector<uint8_t>& packet) {
  ++exchangeDepth_;
  const auto leave = qScopeGuard([this] { --exchangeDepth_; });
  return fSb9600->SendRepeatAndWait(packet);
}

// ------------------------------------------------------------------ log

void TForm1::CheckBoxLogTransmitClick() {
  if (CheckPortOpen())
    fSb9600->SetLog(LogLine, LogDump, CheckBoxLogTransmit->isChecked(),
                    CheckBoxLogReceive->isChecked());
}

void TForm1::NLogClearClick() {
  logFeed_->Flush();  // lines still on their way belong to the old view
  MemoLog->clear();
}

void TForm1::ComboBoxSettMinFreqChange() {
  ComboBoxSettMaxFreq->setCurrentIndex(ComboBoxSettMinFreq->currentIndex());
}

// ------------------------------------------------------ command buttons

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
  SendRepeatAndWait(ParseCommandBytes(S(command)));
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
  SetButtonHint(sender, Q(NormalizeCommandText(S(dialog.EditSetButtonCommand->text()))));
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  auto* button = qobject_cast<QPushButton*>(watched);
  if (!button) return QMainWindow::eventFilter(watched, event);

  if (event->type() == QEvent::MouseButtonPress) {
    const Qt::MouseButton pressed = static_cast<QMouseEvent*>(event)->button();
    if (pressed == Qt::LeftButton) return false;  // an ordinary click
    Guarded([&] { ButtonP1_0MouseDown(button, pressed); });
    return true;
  }
  // The menu key and Shift+F10 do for keyboard users what the right press
  // does for mouse users.
  if (event->type() == QEvent::ContextMenu) {
    if (static_cast<QContextMenuEvent*>(event)->reason() == QContextMenuEvent::Keyboard)
      Guarded([&] { ButtonP1_0MouseDown(button, Qt::RightButton); });
    return true;
  }
  return false;
}

}  // namespace kestrune
