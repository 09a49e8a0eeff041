// The Memory page driven as the operator drives it, against the simulated
// radio: the controls, the dialogs (answered through their seam), the
// progress in the status bar, the refusal of other exchanges during a
// transfer, and closing the window in the middle of one.
#include <gtest/gtest.h>
#include <signal.h>

#include <QAccessible>
#include <QCheckBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <deque>
#include <filesystem>
#include <fstream>
#include <set>

#include "console/DialogSeam.h"
#include "console/QuitOnSignal.h"
#include "console/core/IniFile.h"
#include "console/core/MemoryImage.h"
#include "console/ops/MemoryTransfer.h"
#include "tests/support/SrecCat.h"
#include "tests/support/Window.h"

namespace kestrune::test {
namespace {

using Bytes = std::vector<uint8_t>;
using sim::MemorySpace;

// A write of the whole file, without a backup read first: for the tests of
// the write itself.
const std::string kPlainWrite = "[mem]\nbackup=0\nchangedonly=0\n";

Bytes Pattern(size_t n, uint8_t seed) {
  Bytes bytes(n);
  for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 13);
  return bytes;
}

// What the status bar and the page show at one moment of a transfer.
struct Sample {
  bool barVisible;
  int barValue;
  QString address;
  bool readEnabled;
  bool busyCursor;
};

class MemoryPageTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    SetFileDialogSink([this](QFileDialog& dialog) {
      dialogs.push_back({dialog.windowTitle(), dialog.acceptMode(), dialog.fileMode(),
                         dialog.nameFilters(), dialog.defaultSuffix(), dialog.directory().path(),
                         dialog.selectedNameFilter()});
      if (answers.empty()) return std::optional<FileDialogAnswer>();  // cancelled
      const auto answer = answers.front();
      answers.pop_front();
      return std::optional<FileDialogAnswer>(answer);
    });
    SetQuestionSink([this](const QString& text) {
      questions.append(text);
      return closeAnyway;
    });
    SetChoiceSink([this](const QString& text, const QStringList& offered) {
      choiceQuestions.append(text + " [" + offered.join(" | ") + "]");
      if (choices.empty()) return std::optional<int>();  // Cancel
      const auto choice = choices.front();
      choices.pop_front();
      return choice;
    });
  }

  void TearDown() override {
    SetFileDialogSink({});
    SetQuestionSink({});
    SetChoiceSink({});
  }

  std::unique_ptr<TForm1> Start(const std::string& settings = "") {
    auto form = WindowTest::Start(settings);
    form->PageControl2->setCurrentWidget(form->TabSheet7);
    EXPECT_NE(form->fSb9600, nullptr);
    return form;
  }

  static void SetRange(TForm1& form, int device, const QString& base, const QString& length) {
    form.SetMemDeviceIndex(device);
    form.EditMemBase->setText(base);
    form.EditMemLen->setText(length);
  }

  // Runs `step` whenever the transfer serves events, until it returns true.
  void During(TForm1& form, std::function<bool()> step) {
    auto* timer = new QTimer(&form);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, step = std::move(step)] {
      if (step()) timer->stop();
    });
    timer->start(5);
  }

  // Records the status bar and the page at every round of events.
  void Sampled(TForm1& form) {
    During(form, [this, &form] {
      samples.push_back({form.ProgressBar1->isVisible(), form.ProgressBar1->value(),
                         form.StatusPanels[2]->text(), form.ButtonMemRead->isEnabled(),
                         QGuiApplication::overrideCursor() != nullptr});
      return false;
    });
  }

  std::vector<Bytes> Requests(uint8_t opcode) {
    return bus_.WithRadio([opcode](sim::SimRadio& radio) {
      std::vector<Bytes> requests;
      for (const sim::ReceivedFrame& f : radio.FramesReceived())
        if (f.bytes.size() > 5 && f.bytes[1] == opcode) requests.push_back(f.bytes);
      return requests;
    });
  }

  Bytes RadioMemory(MemorySpace space, uint32_t address, size_t n) {
    return bus_.WithRadio([&](sim::SimRadio& radio) {
      const auto bytes = radio.Memory(space).subspan(address, n);
      return Bytes(bytes.begin(), bytes.end());
    });
  }

  QString PathOf(const std::string& name) const {
    return QPathOf(dir_.Path()) + "/" + name.c_str();
  }

  struct SeenDialog {
    QString title;
    QFileDialog::AcceptMode mode;
    QFileDialog::FileMode fileMode;
    QStringList filters;
    QString suffix;
    QString folder;
    QString filter;
  };

  std::deque<FileDialogAnswer> answers;  // none left: the dialog is cancelled
  std::vector<SeenDialog> dialogs;
  QStringList questions;
  bool closeAnyway = false;
  std::deque<std::optional<int>> choices;  // none left: Cancel
  QStringList choiceQuestions;
  std::vector<Sample> samples;
};

