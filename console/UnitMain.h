// The main window: tabs with the command pages and the log view, the
// Settings tab with the port and log set-up, and the status bar. It owns the
// bus engine (fSb9600) while a port is open.
//
// Every handler runs inside the general error report (ErrorReport.h): an
// error that escapes it ends that handler only. Handlers that talk to the
// radio in more than one exchange hand the work to an operation of
// console/core (Operation.h) and add only what belongs to a window.
//
// The implementation is split by concern:
//   UnitMain.cpp              start, shutdown, closing, the port
//   UnitMain_Layout.cpp       the window's frame: tabs, log view, status bar
//   UnitMain_Settings.cpp     reading and writing "settings.ini"
//   UnitMain_Commands.cpp     the five command pages and the Set-button dialog
//   UnitMain_SettingsTab.cpp  the Settings tab: port, log and station groups
//   UnitMain_Tune.cpp         the Tune and LCD tabs
//   UnitMain_Favourites.cpp   the favourites list beside the Tune panel
//   UnitMain_Line.cpp         the line's state: its panel, hang-up, reopening
// and one file per further tab.
//
// Files: "settings.ini" and the "logs" folder are where LocateFiles
// (console/core/FilePlaces.h) puts them for the program folder (the
// executable's folder unless TForm1Options says otherwise). The settings file
// is read once by FormCreate and written once by FormDestroy.
#pragma once

#include <QByteArray>
#include <QMainWindow>
#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "console/DialogSeam.h"
#include "console/QtEventPump.h"
#include "console/core/FilePlaces.h"
#include "console/core/LineSettings.h"
#include "console/core/MemoryImage.h"
#include "console/ops/Operation.h"
#include "console/ops/Tune.h"
#include "protocol/SB9600.h"

class QAction;
class QButtonGroup;
class QCheckBox;
class QCloseEvent;
class QComboBox;
class QFileDialog;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QSocketNotifier;
class QPushButton;
class QStatusBar;
class QTabWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace kestrune {

class DeviceWatch;
class TFormSetButton;
class TIniFile;
enum class TextEncoding;
class TLogViewFeed;
class LogFindBar;
class LogView;
struct TScanHooks;
struct TScanRange;
struct TMemoryWriteJob;

struct TForm1Options {
  // The folder that holds "settings.ini" and "logs"; empty: the executable's.
  QString ProgramDir;
  // Makes the engine's ports; empty: real serial ports. For tests.
  TSb9600::PortFactory PortFactory;
  // The folder that stands for "/" when the Devices dialog lists devices
  // (tests: a fake /dev and /sys tree).
  std::string DeviceRoot = "/";
};

// The position of the first item of combo equal to the stored text, ignoring
// case; defaultPosition when the key is missing or names no item.
int ReadComboIndex(const QComboBox& combo, const TIniFile& ini, const std::string& section,
                   const std::string& key, const QString& defaultText, int defaultPosition);

class TForm1 : public QMainWindow {
  // Declared first: the engine below waits in this pump and must go before it.
  TForm1Options options_;
  QString programDir_;
  TFilePlaces places_;  // the settings file and log folder in use
  QtEventPump pump_;

 public:
  static constexpr int kCommandPages = 5;
  static constexpr int kButtonsPerPage = 10;
  static constexpr int kHintHidePauseMs = 10000;

  // Builds the window and runs FormCreate (which opens the port), then
  // creates the Set-button dialog.
  explicit TForm1(TForm1Options options = {}, QWidget* parent = nullptr);
  // Runs FormDestroy: port closed, settings written.
  ~TForm1() override;

  // ---- handlers (each is also reachable from its control)
  void FormCreate();
  void FormShow();
  void FormDestroy();
  void ButtonPortApplyClick();
  void CheckBoxLogTransmitClick();
  void NLogClearClick();
  // "Add note…": asks for a text and logs it as "note: <text>".
  void AddLogNote();
  void ComboBoxSettMinFreqChange();
  void ButtonP1_0Click(QPushButton* sender);
  void ButtonP1_0MouseDown(QPushButton* sender, Qt::MouseButton button);
  void TabSheetCmd1MouseDown(Qt::MouseButton button);

  // True when the engine exists; otherwise logs "Port is not open".
  bool CheckEngine();
  // The guard of every handler that starts an exchange: CheckEngine, and no
  // memory transfer running (else one log line saying so).
  bool CheckPortOpen();

