// The Tune and LCD tabs and the favourites list driven as the operator
// drives them, against the simulated radio. Sorting follows the locale's
// collation: this suite runs with LANG=en_US.UTF-8.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>
#include <memory>

#include "console/WidgetKit.h"
#include "console/core/IniFile.h"
#include "protocol/CRC16.h"
#include "tests/support/Window.h"

namespace kestrune::test {
namespace {

class TuneTabTest : public WindowTest {
 protected:
  // On the Tune tab.
  std::unique_ptr<TForm1> Start(const std::string& settings = {}, bool withRadio = true) {
    auto form = withRadio ? WindowTest::Start(settings) : StartWithoutDevice(settings);
    form->PageControl2->setCurrentWidget(form->TabSheet6);
    return form;
  }
  std::optional<sim::Sb9600Tune> LastTune() {
    return bus_.WithRadio([](sim::SimRadio& r) { return r.LastSb9600Tune(); });
  }
  std::optional<sim::DisplayText> LastDisplay() {
    return bus_.WithRadio([](sim::SimRadio& r) { return r.LastDisplayText(); });
  }
  // Types into a masked field from its start; "_" leaves a position blank.
  static void TypeMasked(QLineEdit* edit, const QString& keys) {
    edit->clear();
    edit->setCursorPosition(0);
    for (const QChar key : keys)
      key == u'_' ? QTest::keyClick(edit, Qt::Key_Right) : QTest::keyClicks(edit, QString(key));
  }