TEST_F(MemoryPageTest, ThePageHoldsItsControlsAndEepromDefaultDisablesTheFourFields) {
  auto form = Start();
  EXPECT_EQ(form->PageControl2->tabText(form->PageControl2->indexOf(form->TabSheet7)), "Memory");
  EXPECT_EQ(form->RadioGroupMemDevice->title(), "Device");
  const auto radios = form->RadioGroupMemDevice->findChildren<QRadioButton*>();
  QStringList items;
  for (const QRadioButton* radio : radios) items.append(radio->text());
  EXPECT_EQ(items,
            (QStringList{"eeprom default", "eeprom custom", "flash 1", "flash 2", "direct"}));
  EXPECT_EQ(form->MemDeviceIndex(), 0);
  EXPECT_EQ(form->EditMemBase->text(), "0");
  EXPECT_EQ(form->EditMemLen->text(), "B35");
  EXPECT_EQ(form->ButtonMemRead->text(), "Read");
  EXPECT_EQ(form->ButtonMemWrite->text(), "Write");
  EXPECT_EQ(form->ButtonMemCompare->text(), "&Compare");
  EXPECT_EQ(form->CheckBoxMemVerify->text(), "&Verify");
  EXPECT_EQ(QAccessible::queryAccessibleInterface(form->EditMemBase)->text(QAccessible::Name),
            "Base address");
  EXPECT_EQ(QAccessible::queryAccessibleInterface(form->EditMemLen)->text(QAccessible::Name),
            "Length");

  const auto enabledFields = [&] {
    return std::vector<bool>{form->EditMemBase->isEnabled(), form->LabelMemBase->isEnabled(),
                             form->EditMemLen->isEnabled(), form->LabelMemLen->isEnabled()};
  };
  EXPECT_EQ(enabledFields(), std::vector<bool>(4, false));
  // An assistive tool's Toggle changes the choice without a click.
  QAccessibleInterface* flash2 = QAccessible::queryAccessibleInterface(radios[3]);
  ASSERT_NE(flash2->actionInterface(), nullptr);
  flash2->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
  ASSERT_EQ(form->MemDeviceIndex(), 3);
  EXPECT_EQ(enabledFields(), std::vector<bool>(4, true));
  form->SetMemDeviceIndex(0);
  EXPECT_EQ(enabledFields(), std::vector<bool>(4, false));
  EXPECT_EQ(form->EditMemBase->text(), "0");  // the texts stay
  EXPECT_EQ(form->EditMemLen->text(), "B35");
}

TEST_F(MemoryPageTest, TheMemSectionIsReadFromLenAndWrittenAsTotallenWithTheDeviceClamped) {
  auto form = Start("[mem]\nlen=40\ntotallen=999\nbase=1F0\ndevice=3\n");
  EXPECT_EQ(form->EditMemLen->text(), "40");
  EXPECT_EQ(form->EditMemBase->text(), "1F0");
  EXPECT_EQ(form->MemDeviceIndex(), 3);
  EXPECT_TRUE(form->EditMemBase->isEnabled());
  EXPECT_FALSE(form->CheckBoxMemVerify->isChecked()) << "a file without the key: off";
  EXPECT_TRUE(form->CheckBoxMemBackup->isChecked()) << "a file without the key: on";
  EXPECT_TRUE(form->CheckBoxMemChangedOnly->isChecked()) << "on while a backup is made";
  form->EditMemLen->setText("77");
  form->CheckBoxMemVerify->setChecked(true);
  form->CheckBoxMemBackup->setChecked(false);
  form.reset();
  const TIniFile ini((dir_.Path() / "settings.ini").string());
  EXPECT_EQ(ini.ReadString("mem", "totallen", ""), "77");
  EXPECT_EQ(ini.ReadString("mem", "len", ""), "40");
  EXPECT_EQ(ini.ReadString("mem", "base", ""), "1F0");
  EXPECT_EQ(ini.ReadInteger("mem", "device", -9), 3);
  EXPECT_TRUE(ini.ReadBool("mem", "verify", false));
  EXPECT_TRUE(ini.ReadBool("mem", "changedonly", false));
  EXPECT_FALSE(ini.ReadBool("mem", "backup", true));

  // Without a backup there is no read in hand: changed-only follows it.
  form = Start("[mem]\nbackup=0\n");
  EXPECT_FALSE(form->CheckBoxMemBackup->isChecked());
  EXPECT_FALSE(form->CheckBoxMemChangedOnly->isChecked());

  for (const char* stored : {"7", "-1", "5"}) {
    form.reset();  // one window at a time holds the port
    form = Start(std::string("[mem]\ndevice=") + stored + "\n");
    EXPECT_EQ(form->MemDeviceIndex(), 0) << stored;
    EXPECT_FALSE(form->EditMemLen->isEnabled()) << stored;
    EXPECT_EQ(form->EditMemLen->text(), "B35");
  }
}