  // The engine, the log and the closing flag, for an operation of
  // console/core. Only while the engine exists (after CheckPortOpen).
  TOperationContext OperationContext();
  // Runs fn(context) with the engine held in place: Apply is refused until
  // it returns, since handlers run nested inside the operation's waits.
  template <class Fn>
  auto RunOperation(Fn&& fn) {
    ++exchangeDepth_;
    const struct Leave {
      int& depth;
      ~Leave() { --depth; }
    } leave{exchangeDepth_};
    TOperationContext context = OperationContext();
    return fn(context);
  }
  // One operation at a time (the packet script, a memory transfer, a
  // channel setting, display text, the scan): fn runs only when none is
  // running, so nothing is nested inside another operation's waits. A
  // refusal is one log line naming what runs; false then.
  template <class Fn>
  bool AsOperation(const char* name, Fn&& fn) {
    if (!MayStartOperation()) return false;
    runningOperation_ = name;
    const struct Done {
      const char*& running;
      ~Done() { running = nullptr; }
    } done{runningOperation_};
    std::forward<Fn>(fn)();
    return true;
  }
  bool MayStartOperation();
  // True once the window has started closing: running operations end at
  // their next step.
  static bool AppClosing();
  void BeginClosing();

  // One exchange on the engine. While it waits, handlers run nested; the
  // port cannot be replaced until it returns.
  bool SendRepeatAndWait(const std::vector<uint8_t>& packet);

  // Command button j (0..9) of page p (1..5), its caption and its command
  // (its hint).
  QPushButton* CommandButton(int page, int index) const;
  static void SetButtonCaption(QPushButton* button, const QString& caption);
  static QString ButtonHint(const QPushButton* button);
  static void SetButtonHint(QPushButton* button, const QString& command);

  QString ProgramDir() const { return programDir_; }
  QString LogDir() const { return QString::fromStdString(places_.LogDir); }
  QString BackupDir() const { return QString::fromStdString(places_.BackupDir); }
  QString SettingsFileName() const { return QString::fromStdString(places_.SettingsFile); }

  // ---- controls
  QTabWidget* PageControl1 = nullptr;
  QWidget* TabSheet1 = nullptr;  // "Main"
  QWidget* Panel4 = nullptr;
  QTabWidget* PageControl2 = nullptr;
  std::array<QWidget*, kCommandPages> TabSheetCmd{};  // TabSheetCmd1..5
  LogView* MemoLog = nullptr;
  LogFindBar* LogFind = nullptr;  // under the log view while open
  QMenu* PopupMenuLog = nullptr;
  QAction* NLogClear = nullptr;
  QAction* LogCopyAction = nullptr;       // "Copy", Ctrl+C
  QAction* LogSelectAllAction = nullptr;  // "Select all", Ctrl+A
  QAction* LogFindAction = nullptr;       // "Find…", Ctrl+F
  QAction* LogAddNoteAction = nullptr;    // "Add note…", Ctrl+M
  QStatusBar* StatusBar1 = nullptr;
  std::array<QLabel*, 3> StatusPanels{};
  QProgressBar* ProgressBar1 = nullptr;
  // The line's state: "COM1 → /dev/ttyUSB0 open" and so on (UnitMain_Line.cpp).
  QLabel* StatusPanelLine = nullptr;
  enum class LineState { Closed, Open, Waiting, Unplugged, NoPermission };
  LineState CurrentLineState() const { return lineState_; }
  // True after a hang-up until the port is open again.
  bool LineUnplugged() const;

  QWidget* TabSheet2 = nullptr;  // "Settings"
  QComboBox* ComboBoxPortIndex = nullptr;
  QLineEdit* EditPortBaud = nullptr;
  QLineEdit* EditSettingsFile = nullptr;  // read-only: the files in use
  QLineEdit* EditLogFolder = nullptr;
  QLineEdit* EditPortBits = nullptr;
  QComboBox* ComboBoxPortStopBits = nullptr;
  QGroupBox* RadioGroupPortParity = nullptr;
  QPushButton* ButtonPortApply = nullptr;
  QCheckBox* CheckBoxPortReopen = nullptr;  // "Reopen when the adapter returns"
  QLineEdit* EditPortDevice = nullptr;      // the device the selected COMn maps to
  QPushButton* ButtonDevices = nullptr;     // "Devices…"
  void ButtonDevicesClick();
  void ShowMappedDevice();
  QCheckBox* CheckBoxLogTransmit = nullptr;
  QCheckBox* CheckBoxLogReceive = nullptr;
  QCheckBox* CheckBoxLogToFile = nullptr;
  QGroupBox* GroupBoxStation = nullptr;  // hidden
  QComboBox* ComboBoxSettMinFreq = nullptr;
  QComboBox* ComboBoxSettMaxFreq = nullptr;

