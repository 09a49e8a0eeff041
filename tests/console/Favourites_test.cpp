// The favourites list beside the Tune panel: adding, sorting, moving,
// editing, applying and deleting rows, the keyboard's ways to them, and the
// rows surviving a restart. Sorting follows the locale's collation: this
// suite runs with LANG=en_US.UTF-8.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTreeWidget>
#include <memory>

#include "GuiTestSupport.h"
#include "console/core/IniFile.h"

namespace kestrune::test {
namespace {

class FavouritesTest : public ::testing::Test {
 protected:
  void SetUp() override { EnsureApplication(); }

  std::unique_ptr<TForm1> Start(const std::string& favourites) {
    dir_.Write("settings.ini",
               "[devices]\nCOM1=" + bus_.DevicePath() + "\n[favorites]\n" + favourites);
    TForm1Options options;
    options.ProgramDir = dir_.QPath();
    auto form = std::make_unique<TForm1>(std::move(options));
    form->show();
    form->PageControl2->setCurrentWidget(form->TabSheet6);
    return form;
  }

  // Every row as "caption|sub-item|sub-item".
  static QStringList Rows(const TForm1& form) {
    QStringList rows;
    for (int i = 0; i < form.ListViewFavs->topLevelItemCount(); ++i) {
      const QTreeWidgetItem* row = form.ListViewFavs->topLevelItem(i);
      QStringList columns;
      for (int c = 0; c < row->columnCount(); ++c) columns.append(row->text(c));
      rows.append(columns.join(u'|'));
    }
    return rows;
  }
  static QStringList Column(const TForm1& form, int column) {
    QStringList texts;
    for (int i = 0; i < form.ListViewFavs->topLevelItemCount(); ++i)
      texts.append(form.ListViewFavs->topLevelItem(i)->text(column));
    return texts;
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
    const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                    header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
  }
  // A double click as the operator makes it: the row is pressed first. (A
  // lone simulated double click is not taken for one by a fresh list.)
  static void DoubleClickRow(TForm1& form, int row) {
    QTreeWidget* list = form.ListViewFavs;
    const QPoint at = list->visualItemRect(list->topLevelItem(row)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
  }
  int ChannelLines(const TForm1& form) const {
    return ViewTexts(form).filter(QRegularExpression("^channel \\d+ freq \\d+ set$")).size();
  }

  TempDir dir_;
  SimulatedRadio bus_;
  RecordedErrors errors_;
};

TEST_F(FavouritesTest, AddToFavAppendsANewChannelAndReplacesAKnownOneInPlace) {
  auto form = Start("Abc=Old;403000000;\n");
  form->EditTuneDescr->setText("Home");
  QTest::mouseClick(form->ButtonTuneAddFav, Qt::LeftButton);
  form->MaskEditTuneFreq->setText("403012500");
  form->EditTuneDescr->setText("Work");
  QTest::mouseClick(form->ButtonTuneAddFav, Qt::LeftButton);
  EXPECT_EQ(Rows(*form),
            (QStringList{"Abc|Old|403000000", "4480|Home|403000000", "4482|Work|403012500"}));

  // The same channel again: its row changes where it stands.
  form->MaskEditTuneFreq->setText("403000000");
  form->EditTuneDescr->setText("Home again");
  QTest::mouseClick(form->ButtonTuneAddFav, Qt::LeftButton);
  EXPECT_EQ(Rows(*form).at(1), "4480|Home again|403000000");
  // Captions are matched ignoring case.
  form->EditTuneChannel->setText("ABC");
  QTest::mouseClick(form->ButtonTuneAddFav, Qt::LeftButton);
  EXPECT_EQ(Rows(*form).at(0), "Abc|Home again|403000000");
  EXPECT_EQ(Rows(*form).size(), 3);

  // After a sort a new channel still goes to the end.
  ClickHeader(*form, 0);
  form->MaskEditTuneFreq->setText("136000000");
  QTest::mouseClick(form->ButtonTuneAddFav, Qt::LeftButton);
  EXPECT_EQ(Column(*form, 0), (QStringList{"4480", "4482", "Abc", "5280"}));
  EXPECT_EQ(Rows(*form).last(), "5280|Home again|136000000");

  // A ";" would split the stored value and cost the frequency: refused.
  const QStringList before = Rows(*form);
  form->EditTuneDescr->setText("Home;Garage");
  QTest::mouseClick(form->ButtonTuneAddFav, Qt::LeftButton);
  EXPECT_EQ(errors_.Texts(),
            QStringList{"A favourite's description cannot contain \";\": it separates the stored "
                        "columns."});
  EXPECT_EQ(Rows(*form), before);
  EXPECT_TRUE(bus_.Received().empty());  // adding sends nothing
}

TEST_F(FavouritesTest, SortingByEachColumnIsAscendingByTheLocalesCollation) {
  ASSERT_EQ(QLocale().name(), "en_US") << "run with LANG=en_US.UTF-8";
  auto form = Start(
      "9=beta;403000000;\n10=Alpha;450000000;\n100=alpha;136000000;\n2=Beta;403062500;\n"
      "5=\n");
  Select(*form, 0);  // "9"

  ClickHeader(*form, 0);
  EXPECT_EQ(Column(*form, 0), (QStringList{"10", "100", "2", "5", "9"}));  // as text
  EXPECT_EQ(form->ListViewFavs->selectedItems().value(0)->text(0), "9");
  ClickHeader(*form, 0);
  EXPECT_EQ(Column(*form, 0), (QStringList{"10", "100", "2", "5", "9"}));

  // Letter case counts, in the locale's order (not code-point order, which
  // would put both capitals first); the row without sub-items sorts as empty.
  ClickHeader(*form, 1);
  EXPECT_EQ(Column(*form, 1), (QStringList{"", "alpha", "Alpha", "beta", "Beta"}));
  ClickHeader(*form, 2);
  EXPECT_EQ(Column(*form, 0), (QStringList{"5", "100", "9", "2", "10"}));
  EXPECT_LT(TForm1::CompareListItems(*form->ListViewFavs->topLevelItem(1),
                                     *form->ListViewFavs->topLevelItem(2), -1),
            0);  // "100" before "9"
}

TEST_F(FavouritesTest, UpAndDownExchangeRowsWhileTheHighlightKeepsItsPlace) {
  auto form = Start("1=a;1;\n2=b;2;\n3=c;3;\n4=d;4;\n5=e;5;\n");
  Select(*form, 2);
  form->ppmUp->trigger();
  EXPECT_EQ(Column(*form, 0), (QStringList{"1", "3", "2", "4", "5"}));
  EXPECT_EQ(SelectedPosition(*form), 2);
  EXPECT_EQ(Rows(*form).at(1), "3|c|3");  // the whole row moved
  form->ppmUp->trigger();
  EXPECT_EQ(Column(*form, 0), (QStringList{"1", "2", "3", "4", "5"}));
  form->ppmDown->trigger();
  EXPECT_EQ(Column(*form, 0), (QStringList{"1", "2", "4", "3", "5"}));
  EXPECT_EQ(SelectedPosition(*form), 2);

  Select(*form, 0);
  form->ppmUp->trigger();
  Select(*form, 4);
  form->ppmDown->trigger();
  form->ListViewFavs->clearSelection();
  form->ppmUp->trigger();
  form->ppmDown->trigger();
  EXPECT_EQ(Column(*form, 0), (QStringList{"1", "2", "4", "3", "5"}));
  EXPECT_TRUE(errors_.Texts().isEmpty());
}

TEST_F(FavouritesTest, EditFillsTheTuneFieldsWithoutSendingAnything) {
  auto form = Start("77=Same;403000000;\nx=Other;450000000;\n");
  // The frequency equals the field's: the row's own channel stays shown.
  Select(*form, 0);
  form->ppmEdit->trigger();
  EXPECT_EQ(form->EditTuneChannel->text(), "77");
  EXPECT_EQ(form->EditTuneDescr->text(), "Same");
  // Another frequency: its channel with the current step.
  form->ComboBoxTuneStep->setCurrentIndex(0);
  Select(*form, 1);
  form->ppmEdit->trigger();
  EXPECT_EQ(form->EditTuneDescr->text(), "Other");
  EXPECT_EQ(form->MaskEditTuneFreq->displayText(), "450.000.000");
  EXPECT_EQ(form->EditTuneChannel->text(), "15000");
  EXPECT_TRUE(bus_.Received().empty());
}

TEST_F(FavouritesTest, SetDoubleClickAndEnterApplyTheRowWithTheCurrentTuneOptions) {
  auto form = Start("1=A;403000000;\n2=B;851012500;\n");
  ASSERT_NE(form->fSb9600, nullptr);
  form->ComboBoxTuneDir->setCurrentIndex(1);  // TX
  form->CheckBoxTune800->setChecked(true);
  const auto lastTune = [&] {
    return bus_.WithRadio([](sim::SimRadio& r) { return r.LastSb9600Tune(); });
  };

  Select(*form, 1);
  form->ppmSet->trigger();
  ASSERT_TRUE(lastTune());
  EXPECT_EQ(lastTune()->channel, 8001);
  EXPECT_EQ(lastTune()->modeByte, 0x12);  // TX, 6.25 KHz, 800 MHz
  EXPECT_EQ(form->EditTuneDescr->text(), "B");
  EXPECT_EQ(ViewTexts(*form).last(), "channel 8001 freq 851012500 set");

  QTreeWidget* list = form->ListViewFavs;
  DoubleClickRow(*form, 0);
  EXPECT_EQ(lastTune()->channel, 4480);
  EXPECT_EQ(ViewTexts(*form).last(), "channel 4480 freq 403000000 set");

  Select(*form, 1);
  QTest::keyClick(list, Qt::Key_Return);
  EXPECT_EQ(lastTune()->channel, 8001);
  EXPECT_EQ(ChannelLines(*form), 3);

  // Nothing selected: nothing applied.
  list->clearSelection();
  form->ppmSet->trigger();
  QTest::keyClick(list, Qt::Key_Return);
  EXPECT_EQ(ChannelLines(*form), 3);
  EXPECT_TRUE(errors_.Texts().isEmpty());
}

TEST_F(FavouritesTest, RowsWithTooFewColumnsStopEditSetAndDoubleClickWithTheIndexError) {
  auto form = Start("7=OnlyDescr\n8=\n");
  ASSERT_NE(form->fSb9600, nullptr);
  const int lines = ViewTexts(*form).size();

  Select(*form, 0);
  form->ppmEdit->trigger();
  form->ppmSet->trigger();
  EXPECT_EQ(errors_.Texts(),
            (QStringList{"List index out of bounds (1)", "List index out of bounds (1)"}));
  // The fields before the missing one took their texts.
  EXPECT_EQ(form->EditTuneChannel->text(), "7");
  EXPECT_EQ(form->EditTuneDescr->text(), "OnlyDescr");
  EXPECT_EQ(form->MaskEditTuneFreq->displayText(), "403.000.000");

  QTreeWidget* list = form->ListViewFavs;
  DoubleClickRow(*form, 1);
  QTest::keyClick(list, Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_EQ(errors_.Texts().mid(2),
            (QStringList{"List index out of bounds (0)", "List index out of bounds (0)"}));
  EXPECT_EQ(form->EditTuneChannel->text(), "8");
  EXPECT_EQ(form->EditTuneDescr->text(), "OnlyDescr");

  EXPECT_TRUE(bus_.Received().empty());
  EXPECT_EQ(ViewTexts(*form).size(), lines);
}

TEST_F(FavouritesTest, DeleteRemovesTheSelectedRowAndTheRowsSurviveARestartInOrder) {
  {
    auto form = Start("30=c;430000000;\n10=a;410000000;\n20=b;420000000;\n7=short\n");
    Select(*form, 2);
    form->ppmDelete->trigger();
    form->ListViewFavs->clearSelection();
    form->ppmDelete->trigger();  // nothing selected: nothing deleted
    EXPECT_EQ(Column(*form, 0), (QStringList{"30", "10", "7"}));
  }
  const TIniFile ini((dir_.Path() / "settings.ini").string());
  EXPECT_EQ(ini.ReadSection("favorites"), (std::vector<std::string>{"30", "10", "7"}));
  EXPECT_EQ(ini.ReadString("favorites", "30", ""), "c;430000000;");
  EXPECT_EQ(ini.ReadString("favorites", "7", ""), "short;");  // each column ends with ";"

  TForm1Options options;
  options.ProgramDir = dir_.QPath();
  TForm1 again(std::move(options));
  EXPECT_EQ(Rows(again), (QStringList{"30|c|430000000", "10|a|410000000", "7|short|"}));
}

TEST_F(FavouritesTest, TheKeyboardOpensThePopupMenuAndSortsFromIt) {
  auto form = Start("9=b;2;\n10=a;1;\n");
  QTreeWidget* list = form->ListViewFavs;
  Select(*form, 0);
  const auto opensMenu = [&](const std::function<void()>& press) {
    form->PopupMenuFavs->hide();
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

  // The menu's "Sort by" offers the columns of the list it was opened on.
  const QList<QAction*> sorts = form->ppmSortBy->actions();
  ASSERT_EQ(sorts.size(), 3);
  EXPECT_EQ(sorts[0]->text(), "Channel");
  sorts[0]->trigger();
  EXPECT_EQ(Column(*form, 0), (QStringList{"10", "9"}));
  sorts[2]->trigger();
  EXPECT_EQ(Column(*form, 0), (QStringList{"10", "9"}));
  sorts[1]->trigger();
  EXPECT_EQ(Column(*form, 1), (QStringList{"a", "b"}));

  // Another list given the favourites' handlers: its rows sort, the menu's
  // commands still act on the favourites.
  QTreeWidget other;
  other.setHeaderLabels({"Channel", "Descr", "Dir"});
  form->AttachFavsHandlers(&other);
  other.addTopLevelItems(
      {new QTreeWidgetItem(QStringList{"b"}), new QTreeWidgetItem(QStringList{"a"})});
  other.setCurrentItem(other.topLevelItem(0));
  QTest::keyClick(&other, Qt::Key_F10, Qt::ShiftModifier);
  EXPECT_EQ(form->ppmSortBy->actions().at(2)->text(), "Dir");
  form->ppmSortBy->actions().at(0)->trigger();
  EXPECT_EQ(other.topLevelItem(0)->text(0), "a");
  Select(*form, 1);
  form->ppmDelete->trigger();
  EXPECT_EQ(other.topLevelItemCount(), 2);
  EXPECT_EQ(Column(*form, 0), QStringList{"10"});
  form->PopupMenuFavs->hide();
}

}  // namespace
}  // namespace kestrune::test