TEST_F(MemoryPageTest, AReadIsSavedInTheTypeOfTheChosenEntryNotOfTheFileName) {
  auto form = Start();
  SetRange(*form, EepromCustom, "100", "40");
  answers = {{PathOf("srecords.bin"), 1}, {PathOf("raw.s19"), 0}};
  choices = {1, 1};  // the name disagrees: asked, and the chosen type kept
  QTest::mouseClick(form->ButtonMemRead, Qt::LeftButton);
  QTest::mouseClick(form->ButtonMemRead, Qt::LeftButton);
  EXPECT_EQ(choiceQuestions,
            (QStringList{"The name srecords.bin is that of a binary image, but the type chosen is "
                         "S-records. [Save as binary | Save as S-records]",
                         "The name raw.s19 is that of an S-record file, but the type chosen is "
                         "binary. [Save as S-records | Save as binary]"}));

  ASSERT_EQ(dialogs.size(), 2u);
  EXPECT_EQ(dialogs[0].title, "Save eeprom as...");
  EXPECT_EQ(dialogs[0].mode, QFileDialog::AcceptSave);
  EXPECT_EQ(dialogs[0].filters, (QStringList{"Binary *.bin (*.bin)", "Intel hex *.s19 (*.s19)"}));
  EXPECT_EQ(dialogs[0].suffix, "bin");
  const Bytes expected = RadioMemory(MemorySpace::Eeprom, 0x100, 0x40);
  const LoadedImage srecords = LoadSRecords(dir_.Read("srecords.bin"));
  EXPECT_TRUE(dir_.Read("srecords.bin").starts_with("S1230100"));
  EXPECT_EQ(srecords.base, 0x100u);
  EXPECT_EQ(Bytes(srecords.image.begin() + 0x100, srecords.image.end()), expected);
  const std::string raw = dir_.Read("raw.s19");
  EXPECT_EQ(Bytes(raw.begin(), raw.end()), expected);

  // The file is chosen before the read: cancelled, nothing is read at all.
  const size_t requests = Requests(0x11).size();
  const QStringList viewBefore = ViewTexts(*form);
  QTest::mouseClick(form->ButtonMemRead, Qt::LeftButton);
  EXPECT_EQ(dialogs.size(), 3u);
  EXPECT_EQ(Requests(0x11).size(), requests);
  EXPECT_EQ(ViewTexts(*form), viewBefore);
  EXPECT_TRUE(errors_.Texts().isEmpty());
}

TEST_F(MemoryPageTest, TheSuffixFollowsTheTypeAndTheDialogsReturnWhereTheyWereLeft) {
  auto form = Start();
  SetRange(*form, EepromCustom, "100", "40");
  std::filesystem::create_directory(dir_.Path() / "images");
  // "Intel hex" chosen, "radio1" typed: radio1.s19, holding S-records.
  answers = {{PathOf("images/radio1"), 1}};
  QTest::mouseClick(form->ButtonMemRead, Qt::LeftButton);
  const LoadedImage saved = LoadSRecords(dir_.Read("images/radio1.s19"));
  EXPECT_FALSE(saved.error);
  EXPECT_EQ(Bytes(saved.image.begin() + 0x100, saved.image.end()),
            RadioMemory(MemorySpace::Eeprom, 0x100, 0x40));
  EXPECT_TRUE(choiceQuestions.isEmpty());

  // The next dialogs, save and open, start in that folder on that type.
  QTest::mouseClick(form->ButtonMemRead, Qt::LeftButton);   // cancelled
  QTest::mouseClick(form->ButtonMemWrite, Qt::LeftButton);  // cancelled
  ASSERT_EQ(dialogs.size(), 3u);
  EXPECT_EQ(dialogs[0].filter, "Binary *.bin (*.bin)");
  EXPECT_EQ(dialogs[0].suffix, "bin");
  for (size_t i : {1u, 2u}) {
    EXPECT_EQ(dialogs[i].folder, PathOf("images")) << i;
    EXPECT_EQ(dialogs[i].filter, "Intel hex *.s19 (*.s19)") << i;
    EXPECT_EQ(dialogs[i].suffix, "s19") << i;
  }
}