  TFormSetButton* FormSetButton = nullptr;

  // ---- Custom (UnitMain_Custom.cpp)
  void ButtonSendCustomPacketClick();
  void RunCustomPackets();
  // "CustomPackets.txt" in the working directory.
  static QString CustomPacketsFileName();

  QWidget* TabSheetCmd6 = nullptr;  // "Custom"
  QPlainTextEdit* MemoCustomPacket = nullptr;
  QPushButton* ButtonSendCustomPacket = nullptr;

  // ---- Tune (UnitMain_Tune.cpp)
  void MaskEditTuneFreqChange();
  void ButtonApplyFreqClick();
  void ButtonToLCDClick();
  // The radio operations: each checks the port, then runs the sequence of
  // console/ops/Tune.h.
  // False when the port is not open or another operation runs.
  bool SetChannel(const TChannelSetting& setting);
  void SendLcdText(const TLcdParams& params, const std::string& text);
  void SendFreqToLcd(uint32_t freqHz);

  QWidget* TabSheet6 = nullptr;  // "Tune"
  QLineEdit* MaskEditTuneFreq = nullptr;
  QLineEdit* EditTuneChannel = nullptr;
  QLineEdit* EditTuneDescr = nullptr;
  QComboBox* ComboBoxTuneDir = nullptr;
  QComboBox* ComboBoxTuneStep = nullptr;
  QCheckBox* CheckBoxTune800 = nullptr;
  QCheckBox* CheckBoxTuneLCD = nullptr;
  QGroupBox* GroupBoxTune = nullptr;  // "SBEP"
  QCheckBox* CheckBoxTuneSbep = nullptr;
  QComboBox* ComboBoxTuneModulation = nullptr;
  QComboBox* ComboBoxTuneAudio = nullptr;
  QLineEdit* MaskEditTuneFrames = nullptr;
  QComboBox* ComboBoxTuneContinuos = nullptr;
  QPushButton* ButtonApplyFreq = nullptr;
  QPushButton* ButtonTuneAddFav = nullptr;
  QWidget* TabSheet4 = nullptr;  // "LCD"
  QLineEdit* EditToLCD = nullptr;
  QPushButton* ButtonToLCD = nullptr;

  // ---- Favourites (UnitMain_Favourites.cpp)
  void ButtonTuneAddFavClick();
  // Sorts the sender list by a column (0 the caption, 1.. the sub-items).
  void ListViewColumnClick(QTreeWidget* sender, int column);
  // column -1: the captions; 0 and more: that sub-item, empty when missing.
  static int CompareListItems(const QTreeWidgetItem& row1, const QTreeWidgetItem& row2, int column);
  static void SwapListItems(QTreeWidget* list, int index1, int index2);
  void ppmSetClick();
  void ppmUpClick();
  void ppmDownClick();
  void ppmEditClick();
  void ppmDeleteClick();
  void ListViewFavsDblClick(QTreeWidget* sender);
  // Gives a list the favourites' popup menu (right press, menu key,
  // Shift+F10), the column click and the double click (also Enter).
  void AttachFavsHandlers(QTreeWidget* list);
  // Opens PopupMenuFavs for list at a global position.
  void PopupFavs(QTreeWidget* list, const QPoint& globalPos);

  QTreeWidget* ListViewFavs = nullptr;
  QMenu* PopupMenuFavs = nullptr;
  QAction* ppmSet = nullptr;
  QAction* ppmUp = nullptr;
  QAction* ppmDown = nullptr;
  QAction* ppmEdit = nullptr;
  QAction* ppmDelete = nullptr;
  // Sorting from the keyboard: one item per column of the list it opened on.
  QMenu* ppmSortBy = nullptr;
  // ---- Memory (UnitMain_Memory.cpp)
  QWidget* TabSheet7 = nullptr;  // "Memory"
  QGroupBox* RadioGroupMemDevice = nullptr;
  QLabel* LabelMemBase = nullptr;
  QLineEdit* EditMemBase = nullptr;
  QLabel* LabelMemLen = nullptr;
  QLineEdit* EditMemLen = nullptr;
  QPushButton* ButtonMemRead = nullptr;
  QPushButton* ButtonMemWrite = nullptr;
  QPushButton* ButtonMemCompare = nullptr;
  QCheckBox* CheckBoxMemVerify = nullptr;  // "Verify": a write is read back and compared
  // "Changed chunks only": a write reads the range first and sends what differs
  QCheckBox* CheckBoxMemChangedOnly = nullptr;
  // "Backup before write": a write first saves the range as it is in the radio
  QCheckBox* CheckBoxMemBackup = nullptr;
  void RadioGroupMemDeviceClick();
  void ButtonMemReadClick();
  void ButtonMemWriteClick();
  void ButtonMemCompareClick();
  int MemDeviceIndex() const;
  void SetMemDeviceIndex(int index);
  // Asks for the file a read is saved in (SaveDialogEeprom), before the
  // read, and checks that it can be written. Nothing when cancelled.
  std::optional<FileDialogAnswer> ChooseImageOutput();
  // Writes the image, whose byte i lies at base + i, in the chosen type.
  void SaveMemoryImage(const std::vector<uint8_t>& image, uint32_t base, FileDialogAnswer target);
  // Asks for a file (OpenDialogEeprom), loads it and sets the base and
  // length fields from it. No ranges when cancelled or nothing was loaded;
  // throws for a damaged file, naming it, its line and why.
  LoadedImage LoadMemoryImage();
  bool MemoryTransferRunning() const { return memTransfer_ != MemTransfer::None; }