  // The favourites, each row as "caption|sub-item|...", or one column.
  static QStringList Rows(const TForm1& form, int column = -1) {
    QStringList rows;
    for (int i = 0; i < form.ListViewFavs->topLevelItemCount(); ++i) {
      const QTreeWidgetItem* row = form.ListViewFavs->topLevelItem(i);
      QStringList columns;
      for (int c = 0; c < row->columnCount(); ++c) columns.append(row->text(c));
      rows.append(column < 0 ? columns.join(u'|') : row->text(column));
    }
    return rows;
  }
  static void Select(TForm1& form, int row) {
    form.ListViewFavs->setCurrentItem(form.ListViewFavs->topLevelItem(row));
  }
  static int SelectedPosition(const TForm1& form) {
    const auto selected = form.ListViewFavs->selectedItems();
    return selected.size() == 1 ? form.ListViewFavs->indexOfTopLevelItem(selected.first()) : -1;
  }
  static void ClickHeader(TForm1& form, int column) {
    QHeaderView* header = form.ListViewFavs->header();
    const QPoint at(header->sectionViewportPosition(column) + 5, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
  }
  // As the operator makes it: the row is pressed first (a lone simulated
  // double click is not taken for one by a list never clicked before).
  static void DoubleClickRow(TForm1& form, int row) {
    QTreeWidget* list = form.ListViewFavs;
    const QPoint at = list->visualItemRect(list->topLevelItem(row)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
  }
};

TEST_F(TuneTabTest, ApplySendsTheChannelOfTheFrequencyAndLogsIt) {
  auto form = Start();
  ASSERT_NE(form->fSb9600, nullptr);
  QTabWidget& pages = *form->PageControl2;
  EXPECT_GT(pages.indexOf(form->TabSheet6), pages.indexOf(form->TabSheetCmd[4]));
  EXPECT_EQ(pages.tabText(pages.count() - 1), "LCD");

  // 403000000, "6.25 KHz", "RX": channel 4480 in a plain SB9600 frame.
  QTest::mouseClick(form->ButtonApplyFreq, Qt::LeftButton);
  std::vector<uint8_t> frame{0x03, 0x11, 0x80, 0x3F};
  frame.push_back(Sb9600Crc(frame.data(), 4));
  EXPECT_EQ(bus_.Received(), frame);
  EXPECT_EQ(ViewTexts(*form).last(), "channel 4480 freq 403000000 set");

  // The SBEP options as the lists show them, and the frequency to the display.
  form->MaskEditTuneFreq->setText("403012500");
  form->CheckBoxTuneSbep->setChecked(true);
  form->ComboBoxTuneModulation->setCurrentText("CQPSK");
  form->ComboBoxTuneAudio->setCurrentText("External");
  form->ComboBoxTuneContinuos->setCurrentText("Continuous No");
  form->MaskEditTuneFrames->setText("1a2");
  form->CheckBoxTuneLCD->setChecked(true);
  QTest::mouseClick(form->ButtonApplyFreq, Qt::LeftButton);
  const auto sbep = bus_.WithRadio([](sim::SimRadio& r) { return r.LastSbepTune(); });
  ASSERT_TRUE(sbep && LastDisplay());
  EXPECT_EQ(sbep->option, 0x69);
  EXPECT_EQ(sbep->frames, 0x01A2);
  EXPECT_EQ(sbep->channel, 4482);
  EXPECT_EQ(LastDisplay()->Text(), "403*013");
  EXPECT_FALSE(form->fSb9600->SbepMode);
  EXPECT_EQ(ViewTexts(*form).last(), "channel 4482 freq 403012500 set");
  EXPECT_TRUE(errors_.Texts().isEmpty());
}

TEST_F(TuneTabTest, TheChannelFollowsTheTypedFrequencyButNotTheStep) {
  auto form = Start("[tune]\nfreq=851012500\nstep=5.0 khz\n");
  EXPECT_EQ(form->EditTuneChannel->text(), "10001");  // at start-up, with the stored step
  QLineEdit* freq = form->MaskEditTuneFreq;
  TypeMasked(freq, "4030");
  EXPECT_EQ(form->EditTuneChannel->text(), "0");  // below every band
  QTest::keyClicks(freq, "12500");
  EXPECT_EQ(form->EditTuneChannel->text(), "5602");
  // A blank inside the digits is no number.
  TypeMasked(freq, "4_3000000");
  EXPECT_EQ(MaskedText(*freq), "4 3000000");
  EXPECT_EQ(form->EditTuneChannel->text(), "0");

  // Only the step changes: the field keeps its channel, Apply sends the new one.
  freq->setText("403000000");
  EXPECT_EQ(form->EditTuneChannel->text(), "5600");
  form->ComboBoxTuneStep->setCurrentIndex(1);
  QTest::mouseClick(form->ButtonApplyFreq, Qt::LeftButton);
  ASSERT_TRUE(LastTune());
  EXPECT_EQ(LastTune()->channel, 4480);
  EXPECT_EQ(form->EditTuneChannel->text(), "5600");
  // Editing the frames value recomputes it.
  TypeMasked(form->MaskEditTuneFrames, "00fe");
  EXPECT_EQ(form->EditTuneChannel->text(), "4480");
}

TEST_F(TuneTabTest, TextsThatAreNoNumbersStopApplyBeforeAnythingIsSentOrLogged) {
  auto form = Start();
  const int lines = ViewTexts(*form).size();
  const auto refused = [&](const QString& frames, const QString& freq) {
    TypeMasked(form->MaskEditTuneFrames, frames);
    TypeMasked(form->MaskEditTuneFreq, freq);
    QTest::mouseClick(form->ButtonApplyFreq, Qt::LeftButton);
    return errors_.Texts().last();
  };
  // The frames text counts also while SBEP is off.
  EXPECT_EQ(refused("zz", "403000000"), "''$ZZ'' is not a valid integer value.");
  EXPECT_EQ(refused("", "403000000"), "''$'' is not a valid integer value.");
  EXPECT_EQ(refused("0_FF", "403000000"), "''$0 FF'' is not a valid integer value.");
  EXPECT_EQ(refused("00FF", "4_3000000"), "''4 3000000'' is not a valid integer value.");
  EXPECT_TRUE(bus_.Received().empty());
  EXPECT_EQ(ViewTexts(*form).size(), lines);
}

TEST_F(TuneTabTest, TheLcdTabSendsItsTextAsBytesAndRefusesOneTooLong) {
  auto form = Start();
  QTest::mouseClick(form->ButtonToLCD, Qt::LeftButton);
  ASSERT_TRUE(LastDisplay());
  EXPECT_EQ(LastDisplay()->Text(), "SELF CHECK");
  EXPECT_EQ(LastDisplay()->device, 5);
  form->EditToLCD->setText(QStringLiteral("\u00C9"));
  QTest::mouseClick(form->ButtonToLCD, Qt::LeftButton);
  EXPECT_EQ(LastDisplay()->text, (std::vector<uint8_t>{0xC3, 0x89}));

  // 63 letters of two bytes each are 126 bytes: refused before anything goes out.
  const std::vector<uint8_t> before = bus_.Received();
  form->EditToLCD->setText(QString(63, QChar(0xC9)));
  QTest::mouseClick(form->ButtonToLCD, Qt::LeftButton);
  EXPECT_EQ(errors_.Texts(), QStringList{"The display text is 126 bytes long; the radio's display "
                                         "takes at most 124."});
  EXPECT_EQ(bus_.Received(), before);
  EXPECT_FALSE(form->fSb9600->SbepMode);
}

TEST_F(TuneTabTest, AddToFavAppendsANewChannelReplacesAKnownOneAndRefusesASemicolon) {
  auto form = Start("[favorites]\nAbc=Old;403000000;\n", false);
  form->EditTuneDescr->setText("Home");
  QTest::mouseClick(form->ButtonTuneAddFav, Qt::LeftButton);
  form->MaskEditTuneFreq->setText("403012500");
  QTest::mouseClick(form->ButtonTuneAddFav, Qt::LeftButton);
  form->MaskEditTuneFreq->setText("403000000");
  form->EditTuneDescr->setText("Home again");
  QTest::mouseClick(form->ButtonTuneAddFav, Qt::LeftButton);
  form->EditTuneChannel->setText("ABC");  // captions match ignoring case
  QTest::mouseClick(form->ButtonTuneAddFav, Qt::LeftButton);
  EXPECT_EQ(Rows(*form), (QStringList{"Abc|Home again|403000000", "4480|Home again|403000000",
                                      "4482|Home|403012500"}));
  // After a sort a new channel still goes to the end.
  ClickHeader(*form, 0);
  form->MaskEditTuneFreq->setText("136000000");
  QTest::mouseClick(form->ButtonTuneAddFav, Qt::LeftButton);
  EXPECT_EQ(Rows(*form, 0), (QStringList{"4480", "4482", "Abc", "5280"}));

  const QStringList before = Rows(*form);
  form->EditTuneDescr->setText("Home;Garage");
  QTest::mouseClick(form->ButtonTuneAddFav, Qt::LeftButton);
  EXPECT_EQ(errors_.Texts(), QStringList{"A favourite's description cannot contain \";\": it "
                                         "separates the stored columns."});
  EXPECT_EQ(Rows(*form), before);
}

TEST_F(TuneTabTest, SortingByEachColumnIsAscendingByTheLocalesCollation) {
  ASSERT_EQ(QLocale().name(), "en_US") << "run with LANG=en_US.UTF-8";
  auto form = Start(
      "[favorites]\n9=beta;403000000;\n10=Alpha;450000000;\n100=alpha;136000000;\n"
      "2=Beta;403062500;\n5=\n",
      false);
  Select(*form, 0);
  ClickHeader(*form, 0);
  ClickHeader(*form, 0);  // a second click: the same order
  EXPECT_EQ(Rows(*form, 0), (QStringList{"10", "100", "2", "5", "9"}));  // as text
  EXPECT_EQ(form->ListViewFavs->selectedItems().value(0)->text(0), "9");
  // Case counts, in the locale's order (code-point order would put both
  // capitals first); a row without sub-items sorts as empty.
  ClickHeader(*form, 1);
  EXPECT_EQ(Rows(*form, 1), (QStringList{"", "alpha", "Alpha", "beta", "Beta"}));
  ClickHeader(*form, 2);
  EXPECT_EQ(Rows(*form, 0), (QStringList{"5", "100", "9", "2", "10"}));
}

TEST_F(TuneTabTest, UpDownAndDeleteActOnTheSelectedRowAndTheHighlightKeepsItsPlace) {
  auto form = Start("[favorites]\n1=a;1;\n2=b;2;\n3=c;3;\n4=d;4;\n5=e;5;\n", false);
  Select(*form, 2);
  form->ppmUp->trigger();
  EXPECT_EQ(Rows(*form).mid(1, 2), (QStringList{"3|c|3", "2|b|2"}));
  EXPECT_EQ(SelectedPosition(*form), 2);
  form->ppmUp->trigger();  // and back
  form->ppmDown->trigger();
  EXPECT_EQ(Rows(*form, 0), (QStringList{"1", "2", "4", "3", "5"}));
  EXPECT_EQ(SelectedPosition(*form), 2);
  Select(*form, 0);
  form->ppmUp->trigger();
  Select(*form, 4);
  form->ppmDown->trigger();
  form->ppmDelete->trigger();
  form->ListViewFavs->clearSelection();
  for (QAction* item : {form->ppmUp, form->ppmDown, form->ppmDelete, form->ppmEdit})
    item->trigger();
  EXPECT_EQ(Rows(*form, 0), (QStringList{"1", "2", "4", "3"}));
  EXPECT_TRUE(errors_.Texts().isEmpty());
}

TEST_F(TuneTabTest, EditSetDoubleClickAndEnterUseTheRowWithTheCurrentTuneOptions) {
  auto form = Start("[favorites]\n77=Same;403000000;\n2=B;851012500;\n");
  ASSERT_NE(form->fSb9600, nullptr);
  // Edit: the row's own channel stays when its frequency is the field's;
  // another frequency shows its channel with the current step. Nothing sent.
  Select(*form, 0);
  form->ppmEdit->trigger();
  EXPECT_EQ(form->EditTuneChannel->text(), "77");
  Select(*form, 1);
  form->ppmEdit->trigger();
  EXPECT_EQ(form->EditTuneDescr->text(), "B");
  EXPECT_EQ(form->EditTuneChannel->text(), "8001");
  EXPECT_TRUE(bus_.Received().empty());

  form->ComboBoxTuneDir->setCurrentText("TX");
  form->CheckBoxTune800->setChecked(true);
  form->ppmSet->trigger();
  ASSERT_TRUE(LastTune());
  EXPECT_EQ(LastTune()->modeByte, 0x12);  // TX, 6.25 KHz, 800 MHz
  EXPECT_EQ(ViewTexts(*form).last(), "channel 8001 freq 851012500 set");
  DoubleClickRow(*form, 0);
  EXPECT_EQ(ViewTexts(*form).last(), "channel 4480 freq 403000000 set");
  Select(*form, 1);
  QTest::keyClick(form->ListViewFavs, Qt::Key_Return);
  EXPECT_EQ(ViewTexts(*form).last(), "channel 8001 freq 851012500 set");
  EXPECT_EQ(ViewTexts(*form).filter(" set").size(), 3);
}

TEST_F(TuneTabTest, RowsWithTooFewColumnsStopEditSetAndDoubleClickWithTheIndexError) {
  auto form = Start("[favorites]\n7=OnlyDescr\n8=\n");
  const int lines = ViewTexts(*form).size();
  Select(*form, 0);
  form->ppmEdit->trigger();
  form->ppmSet->trigger();
  DoubleClickRow(*form, 1);
  QTest::keyClick(form->ListViewFavs, Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_EQ(errors_.Texts(),
            (QStringList{"List index out of bounds (1)", "List index out of bounds (1)",
                         "List index out of bounds (0)", "List index out of bounds (0)"}));
  // The fields before the missing one took their texts; nothing went out.
  EXPECT_EQ(form->EditTuneChannel->text(), "8");
  EXPECT_EQ(form->EditTuneDescr->text(), "OnlyDescr");
  EXPECT_EQ(form->MaskEditTuneFreq->displayText(), "403.000.000");
  EXPECT_TRUE(bus_.Received().empty());
  EXPECT_EQ(ViewTexts(*form).size(), lines);

  // Stored back with each column followed by ";".
  form.reset();
  const TIniFile ini((dir_.Path() / "settings.ini").string());
  EXPECT_EQ(ini.ReadString("favorites", "7", "?"), "OnlyDescr;");
  EXPECT_EQ(ini.ReadString("favorites", "8", "?"), "");
}

TEST_F(TuneTabTest, ThePopupOnTheScanTabsEmptyListOffersNoRowCommands) {
  auto form = Start("[favorites]\n9=b;2;\n10=a;1;\n", false);
  Select(*form, 0);
  const auto openOn = [&](QTreeWidget* list) {
    QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(1, 1),
                              list->mapToGlobal(QPoint(1, 1)));
    QApplication::sendEvent(list, &menuKey);
    EXPECT_TRUE(form->PopupMenuFavs->isVisible());
  };
  const std::vector<QAction*> rowCommands{form->ppmSet, form->ppmUp, form->ppmDown, form->ppmEdit,
                                          form->ppmDelete};
  openOn(form->ListView1);
  for (QAction* command : rowCommands)
    EXPECT_FALSE(command->isEnabled()) << command->text().toStdString();
  EXPECT_TRUE(form->ppmSortBy->menuAction()->isEnabled());
  // Delete, if it could still be chosen, leaves the Tune tab's list alone.
  form->ppmDelete->trigger();
  form->PopupMenuFavs->hide();
  EXPECT_EQ(form->ListViewFavs->topLevelItemCount(), 2);
  EXPECT_EQ(SelectedPosition(*form), 0);

  openOn(form->ListViewFavs);
  for (QAction* command : rowCommands)
    EXPECT_TRUE(command->isEnabled()) << command->text().toStdString();
  form->PopupMenuFavs->hide();
}

TEST_F(TuneTabTest, TheKeyboardOpensThePopupMenuWhichAlsoSorts) {
  auto form = Start("[favorites]\n9=b;2;\n10=a;1;\n", false);
  QTreeWidget* list = form->ListViewFavs;
  Select(*form, 0);
  const auto opensMenu = [&](const std::function<void()>& press) {
    press();
    const bool shown = form->PopupMenuFavs->isVisible();
    form->PopupMenuFavs->hide();
    return shown;
  };
  EXPECT_TRUE(opensMenu([&] {
    QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(1, 1),
                              list->mapToGlobal(QPoint(1, 1)));
    QApplication::sendEvent(list, &menuKey);
  }));
  EXPECT_TRUE(opensMenu([&] { QTest::keyClick(list, Qt::Key_F10, Qt::ShiftModifier); }));
  EXPECT_FALSE(opensMenu([&] { QTest::keyClick(list, Qt::Key_F10); }));

  // "Sort by" offers the columns of the list it was opened on.
  const QList<QAction*> sorts = form->ppmSortBy->actions();
  ASSERT_EQ(sorts.size(), 3);
  EXPECT_EQ(sorts[1]->text(), "Descr");
  sorts[1]->trigger();
  EXPECT_EQ(Rows(*form, 0), (QStringList{"10", "9"}));
}

}  // namespace
}  // namespace kestrune::test