TEST_F(MemoryPageTest, SRecordTextChosenAsBinaryAsksAndCancelSendsNothing) {
  auto form = Start();
  form->SetMemDeviceIndex(Flash1);
  const Bytes data = Pattern(0x30, 9);
  dir_.Write("radio1.bin", SaveSRecords(data, 0x200));
  bus_.WithRadio([](sim::SimRadio& r) { r.ClearFramesReceived(); });

  answers = {{PathOf("radio1.bin"), 0}};
  QTest::mouseClick(form->ButtonMemWrite, Qt::LeftButton);
  EXPECT_EQ(choiceQuestions,
            QStringList{"radio1.bin holds S-record text, but the type chosen is binary: the text "
                        "itself would be written into the radio. [Load as S-records | Load as "
                        "binary]"});
  EXPECT_TRUE(bus_.Received().empty());
  EXPECT_EQ(form->EditMemLen->text(), "B35") << "the fields are left alone";

  // Loaded as the S-records it holds: its bytes at its addresses.
  answers = {{PathOf("radio1.bin"), 0}};
  choices = {0};
  QTest::mouseClick(form->ButtonMemWrite, Qt::LeftButton);
  EXPECT_EQ(form->EditMemBase->text(), "200");
  EXPECT_EQ(RadioMemory(MemorySpace::Flash1, 0x200, data.size()), data);

  // Bytes that are no S-record text, chosen as S-records: asked as well.
  const Bytes raw = Pattern(0x10, 1);
  dir_.Write("raw.s19", std::string(raw.begin(), raw.end()));
  answers = {{PathOf("raw.s19"), 1}};
  choices = {0};
  QTest::mouseClick(form->ButtonMemWrite, Qt::LeftButton);
  EXPECT_EQ(choiceQuestions.size(), 3);
  EXPECT_EQ(RadioMemory(MemorySpace::Flash1, 0, raw.size()), raw);
  EXPECT_TRUE(errors_.Texts().isEmpty());
}

TEST_F(MemoryPageTest, AReadIsRefusedBeforeAnyExchangeWhenItCouldNotBeSaved) {
  auto form = Start();
  const Bytes backup = Pattern(0x40, 3);
  dir_.Write("backup.bin", std::string(backup.begin(), backup.end()));
  const std::filesystem::path file = dir_.Path() / "backup.bin";
  std::filesystem::permissions(file, std::filesystem::perms::owner_read);
  bus_.WithRadio([](sim::SimRadio& r) { r.ClearFramesReceived(); });

  // A read-only file: said at once, the dialog shown again, and cancelled.
  SetRange(*form, EepromCustom, "100", "40");
  answers = {{PathOf("backup.bin"), 0}};
  QTest::mouseClick(form->ButtonMemRead, Qt::LeftButton);
  EXPECT_EQ(dialogs.size(), 2u);
  EXPECT_EQ(errors_.Texts(),
            QStringList{"Cannot save to " + PathOf("backup.bin") + ": no write permission."});
  // A length of 0 would replace the file with nothing: refused before the dialog.
  SetRange(*form, EepromCustom, "100", "0");
  QTest::mouseClick(form->ButtonMemRead, Qt::LeftButton);
  EXPECT_EQ(dialogs.size(), 2u);
  EXPECT_EQ(ViewTexts(*form).last(), "memory read refused: a length of 0 reads nothing");

  EXPECT_TRUE(bus_.Received().empty());
  std::filesystem::permissions(file, std::filesystem::perms::owner_all);
  EXPECT_EQ(dir_.Read("backup.bin"), std::string(backup.begin(), backup.end()));
}