  // ---- state
  // The engine, only while a port is open.
  std::unique_ptr<TSb9600> fSb9600;
  bool ScanRunning = false;

  int ParityIndex() const;
  void SetParityIndex(int index);
  // The port group's controls as settings, and back.
  LineSettings ShownLineSettings() const;
  void ShowLineSettings(const LineSettings& settings);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  // ---- the frame (UnitMain_Layout.cpp)
  // Opens the line on the engine (made when there is none); the engine is
  // freed again when the port does not open. A quiet attempt logs nothing
  // unless the port opens.
  enum class FailureLog { Logged, Quiet };
  void OpenLine(const PortLine& line, FailureLog failureLog = FailureLog::Logged);

  // ---- the line's state (UnitMain_Line.cpp)
  void BuildLinePanel();
  QString LineStateText(LineState state) const;
  void ShowLineState(LineState state);
  void NoteLineOpened(const PortLine& line);
  // Before the engine is freed: the permission hint goes before "Port closed".
  void NoteLineFailed(const PortLine& line, int code, FailureLog failureLog);
  // Logs "COM1 is unplugged" and gives true while the line is unplugged.
  bool RefusedWhileUnplugged();
  void LineHungUp(int generation);
  void WatchDevice();
  void StopWatchingDevice();
  void DeviceChanged();
  void ReopenLine();
  std::optional<PortLine> openLine_;  // the line last opened or tried
  std::string openDevice_;            // the device it maps to
  LineState lineState_ = LineState::Closed;
  bool lineUnplugged_ = false;
  bool reopenFailureLogged_ = false;  // for this return of the device
  int portGeneration_ = 0;            // a hang-up of an older port is ignored
  DeviceMap deviceMap_;               // [devices] as read, and as the Devices dialog left it
  bool deviceMapChanged_ = false;     // [devices] is written back only then
  void ReadDevicesSection(const TIniFile& ini);
  void WriteDevicesSection(TIniFile& ini) const;
  std::unique_ptr<DeviceWatch> deviceWatch_;
  QSocketNotifier* deviceNotifier_ = nullptr;

  void BuildWindow();
  QWidget* BuildMainTab();
  void BuildLogView();
  void BuildStatusBar();
  void ConnectHandlers();

  // ---- settings (UnitMain_Settings.cpp), section by section in file order
  struct SettingsSection {
    void (TForm1::*Read)(const TIniFile&);
    void (TForm1::*Write)(TIniFile&) const;
  };
  static std::vector<SettingsSection> SettingsSections();
  void ReadSettings(const TIniFile& ini);
  void WriteSettings(TIniFile& ini) const;
  void ReadPortSection(const TIniFile& ini);
  void WritePortSection(TIniFile& ini) const;
  void ReadLogSection(const TIniFile& ini);
  void WriteLogSection(TIniFile& ini) const;
  void ReadButtonSections(const TIniFile& ini);
  void WriteButtonSections(TIniFile& ini) const;
  void ReadSettSection(const TIniFile& ini);
  void WriteSettSection(TIniFile& ini) const;

  // ---- command pages (UnitMain_Commands.cpp)
  QWidget* BuildCommandPage(int page);
  void ConnectCommandHandlers();
  void ReadButtonSection(const TIniFile& ini, int page);

  // ---- Settings tab (UnitMain_SettingsTab.cpp)
  QWidget* BuildSettingsTab();
  QGroupBox* BuildPortGroup();
  QGroupBox* BuildLogGroup();
  QGroupBox* BuildFilesGroup();
  QGroupBox* BuildStationGroup();
  void ConnectSettingsTabHandlers();

