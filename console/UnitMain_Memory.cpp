// The Memory page: reads an area of the radio's memory (EEPROM, two flash
// areas, a direct space) into a raw or S-record file, and writes such a file
// back. The transfer itself is an operation of console/core
// (MemoryTransfer.h); this file adds the page, the dialogs, the busy cursor,
// the progress shown in the status bar, and the guard that keeps every other
// exchange out while a transfer runs: an exchange started inside a
// transfer's wait would leave SBEP mode or close memory access under it.
#include <QButtonGroup>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QVBoxLayout>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>

#include "console/ConsoleLog.h"
#include "console/DialogSeam.h"
#include "console/ErrorReport.h"
#include "console/QuitOnSignal.h"
#include "console/UnitMain.h"
#include "console/WidgetKit.h"
#include "console/core/IniFile.h"
#include "console/core/IntConv.h"
#include "console/core/MemoryImage.h"
#include "console/core/TextFile.h"
#include "console/ops/CheckedWrite.h"
#include "console/ops/MemoryTransfer.h"

namespace kestrune {

namespace {

const QStringList kMemDevices{"eeprom default", "eeprom custom", "flash 1", "flash 2", "direct"};
// The image dialogs' type list; the position of the chosen entry decides the
// format, never the file name.
const QStringList kImageFilters{"Binary *.bin (*.bin)", "Intel hex *.s19 (*.s19)"};
constexpr int kRawImageFilter = 0;
constexpr int kSRecordFilter = 1;

QString SuffixOf(int filter) {
  return filter == kSRecordFilter ? QStringLiteral("s19") : QStringLiteral("bin");
}

// The type a file name's suffix belongs to, if it belongs to one.
std::optional<int> FilterOfName(const QString& file) {
  const QString suffix = QFileInfo(file).suffix().toLower();
  if (suffix == u"bin") return kRawImageFilter;
  if (suffix == u"s19" || suffix == u"srec" || suffix == u"mot") return kSRecordFilter;
  return std::nullopt;
}

QString FileKind(int filter) {
  return filter == kSRecordFilter ? QStringLiteral("an S-record file")
                                  : QStringLiteral("a binary image");
}

QString TypeName(int filter) {
  return filter == kSRecordFilter ? QStringLiteral("S-records") : QStringLiteral("binary");
}

// The dialog opens where the last one was left, on the type chosen last, and
// a name typed without a suffix gets the suffix of the type chosen.
std::unique_ptr<QFileDialog> ImageDialog(QWidget* parent, const char* name, const QString& title,
                                         QFileDialog::AcceptMode mode, const QString& folder,
                                         int filter) {
  auto dialog = std::make_unique<QFileDialog>(parent, title);
  dialog->setObjectName(QString::fromLatin1(name));
  dialog->setAcceptMode(mode);
  dialog->setNameFilters(kImageFilters);
  if (!folder.isEmpty()) dialog->setDirectory(folder);
  dialog->selectNameFilter(kImageFilters[filter]);
  dialog->setDefaultSuffix(SuffixOf(filter));
  QFileDialog* shown = dialog.get();
  QObject::connect(shown, &QFileDialog::filterSelected, shown, [shown](const QString& chosen) {
    shown->setDefaultSuffix(SuffixOf(static_cast<int>(kImageFilters.indexOf(chosen))));
  });
  if (mode == QFileDialog::AcceptOpen) dialog->setFileMode(QFileDialog::ExistingFile);
  return dialog;
}

QByteArray ReadImageFile(const QString& path) {
  try {
    return QByteArray::fromStdString(ReadWholeFile(ToStd(path)));
  } catch (const EFileError& e) {
    throw std::runtime_error(e.what());
  }
}

// The line a checked write that did not succeed ends with; the operation has
// logged where a transfer failed or stopped. A write that got under way names
// the backup that holds what the radio held before.
std::optional<std::string> CheckedWriteFailureLine(const TCheckedWriteResult& result,
                                                   bool stopped) {
  switch (result.End) {
    case TCheckedWriteEnd::Written:
    case TCheckedWriteEnd::NothingToWrite: return std::nullopt;
    case TCheckedWriteEnd::BackupFailed:
      return "the write failed: the backup could not be saved (" + result.BackupError +
             "); nothing was written";
    case TCheckedWriteEnd::ReadFirstFailed:
      if (stopped) return std::nullopt;
      return "the write failed: reading the radio first failed; nothing was written";
    case TCheckedWriteEnd::WriteFailed:
      if (result.BackupFile.empty()) return std::nullopt;
      return "the radio's memory before the write is in " + result.BackupFile;
    case TCheckedWriteEnd::VerifyReadFailed:
      if (stopped) return std::nullopt;
      return "verify: reading the range back failed";
    case TCheckedWriteEnd::VerifyDiffers: return VerifyFailureLine(*result.Verification);
  }
  return std::nullopt;
}

// The base and length fields as they are when the transfer asks for them.
std::function<TMemoryFields()> MemoryFields(const TForm1& form) {
  return [&form] {
    return TMemoryFields{ToStd(form.EditMemBase->text()), ToStd(form.EditMemLen->text())};
  };
}

}  // namespace

// ------------------------------------------------------------------ the page

QWidget* TForm1::BuildMemoryPage() {
  TabSheet7 = Named(new QWidget, "TabSheet7");
  RadioGroupMemDevice = Named(new QGroupBox(QStringLiteral("Device")), "RadioGroupMemDevice");
  RadioGroupMemDevice->setAccessibleName(QStringLiteral("Device"));
  memDeviceButtons_ = new QButtonGroup(RadioGroupMemDevice);
  auto* devices = new QVBoxLayout(RadioGroupMemDevice);
  for (int i = 0; i < kMemDevices.size(); ++i) {
    auto* radio = new QRadioButton(kMemDevices[i]);
    radio->setObjectName(QStringLiteral("RadioMemDevice%1").arg(i));
    memDeviceButtons_->addButton(radio, i);
    devices->addWidget(radio);
  }
  SetMemDeviceIndex(EepromDefault);

  EditMemBase = Named(new QLineEdit(QStringLiteral("0")), "EditMemBase");
  EditMemLen = Named(new QLineEdit(QStringLiteral("B35")), "EditMemLen");
  LabelMemBase = BuddyLabel(QStringLiteral("Base &address"), "LabelMemBase", EditMemBase);
  LabelMemLen = BuddyLabel(QStringLiteral("&Length"), "LabelMemLen", EditMemLen);
  ButtonMemRead = Named(new QPushButton(QStringLiteral("Read")), "ButtonMemRead");
  ButtonMemWrite = Named(new QPushButton(QStringLiteral("Write")), "ButtonMemWrite");
  ButtonMemCompare = Named(new QPushButton(QStringLiteral("&Compare")), "ButtonMemCompare");
  ButtonMemCompare->setAccessibleName(QStringLiteral("Compare"));
  ButtonMemCompare->setAccessibleDescription(QStringLiteral(
      "Reads the range of an image file from the radio and lists where they differ"));
  CheckBoxMemVerify = Named(new QCheckBox(QStringLiteral("&Verify")), "CheckBoxMemVerify");
  CheckBoxMemVerify->setAccessibleName(QStringLiteral("Verify"));
  CheckBoxMemVerify->setAccessibleDescription(
      QStringLiteral("After a write, reads the written bytes back and compares them"));
  CheckBoxMemChangedOnly =
      Named(new QCheckBox(QStringLiteral("C&hanged chunks only")), "CheckBoxMemChangedOnly");
  CheckBoxMemChangedOnly->setAccessibleName(QStringLiteral("Changed chunks only"));
  CheckBoxMemChangedOnly->setAccessibleDescription(QStringLiteral(
      "Before a write, reads the file's range and writes only the 32-byte chunks that differ"));
  CheckBoxMemBackup =
      Named(new QCheckBox(QStringLiteral("Bac&kup before write")), "CheckBoxMemBackup");
  CheckBoxMemBackup->setAccessibleName(QStringLiteral("Backup before write"));
  CheckBoxMemBackup->setAccessibleDescription(QStringLiteral(
      "Before a write, saves the range as it is in the radio in the backups folder"));
  CheckBoxMemBackup->setChecked(true);
  CheckBoxMemChangedOnly->setChecked(true);

  auto* grid = new QGridLayout(TabSheet7);
  grid->addWidget(RadioGroupMemDevice, 0, 0, 7, 1, Qt::AlignTop);
  grid->addWidget(LabelMemBase, 0, 1);
  grid->addWidget(EditMemBase, 0, 2);
  grid->addWidget(LabelMemLen, 1, 1);
  grid->addWidget(EditMemLen, 1, 2);
  grid->addWidget(ButtonMemRead, 2, 1);
  grid->addWidget(ButtonMemWrite, 2, 2);
  grid->addWidget(ButtonMemCompare, 3, 1);
  grid->addWidget(CheckBoxMemVerify, 3, 2);
  grid->addWidget(CheckBoxMemChangedOnly, 4, 2);
  grid->addWidget(CheckBoxMemBackup, 5, 2);
  grid->setColumnStretch(3, 1);
  grid->setRowStretch(6, 1);
  RadioGroupMemDeviceClick();
  return TabSheet7;
}

void TForm1::ConnectMemoryHandlers() {
  // The change, not the click: the settings reader and assistive tools
  // change the choice without a click.
  connect(memDeviceButtons_, &QButtonGroup::idToggled, this, [this](int, bool checked) {
    if (checked) Guarded([this] { RadioGroupMemDeviceClick(); });
  });
  connect(ButtonMemRead, &QPushButton::clicked, this,
          [this] { Guarded([this] { ButtonMemReadClick(); }); });
  connect(ButtonMemWrite, &QPushButton::clicked, this,
          [this] { Guarded([this] { ButtonMemWriteClick(); }); });
  connect(ButtonMemCompare, &QPushButton::clicked, this,
          [this] { Guarded([this] { ButtonMemCompareClick(); }); });
}

int TForm1::MemDeviceIndex() const { return memDeviceButtons_->checkedId(); }

void TForm1::SetMemDeviceIndex(int index) {
  if (QAbstractButton* button = memDeviceButtons_->button(index)) button->setChecked(true);
}

// "eeprom default" takes its range from the radio: the fields do not count.
void TForm1::RadioGroupMemDeviceClick() {
  const bool ownRange = MemDeviceIndex() != EepromDefault;
  for (QWidget* field : {static_cast<QWidget*>(EditMemBase), static_cast<QWidget*>(LabelMemBase),
                         static_cast<QWidget*>(EditMemLen), static_cast<QWidget*>(LabelMemLen)})
    field->setEnabled(ownRange);
}

// ------------------------------------------------------------- the transfers

void TForm1::ButtonMemReadClick() {
  if (!CheckPortOpen() || !MayStartMemoryTransfer() || MemoryReadRefused()) return;
  // The file is chosen, and checked, before the first exchange: a read can
  // take half an hour, and only then would a bad choice show.
  const std::optional<FileDialogAnswer> target = ChooseImageOutput();
  if (!target) return;
  const int device = MemDeviceIndex();
  std::optional<TMemoryReadResult> read;
  RunMemoryTransfer(MemTransfer::Read, ButtonMemRead, [&](TOperationContext& context) {
    read = ReadMemory(
        context,
        {device, MemoryFields(*this), std::bind_front(&TForm1::ShowMemoryProgress, this), {}});
  });
  if (read && !AppClosing()) SaveMemoryImage(read->Image, read->Base, *target);
}

// A range the read would refuse is refused before the file is asked for.
bool TForm1::MemoryReadRefused() {
  if (MemDeviceIndex() == EepromDefault) return false;
  const auto base = TryStrToInt("$" + ToStd(EditMemBase->text()));
  const auto length = TryStrToInt("$" + ToStd(EditMemLen->text()));
  if (!base || !length) return false;  // the read reports the conversion error
  const auto error = MemoryReadRangeError({*base, *length});
  if (error) LogLine(*error);
  return error.has_value();
}

void TForm1::ButtonMemWriteClick() {
  const std::optional<LoadedImage> loaded = LoadImageForTransfer();
  if (!loaded) return;
  const TMemoryWriteJob job = ImageJob(*loaded);
  const TCheckedWriteOptions checks{
      CheckBoxMemChangedOnly->isChecked(), CheckBoxMemVerify->isChecked(),
      CheckBoxMemBackup->isChecked() ? ToStd(BackupDir()) : std::string()};
  RunMemoryTransfer(MemTransfer::Write, ButtonMemWrite, [&](TOperationContext& context) {
    const TCheckedWriteResult result = WriteMemoryChecked(context, job, checks);
    if (const auto line = CheckedWriteFailureLine(result, context.Stopping())) context.Log(*line);
  });
}

// Reads the range of a chosen file and lists where the radio differs from
// it; nothing is written.
void TForm1::ButtonMemCompareClick() {
  const std::optional<LoadedImage> loaded = LoadImageForTransfer();
  if (!loaded) return;
  const TMemoryWriteJob job = ImageJob(*loaded);
  RunMemoryTransfer(MemTransfer::Read, ButtonMemCompare, [&](TOperationContext& context) {
    const auto comparison = CompareMemory(context, job);
    if (!comparison) {
      if (!context.Stopping()) context.Log("compare: reading the range failed");
      return;
    }
    for (const std::string& line : ComparisonLines(*comparison)) context.Log(line);
  });
}

std::optional<LoadedImage> TForm1::LoadImageForTransfer() {
  // Refused before the operator picks a file for nothing.
  if (!MayStartMemoryTransfer()) return std::nullopt;
  LoadedImage loaded = LoadMemoryImage();
  if (loaded.ranges.empty()) return std::nullopt;
  if (!CheckPortOpen() || !MayStartMemoryTransfer()) return std::nullopt;
  return loaded;
}

TMemoryWriteJob TForm1::ImageJob(const LoadedImage& loaded) {
  return {MemDeviceIndex(), &loaded.image, MemoryFields(*this),
          std::bind_front(&TForm1::ShowMemoryProgress, this), loaded.ranges};
}

// Busy cursor, the starting button disabled and the progress shown, all put
// back however the transfer ends.
void TForm1::RunMemoryTransfer(MemTransfer kind, QPushButton* button,
                               const std::function<void(TOperationContext&)>& transfer) {
  memTransfer_ = kind;
  button->setEnabled(false);
  QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  ProgressBar1->setValue(0);
  ProgressBar1->show();
  const auto restore = qScopeGuard([this, button] {
    memTransfer_ = MemTransfer::None;
    ProgressBar1->hide();
    ProgressBar1->setValue(0);
    StatusPanels[2]->clear();
    QGuiApplication::restoreOverrideCursor();
    button->setEnabled(true);
  });
  AsOperation("a memory transfer",
              [&] { RunOperation([&](TOperationContext& context) { transfer(context); }); });
}

void TForm1::ShowMemoryProgress(uint32_t done, uint32_t total, uint32_t address) {
  ProgressBar1->setValue(total == 0 ? 0 : static_cast<int>(uint64_t{done} * 100 / total));
  StatusPanels[2]->setText(FromStd(HexText(address)));
}

bool TForm1::RefusedDuringMemoryTransfer() {
  if (!MemoryTransferRunning()) return false;
  LogLine("Refused: a memory transfer is running");
  return true;
}

bool TForm1::MayStartMemoryTransfer() {
  if (RefusedDuringMemoryTransfer() || !MayStartOperation()) return false;
  if (exchangeDepth_ == 0) return true;
  LogLine("Memory transfer refused: another exchange is running");
  return false;
}

// A read just stops after its chunk; a write stopped half-way leaves the
// radio's memory partly overwritten, so the operator decides, unless a
// signal asked for the close.
bool TForm1::MayCloseDuringMemoryTransfer() {
  if (memTransfer_ != MemTransfer::Write || TQuitOnSignal::CloseRequested()) return true;
  const bool close = AskQuestion(QStringLiteral(
      "A memory write is running. Closing now leaves the radio's memory partly written.\n\n"
      "Close anyway?"));
  return close || TQuitOnSignal::CloseRequested();
}

// -------------------------------------------------------------- image files

// Asked again when the chosen file cannot be written: the operator picks
// another place or cancels.
std::optional<FileDialogAnswer> TForm1::ChooseImageOutput() {
  const auto dialog = ImageDialog(this, "SaveDialogEeprom", QStringLiteral("Save eeprom as..."),
                                  QFileDialog::AcceptSave, imageDialogFolder_, imageDialogFilter_);
  for (;;) {
    std::optional<FileDialogAnswer> answer = RunImageDialog(*dialog);
    if (!answer) return std::nullopt;
    if (QFileInfo(answer->File).suffix().isEmpty())
      answer->File += u'.' + SuffixOf(answer->FilterIndex);
    if (!AgreeOnSavedType(*answer)) return std::nullopt;
    try {
      CheckWritableFile(ToStd(answer->File));
      return answer;
    } catch (const EFileError& e) {
      ShowErrorReport(FromStd(e.what()));
    }
  }
}

// The dialog's answer, remembered for the next dialog of the session.
std::optional<FileDialogAnswer> TForm1::RunImageDialog(QFileDialog& dialog) {
  const std::optional<FileDialogAnswer> answer = RunFileDialog(dialog);
  if (!answer) return std::nullopt;
  imageDialogFolder_ = QFileInfo(answer->File).absolutePath();
  if (answer->FilterIndex == kRawImageFilter || answer->FilterIndex == kSRecordFilter)
    imageDialogFilter_ = answer->FilterIndex;
  return answer;
}

// A name ending in the other type's suffix (radio1.s19 saved as Binary)
// would give a file that reads back wrong: the operator says which format
// is meant. False for Cancel.
bool TForm1::AgreeOnSavedType(FileDialogAnswer& answer) {
  const std::optional<int> named = FilterOfName(answer.File);
  if (!named || *named == answer.FilterIndex || answer.FilterIndex < 0) return true;
  const std::optional<int> choice = AskChoice(
      QStringLiteral("The name %1 is that of %2, but the type chosen is %3.")
          .arg(QFileInfo(answer.File).fileName(), FileKind(*named), TypeName(answer.FilterIndex)),
      {QStringLiteral("Save as %1").arg(TypeName(*named)),
       QStringLiteral("Save as %1").arg(TypeName(answer.FilterIndex))});
  if (!choice) return false;
  if (*choice == 0) answer.FilterIndex = *named;
  return true;
}

// The image was read at length; when it cannot be written after all (a
// full disk), the operator may choose another file rather than lose it.
void TForm1::SaveMemoryImage(const std::vector<uint8_t>& image, uint32_t base,
                             FileDialogAnswer target) {
  const QByteArray contents = target.FilterIndex == kRawImageFilter
                                  ? QByteArray(reinterpret_cast<const char*>(image.data()),
                                               static_cast<qsizetype>(image.size()))
                                  : QByteArray::fromStdString(SaveSRecords(image, base));
  for (;;) {
    try {
      WriteWholeFile(ToStd(target.File), contents.toStdString());
      return;
    } catch (const EFileError& e) {
      ShowErrorReport(FromStd(e.what()));
    }
    const std::optional<FileDialogAnswer> again = ChooseImageOutput();
    if (!again) return;
    target = *again;
  }
}

LoadedImage TForm1::LoadMemoryImage() {
  const auto dialog = ImageDialog(this, "OpenDialogEeprom", QStringLiteral("Open eeprom file"),
                                  QFileDialog::AcceptOpen, imageDialogFolder_, imageDialogFilter_);
  const std::optional<FileDialogAnswer> answer = RunImageDialog(*dialog);
  if (!answer) return {};
  if (answer->FilterIndex != kRawImageFilter && answer->FilterIndex != kSRecordFilter) return {};
  const QByteArray bytes = ReadImageFile(answer->File);
  const std::optional<int> format = AgreeOnLoadedType(*answer, bytes);
  if (!format) return {};
  LoadedImage loaded = *format == kRawImageFilter ? LoadRawImage({bytes.begin(), bytes.end()})
                                                  : LoadSRecords(bytes.toStdString());
  EditMemBase->setText(FromStd(loaded.BaseText()));
  EditMemLen->setText(FromStd(loaded.LengthText()));
  if (loaded.error)
    throw std::runtime_error(ToStd(QDir::toNativeSeparators(answer->File) + QStringLiteral(": ") +
                                   FromStd(*loaded.error) +
                                   QStringLiteral("; nothing was written.")));
  if (loaded.ranges.empty())
    LogLine(ToStd(QDir::toNativeSeparators(answer->File)) + " holds no data to write");
  return loaded;
}

// S-record text loaded as Binary would go into the radio as text, and a
// binary image loaded as S-records is refused line by line: when the chosen
// type and the file disagree, the operator says which is meant. Nothing for
// Cancel.
std::optional<int> TForm1::AgreeOnLoadedType(const FileDialogAnswer& answer,
                                             const QByteArray& bytes) {
  if (bytes.isEmpty()) return answer.FilterIndex;
  const int content = LooksLikeSRecords(bytes.toStdString()) ? kSRecordFilter : kRawImageFilter;
  if (content == answer.FilterIndex) return content;
  const QString text =
      content == kSRecordFilter
          ? QStringLiteral(
                "%1 holds S-record text, but the type chosen is binary: the text "
                "itself would be written into the radio.")
          : QStringLiteral("%1 holds no S-record text, but the type chosen is S-records.");
  const std::optional<int> choice =
      AskChoice(text.arg(QFileInfo(answer.File).fileName()),
                {QStringLiteral("Load as %1").arg(TypeName(content)),
                 QStringLiteral("Load as %1").arg(TypeName(answer.FilterIndex))});
  if (!choice) return std::nullopt;
  return *choice == 0 ? content : answer.FilterIndex;
}

// ------------------------------------------------------------------ settings

// The length is read from "len" but written as "totallen", so every run
// starts with the stored "len" (or "B35").
void TForm1::ReadMemSection(const TIniFile& ini) {
  EditMemLen->setText(FromStd(ini.ReadString("mem", "len", "B35")));
  EditMemBase->setText(FromStd(ini.ReadString("mem", "base", "0")));
  const int device = ini.ReadInteger("mem", "device", EepromDefault);
  SetMemDeviceIndex(device < 0 || device >= kMemoryDeviceItems ? EepromDefault : device);
  CheckBoxMemVerify->setChecked(ini.ReadBool("mem", "verify", false));
  CheckBoxMemBackup->setChecked(ini.ReadBool("mem", "backup", true));
  // The backup's read is in hand, so writing only what changed costs nothing more.
  CheckBoxMemChangedOnly->setChecked(
      ini.ReadBool("mem", "changedonly", CheckBoxMemBackup->isChecked()));
  RadioGroupMemDeviceClick();
}

void TForm1::WriteMemSection(TIniFile& ini) const {
  ini.WriteString("mem", "totallen", ToStd(EditMemLen->text()));
  ini.WriteString("mem", "base", ToStd(EditMemBase->text()));
  ini.WriteInteger("mem", "device", MemDeviceIndex());
  ini.WriteBool("mem", "verify", CheckBoxMemVerify->isChecked());
  ini.WriteBool("mem", "changedonly", CheckBoxMemChangedOnly->isChecked());
  ini.WriteBool("mem", "backup", CheckBoxMemBackup->isChecked());
}

}  // namespace kestrune