TEST_F(MemoryPageTest, AWriteLoadsTheChosenFileSetsTheFieldsAndWritesIt) {
  auto form = Start(kPlainWrite);
  form->SetMemDeviceIndex(Flash1);
  // Cancelled: nothing at all, not even a log line.
  const QStringList viewBefore = ViewTexts(*form);
  QTest::mouseClick(form->ButtonMemWrite, Qt::LeftButton);
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0].title, "Open eeprom file");
  EXPECT_EQ(dialogs[0].mode, QFileDialog::AcceptOpen);
  EXPECT_EQ(dialogs[0].fileMode, QFileDialog::ExistingFile);
  EXPECT_EQ(dialogs[0].suffix, "bin");
  EXPECT_EQ(ViewTexts(*form), viewBefore);
  EXPECT_EQ(form->EditMemLen->text(), "B35");
  EXPECT_TRUE(bus_.Received().empty());

  const Bytes data = Pattern(0x41, 0x21);
  dir_.Write("image.s19", SaveSRecords(data, 0x100));
  answers = {{PathOf("image.s19"), 1}};
  QTest::mouseClick(form->ButtonMemWrite, Qt::LeftButton);
  EXPECT_EQ(form->EditMemBase->text(), "100");
  EXPECT_EQ(form->EditMemLen->text(), "41");
  EXPECT_EQ(Requests(0x17).size(), 3u);
  EXPECT_TRUE(ViewTexts(*form).contains("success"));
  EXPECT_EQ(RadioMemory(MemorySpace::Flash1, 0x100, data.size()), data);
  EXPECT_TRUE(form->ButtonMemWrite->isEnabled());

  // A damaged record ends the load: reported with the file and the line,
  // nothing sent, though the record before it was sound.
  dir_.Write("bad.s19", "S1060100010203F2\r\nS1G1000000\r\n");
  answers = {{PathOf("bad.s19"), 1}};
  const size_t frames = bus_.WithRadio([](sim::SimRadio& r) { return r.FramesReceived().size(); });
  QTest::mouseClick(form->ButtonMemWrite, Qt::LeftButton);
  EXPECT_EQ(errors_.Texts(), QStringList{PathOf("bad.s19") +
                                         ": line 2: 'G' is not a hex digit; nothing was written."});
  EXPECT_EQ(bus_.WithRadio([](sim::SimRadio& r) { return r.FramesReceived().size(); }), frames);
}

// With "Verify" the write is read back; a byte the radio keeps wrong is one
// log line naming it. "Compare" then lists that byte and writes nothing.
TEST_F(MemoryPageTest, VerifyNamesAByteTheRadioKeepsWrongAndCompareListsItWithoutWriting) {
  auto form = Start();
  form->SetMemDeviceIndex(Flash1);
  form->CheckBoxMemVerify->setChecked(true);
  form->CheckBoxMemChangedOnly->setChecked(true);
  const Bytes data = Pattern(0x40, 0x31);
  dir_.Write("image.s19", SaveSRecords(data, 0x200));
  sim::Faults faults;
  faults.corruptWriteAddress = 0x210;
  bus_.SetFaults(faults);
  answers = {{PathOf("image.s19"), 1}};
  QTest::mouseClick(form->ButtonMemWrite, Qt::LeftButton);
  const QString failure = QString::asprintf(
      "verify: the radio holds %02X at 210 where the file has %02X (first difference); 1 byte "
      "differs",
      data[0x10] ^ 0xFF, data[0x10]);
  EXPECT_TRUE(ViewTexts(*form).contains(failure)) << ViewTexts(*form).join('\n').toStdString();
  EXPECT_TRUE(ViewTexts(*form).contains("2 chunks differ from the radio and are written"));

  const size_t writes = Requests(0x17).size();
  answers = {{PathOf("image.s19"), 1}};
  QTest::mouseClick(form->ButtonMemCompare, Qt::LeftButton);
  EXPECT_TRUE(ViewTexts(*form).contains("0210..0210  1 byte"));
  EXPECT_TRUE(ViewTexts(*form).contains("differ: 1 of 64 bytes in 1 ranges"));
  EXPECT_EQ(Requests(0x17).size(), writes);
  EXPECT_TRUE(form->ButtonMemCompare->isEnabled());
}