  // ---- Custom (UnitMain_Custom.cpp)
  QWidget* BuildCustomPage();
  void ConnectCustomHandlers();
  std::string CustomPacketLine(int index) const;
  int CustomPacketLineCount() const;
  const std::vector<std::string>& CustomPacketLines() const;
  std::string CustomPacketsText() const;
  // The script's lines as they were split last; split again after an edit.
  mutable std::vector<std::string> customPacketLines_;
  mutable bool customPacketLinesStale_ = true;
  void LoadCustomPackets();
  void SaveCustomPackets() const;
  // The encoding "CustomPackets.txt" was read in (a new file: UTF-8), set by
  // LoadCustomPackets, and whether it existed but could not be read: it is
  // then left alone at close.
  TextEncoding customPacketsEncoding_{};
  bool customPacketsUnread_ = false;

  // ---- Tune (UnitMain_Tune.cpp)
  QWidget* BuildTuneTab();
  QWidget* BuildTunePanel();
  QGroupBox* BuildTuneSbepGroup();
  QWidget* BuildLcdTab();
  void ConnectTuneHandlers();
  void ReadTuneSection(const TIniFile& ini);
  void WriteTuneSection(TIniFile& ini) const;

  // ---- Favourites (UnitMain_Favourites.cpp)
  QWidget* BuildFavouritesList();
  void ConnectFavouritesHandlers();
  void ReadFavoritesSection(const TIniFile& ini);
  void WriteFavoritesSection(TIniFile& ini) const;
  // ---- Memory (UnitMain_Memory.cpp)
  enum class MemTransfer { None, Read, Write };
  QWidget* BuildMemoryPage();
  void ConnectMemoryHandlers();
  void ReadMemSection(const TIniFile& ini);
  void WriteMemSection(TIniFile& ini) const;
  // Logs the refusal and gives true while a memory transfer runs.
  bool RefusedDuringMemoryTransfer();
  // No transfer and no other exchange running; else one log line.
  bool MayStartMemoryTransfer();
  bool MemoryReadRefused();
  // The file a write or compare works with, chosen and loaded; nothing when
  // the operator cancelled, the file holds no data, or the transfer may not
  // start (one log line says why).
  std::optional<LoadedImage> LoadImageForTransfer();
  // The transfer of the loaded image's ranges with the page's device and fields.
  TMemoryWriteJob ImageJob(const LoadedImage& loaded);
  std::optional<FileDialogAnswer> RunImageDialog(QFileDialog& dialog);
  bool AgreeOnSavedType(FileDialogAnswer& answer);
  std::optional<int> AgreeOnLoadedType(const FileDialogAnswer& answer, const QByteArray& bytes);
  // Where the image dialogs open and on which type: the last ones chosen in
  // this session.
  QString imageDialogFolder_;
  int imageDialogFilter_ = 0;
  // Closing during a write asks the operator first (not after a signal).
  bool MayCloseDuringMemoryTransfer();
  void RunMemoryTransfer(MemTransfer kind, QPushButton* button,
                         const std::function<void(TOperationContext&)>& transfer);
  void ShowMemoryProgress(uint32_t done, uint32_t total, uint32_t address);
  QButtonGroup* memDeviceButtons_ = nullptr;
  MemTransfer memTransfer_ = MemTransfer::None;

  TLogViewFeed* logFeed_ = nullptr;
  QButtonGroup* parityButtons_ = nullptr;
  std::array<std::array<QPushButton*, kButtonsPerPage>, kCommandPages> buttons_{};
  int exchangeDepth_ = 0;
  const char* runningOperation_ = nullptr;  // what AsOperation runs, if anything
  bool shown_ = false;

  // ---- Scan (UnitMain_Scan.cpp)
 public:
  QWidget* TabSheet5 = nullptr;  // "Scan"
  QLineEdit* MaskEditScanFrom = nullptr;
  QLineEdit* MaskEditScanTo = nullptr;
  QLineEdit* EditScanDelay = nullptr;
  QComboBox* ComboBoxScanDir = nullptr;
  QComboBox* ComboBoxScanStep = nullptr;
  QCheckBox* CheckBoxScan800 = nullptr;
  QCheckBox* CheckBoxScanSbep = nullptr;
  QPushButton* ButtonScan = nullptr;
  QTreeWidget* ListView1 = nullptr;
  void ButtonScanClick();

 private:
  QWidget* BuildScanPage();
  void ConnectScanHandlers();
  TScanRange ReadScanRange() const;
  TScanHooks ScanHooks();
  void ReadScanSection(const TIniFile& ini);
  void WriteScanSection(TIniFile& ini) const;
};

}  // namespace kestrune