// The files in the program folder's backups/.
std::vector<std::filesystem::path> Backups(const std::filesystem::path& programDir) {
  std::vector<std::filesystem::path> files;
  if (std::filesystem::exists(programDir / "backups"))
    for (const auto& entry : std::filesystem::directory_iterator(programDir / "backups"))
      files.push_back(entry.path());
  return files;
}

// By default a write first saves the range as the radio holds it in
// backups/ beside the logs (srec_cat reads it back as the radio's bytes),
// then writes only the chunks that differ.
TEST_F(MemoryPageTest, AWriteFirstSavesTheRadiosContentThenWritesOnlyTheChunksThatDiffer) {
  auto form = Start();
  form->SetMemDeviceIndex(Flash1);
  const Bytes before = RadioMemory(MemorySpace::Flash1, 0x300, 0x80);
  Bytes data = before;
  data[0x05] ^= 0x5A;
  data[0x61] ^= 0x01;
  data[0x62] ^= 0x02;
  dir_.Write("image.s19", SaveSRecords(data, 0x300));
  answers = {{PathOf("image.s19"), 1}};
  QTest::mouseClick(form->ButtonMemWrite, Qt::LeftButton);

  const auto backups = Backups(dir_.Path());
  ASSERT_EQ(backups.size(), 1u);
  const QString name = QString::fromStdString(backups[0].filename().string());
  EXPECT_TRUE(name.startsWith("flash1-300-80-")) << name.toStdString();
  EXPECT_TRUE(ViewTexts(*form).contains(QStringLiteral("backup: %1 holds the radio's 80 bytes "
                                                       "from 300 before the write")
                                            .arg(QPathOf(backups[0]))))
      << ViewTexts(*form).join('\n').toStdString();
  if (HaveSrecCat()) {
    ASSERT_TRUE(SrecCat(dir_.Path(),
                        "backups/" + name.toStdString() + " -offset -0x300 -o before.bin -binary"));
    const std::string saved = dir_.Read("before.bin");
    EXPECT_EQ(Bytes(saved.begin(), saved.end()), before);
  }
  const auto writes = Requests(0x17);
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_EQ(writes[0], BuildSbepWriteRequest(data.data(), 32, 0x40, 0x300));
  EXPECT_EQ(writes[1], BuildSbepWriteRequest(data.data() + 0x60, 32, 0x40, 0x360));
  EXPECT_EQ(RadioMemory(MemorySpace::Flash1, 0x300, 0x80), data);
}

// A backups/ folder that cannot be written stops the write before the
// radio's memory is touched, with one line saying why.
TEST_F(MemoryPageTest, ABackupFolderThatCannotBeWrittenStopsTheWrite) {
  auto form = Start();
  form->SetMemDeviceIndex(Flash1);
  const Bytes before = RadioMemory(MemorySpace::Flash1, 0x300, 0x40);
  dir_.Write("image.s19", SaveSRecords(Pattern(0x40, 9), 0x300));
  const auto folder = dir_.Path() / "backups";
  std::filesystem::create_directory(folder);
  std::filesystem::permissions(folder,
                               std::filesystem::perms::owner_write |
                                   std::filesystem::perms::group_write |
                                   std::filesystem::perms::others_write,
                               std::filesystem::perm_options::remove);
  answers = {{PathOf("image.s19"), 1}};
  QTest::mouseClick(form->ButtonMemWrite, Qt::LeftButton);
  const QStringList texts = ViewTexts(*form);
  EXPECT_EQ(texts.filter("the write failed: the backup could not be saved (").size(), 1)
      << texts.join('\n').toStdString();
  EXPECT_TRUE(Requests(0x17).empty());
  EXPECT_EQ(RadioMemory(MemorySpace::Flash1, 0x300, 0x40), before);
  EXPECT_TRUE(form->ButtonMemWrite->isEnabled());
}

TEST_F(MemoryPageTest, TheProgressBarAndTheAddressShowDuringATransferAndAreClearedAfter) {
  auto form = Start();
  SetRange(*form, EepromCustom, "100", "100");
  answers = {{PathOf("progress.bin"), 0}};
  Sampled(*form);
  QTest::mouseClick(form->ButtonMemRead, Qt::LeftButton);

  ASSERT_FALSE(samples.empty());
  std::set<QString> addresses;
  std::set<int> values;
  for (const Sample& s : samples) {
    EXPECT_TRUE(s.barVisible);
    EXPECT_FALSE(s.readEnabled);
    EXPECT_TRUE(s.busyCursor);
    addresses.insert(s.address);
    values.insert(s.barValue);
  }
  for (const char* reached : {"140", "180", "1C0"}) EXPECT_TRUE(addresses.contains(reached));
  for (const int share : {25, 50, 75}) EXPECT_TRUE(values.contains(share));
  EXPECT_FALSE(form->ProgressBar1->isVisible());
  EXPECT_EQ(form->ProgressBar1->value(), 0);
  EXPECT_EQ(form->StatusPanels[2]->text(), "");
  EXPECT_TRUE(form->ButtonMemRead->isEnabled());
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(MemoryPageTest, EveryOtherExchangeIsRefusedWhileATransferRuns) {
  auto form =
      Start("[buttons1]\nButtonP1_0=Mute;" + AsCommand(AudioMuteFrame()).toStdString() + "\n");
  SetRange(*form, EepromCustom, "100", "100");
  bool pressed = false;
  During(*form, [&] {
    if (form->StatusPanels[2]->text() != "140") return false;
    form->CommandButton(1, 0)->click();
    form->ButtonMemWrite->click();
    form->CheckBoxLogTransmit->click();  // no exchange: allowed
    pressed = true;
    return true;
  });
  answers = {{PathOf("read.bin"), 0}};
  QTest::mouseClick(form->ButtonMemRead, Qt::LeftButton);

  ASSERT_TRUE(pressed);
  EXPECT_EQ(ViewTexts(*form).count("Refused: a memory transfer is running"), 2);
  EXPECT_EQ(dialogs.size(), 1u) << "only the read's save dialog";
  EXPECT_EQ(Requests(0x11).size(), 4u);
  const Bytes mute = AudioMuteFrame();
  const auto sent = [&] {
    const Bytes all = bus_.Received();
    return std::search(all.begin(), all.end(), mute.begin(), mute.end()) != all.end();
  };
  EXPECT_FALSE(sent());

  // Controls stayed usable, and after the transfer the button works again.
  EXPECT_TRUE(form->CheckBoxLogTransmit->isChecked());
  form->CommandButton(1, 0)->click();
  EXPECT_TRUE(sent());
}

TEST_F(MemoryPageTest, ATransferDoesNotStartWhileAnotherExchangeRuns) {
  auto form =
      Start("[buttons1]\nButtonP1_0=Mute;" + AsCommand(AudioMuteFrame()).toStdString() + "\n");
  SetRange(*form, EepromCustom, "100", "40");
  sim::Faults faults;
  faults.dropEcho = 1;  // the command's first attempt waits its full time
  bus_.SetFaults(faults);
  QTimer::singleShot(100, form.get(), [&] { form->ButtonMemRead->click(); });
  form->CommandButton(1, 0)->click();
  EXPECT_TRUE(ViewTexts(*form).contains("Memory transfer refused: another exchange is running"));
  EXPECT_TRUE(Requests(0x11).empty());
  EXPECT_FALSE(bus_.WithRadio([](sim::SimRadio& r) { return r.MemoryAccess().open; }));
  EXPECT_TRUE(dialogs.empty());
}

// A scan started from inside a read's waits would tune the radio in the
// middle of its memory session; it is refused and the read goes on.
TEST_F(MemoryPageTest, AScanStartedDuringAReadIsRefusedAndTheReadCompletes) {
  auto form = Start("[scan]\nchn_from=100\nchn_to=105\ndelay=0\n");
  SetRange(*form, EepromCustom, "100", "200");
  During(*form, [&] {
    if (form->StatusPanels[2]->text() != "140") return false;
    form->ButtonScan->click();
    return true;
  });
  answers = {{PathOf("whole.bin"), 0}};
  QTest::mouseClick(form->ButtonMemRead, Qt::LeftButton);

  const QStringList view = ViewTexts(*form);
  EXPECT_EQ(view.count("Refused: a memory transfer is running"), 1)
      << view.join('\n').toStdString();
  EXPECT_FALSE(view.contains("channel 100 set"));
  EXPECT_FALSE(form->ScanRunning);
  EXPECT_EQ(form->ButtonScan->text(), "Start");
  const std::string saved = dir_.Read("whole.bin");
  EXPECT_EQ(Bytes(saved.begin(), saved.end()), RadioMemory(MemorySpace::Eeprom, 0x100, 0x200));
  const bool tuned = bus_.WithRadio([](sim::SimRadio& r) { return r.LastChannel().has_value(); });
  EXPECT_FALSE(tuned);
}

TEST_F(MemoryPageTest, ClosingTheWindowDuringAReadStopsAfterItsChunkAndSavesNothing) {
  auto form = Start("[log]\ntofile=1\n");
  SetRange(*form, EepromCustom, "100", "200");
  During(*form, [&] {
    if (form->StatusPanels[2]->text() != "140") return false;
    form->close();
    return true;
  });
  answers = {{PathOf("stopped.bin"), 0}};
  QTest::mouseClick(form->ButtonMemRead, Qt::LeftButton);

  EXPECT_FALSE(form->isVisible());
  EXPECT_TRUE(questions.isEmpty()) << "a read is not worth a question";
  EXPECT_FALSE(std::filesystem::exists(dir_.Path() / "stopped.bin")) << "nothing is saved";
  EXPECT_LT(Requests(0x11).size(), 8u);
  const std::string log = ReadLogFile();
  const size_t stopped = log.find("read stopped at ");
  ASSERT_NE(stopped, std::string::npos) << log;
  EXPECT_NE(log.find("leaving SBEP mode", stopped), std::string::npos);
  EXPECT_FALSE(bus_.WithRadio([](sim::SimRadio& r) { return r.MemoryAccess().open; }));
  EXPECT_EQ(bus_.WithRadio([](sim::SimRadio& r) { return r.Mode(); }), sim::BusMode::Sb9600);
}

TEST_F(MemoryPageTest, ClosingTheWindowDuringAWriteAsksFirst) {
  auto form = Start(kPlainWrite + "[log]\ntofile=1\n");
  dir_.Write("image.s19", SaveSRecords(Pattern(0x100, 3), 0));
  const auto writeClosingAt = [&](const char* address) {
    answers = {{PathOf("image.s19"), 1}};
    During(*form, [&form, address] {
      if (form->StatusPanels[2]->text() != address) return false;
      form->close();
      return true;
    });
    QTest::mouseClick(form->ButtonMemWrite, Qt::LeftButton);
  };

  closeAnyway = false;
  writeClosingAt("20");
  ASSERT_EQ(questions.size(), 1);
  EXPECT_TRUE(questions[0].contains("partly written"));
  EXPECT_TRUE(form->isVisible());
  EXPECT_EQ(Requests(0x17).size(), 8u);
  EXPECT_TRUE(ViewTexts(*form).contains("success"));

  closeAnyway = true;
  writeClosingAt("40");
  EXPECT_EQ(questions.size(), 2);
  EXPECT_FALSE(form->isVisible());
  EXPECT_LT(Requests(0x17).size(), 16u);
  const std::string log = ReadLogFile();
  const size_t stopped = log.find("write stopped at ");
  ASSERT_NE(stopped, std::string::npos) << log;
  EXPECT_EQ(log.find("success", stopped), std::string::npos);
  EXPECT_NE(log.find("leaving SBEP mode", stopped), std::string::npos);
  EXPECT_FALSE(bus_.WithRadio([](sim::SimRadio& r) { return r.MemoryAccess().open; }));
}

TEST_F(MemoryPageTest, ATerminationSignalDuringAWriteStopsItWithoutAsking) {
  auto form = Start(kPlainWrite + "[log]\ntofile=1\n");
  TQuitOnSignal quit;
  quit.SetWindow(form.get());
  dir_.Write("image.s19", SaveSRecords(Pattern(0x100, 5), 0));
  answers = {{PathOf("image.s19"), 1}};
  During(*form, [&] {
    if (form->StatusPanels[2]->text() != "20") return false;
    raise(SIGTERM);
    return true;
  });
  QTimer::singleShot(0, form.get(), [&] { form->ButtonMemWrite->click(); });
  QTimer hung;
  hung.setSingleShot(true);
  QObject::connect(&hung, &QTimer::timeout, [] { QCoreApplication::exit(1); });
  hung.start(60000);
  EXPECT_EQ(QCoreApplication::exec(), 0);

  EXPECT_TRUE(questions.isEmpty());
  EXPECT_FALSE(form->isVisible());
  EXPECT_LT(Requests(0x17).size(), 8u);
  EXPECT_NE(ReadLogFile().find("write stopped at "), std::string::npos);
  EXPECT_FALSE(bus_.WithRadio([](sim::SimRadio& r) { return r.MemoryAccess().open; }));
}

}  // namespace
}  // namespace kestrune::test
