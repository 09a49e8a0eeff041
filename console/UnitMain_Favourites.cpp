// The favourites beside the Tune panel: rows of channel, description and
// frequency that the operator adds from the Tune fields, orders, edits and
// applies. Other lists (the Scan tab's) share the popup menu, the column
// click and the double click through AttachFavsHandlers; the menu's commands
// always act on the favourites.
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTreeWidget>
#include <algorithm>
#include <functional>
#include <stdexcept>

#include "console/ErrorReport.h"
#include "console/UnitMain.h"
#include "console/WidgetKit.h"
#include "console/core/IniFile.h"

namespace kestrune {

namespace {

const char* const kFavouritesSection = "favorites";

// The error of a row that lacks the sub-item asked for.
[[noreturn]] void ListIndexError(int index) {
  throw std::out_of_range("List index out of bounds (" + std::to_string(index) + ")");
}

// A row's columns after its caption. Rows read from a hand-edited settings
// file may have fewer than the list's columns.
int SubItemCount(const QTreeWidgetItem& row) { return std::max(0, row.columnCount() - 1); }

QString SubItem(const QTreeWidgetItem& row, int index) {
  if (index < 0 || index >= SubItemCount(row)) ListIndexError(index);
  return row.text(index + 1);
}

QTreeWidgetItem* SelectedRow(const QTreeWidget& list) {
  const QList<QTreeWidgetItem*> selected = list.selectedItems();
  return selected.isEmpty() ? nullptr : selected.first();
}

// The keyboard's ways to the list's popup menu (the menu key, Shift+F10) and
// Enter on a selected row, which does what a double click does.
class TListKeys : public QObject {
 public:
  TListKeys(QTreeWidget* list, std::function<void()> openMenu, std::function<void()> apply)
      : QObject(list), list_(list), openMenu_(std::move(openMenu)), apply_(std::move(apply)) {}

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::ContextMenu &&
        static_cast<QContextMenuEvent*>(event)->reason() == QContextMenuEvent::Keyboard) {
      openMenu_();
      return true;
    }
    if (event->type() != QEvent::KeyPress) return QObject::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
    if (key->key() == Qt::Key_F10 && modifiers == Qt::ShiftModifier) {
      openMenu_();
      return true;
    }
    const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    if (enter && modifiers == Qt::NoModifier && SelectedRow(*list_)) {
      apply_();
      return true;
    }
    return false;
  }

 private:
  QTreeWidget* list_;
  std::function<void()> openMenu_;
  std::function<void()> apply_;
};

// The Tune fields from a row, in this order; a missing sub-item stops it
// with the fields before it already set. A frequency text that differs from
// the field's runs the change handler, which shows that frequency's channel.
void ShowRowInTuneFields(TForm1& form, const QTreeWidgetItem& row) {
  form.EditTuneChannel->setText(row.text(0));
  form.EditTuneDescr->setText(SubItem(row, 0));
  form.MaskEditTuneFreq->setText(SubItem(row, 1));
}

}  // namespace

// ------------------------------------------------------------------ layout

QWidget* TForm1::BuildFavouritesList() {
  ListViewFavs = Named(new QTreeWidget, "ListViewFavs");
  ListViewFavs->setAccessibleName(QStringLiteral("Favourites"));
  ListViewFavs->setHeaderLabels({"Channel", "Descr", "Freq"});
  ListViewFavs->setRootIsDecorated(false);
  ListViewFavs->setUniformRowHeights(true);
  ListViewFavs->setSelectionMode(QAbstractItemView::SingleSelection);
  ListViewFavs->setSelectionBehavior(QAbstractItemView::SelectRows);
  ListViewFavs->setAllColumnsShowFocus(true);

  PopupMenuFavs = Named(new QMenu(QStringLiteral("Favourites"), this), "PopupMenuFavs");
  const auto addItem = [this](const char* name, const QString& caption) {
    QAction* action = PopupMenuFavs->addAction(caption);
    action->setObjectName(QString::fromLatin1(name));
    return action;
  };
  ppmSet = addItem("ppmSet", QStringLiteral("Set (double click)"));
  ppmUp = addItem("ppmUp", QStringLiteral("Up"));
  ppmDown = addItem("ppmDown", QStringLiteral("Down"));
  ppmEdit = addItem("ppmEdit", QStringLiteral("Edit"));
  ppmDelete = addItem("ppmDelete", QStringLiteral("Delete"));
  PopupMenuFavs->addSeparator();
  ppmSortBy = Named(PopupMenuFavs->addMenu(QStringLiteral("Sort by")), "ppmSortBy");
  return ListViewFavs;
}

void TForm1::ConnectFavouritesHandlers() {
  const auto connectItem = [this](QAction* item, void (TForm1::*handler)()) {
    connect(item, &QAction::triggered, this,
            [this, handler] { Guarded([this, handler] { (this->*handler)(); }); });
  };
  connectItem(ppmSet, &TForm1::ppmSetClick);
  connectItem(ppmUp, &TForm1::ppmUpClick);
  connectItem(ppmDown, &TForm1::ppmDownClick);
  connectItem(ppmEdit, &TForm1::ppmEditClick);
  connectItem(ppmDelete, &TForm1::ppmDeleteClick);
  connect(ButtonTuneAddFav, &QPushButton::clicked, this,
          [this] { Guarded([this] { ButtonTuneAddFavClick(); }); });
  AttachFavsHandlers(ListViewFavs);
}

void TForm1::AttachFavsHandlers(QTreeWidget* list) {
  list->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(list, &QWidget::customContextMenuRequested, this,
          [this, list](const QPoint& at) { PopupFavs(list, list->viewport()->mapToGlobal(at)); });
  list->header()->setSectionsClickable(true);
  connect(list->header(), &QHeaderView::sectionClicked, this, [this, list](int column) {
    Guarded([this, list, column] { ListViewColumnClick(list, column); });
  });
  connect(list, &QTreeWidget::itemDoubleClicked, this,
          [this, list] { Guarded([this, list] { ListViewFavsDblClick(list); }); });

  const auto openAtSelection = [this, list] {
    const QTreeWidgetItem* row = list->currentItem();
    const QPoint at = row ? list->visualItemRect(row).center() : QPoint(0, 0);
    PopupFavs(list, list->viewport()->mapToGlobal(at));
  };
  const auto apply = [this, list] { Guarded([this, list] { ListViewFavsDblClick(list); }); };
  list->installEventFilter(new TListKeys(list, openAtSelection, apply));
}

void TForm1::PopupFavs(QTreeWidget* list, const QPoint& globalPos) {
  // The row commands act on the Tune tab's favourites. Opened on the Scan
  // tab's list, which holds no rows, they would change a row the operator
  // cannot see (Delete would remove it without a word), so only sorting is
  // offered there.
  const bool onFavourites = list == ListViewFavs;
  for (QAction* command : {ppmSet, ppmUp, ppmDown, ppmEdit, ppmDelete})
    command->setEnabled(onFavourites);
  ppmSortBy->clear();
  const QTreeWidgetItem* header = list->headerItem();
  for (int column = 0; column < list->columnCount(); ++column) {
    QAction* sort = ppmSortBy->addAction(header->text(column));
    connect(sort, &QAction::triggered, list, [this, list, column] {
      Guarded([this, list, column] { ListViewColumnClick(list, column); });
    });
  }
  PopupMenuFavs->popup(globalPos);
}

// ---------------------------------------------------------------- handlers

// The description goes to the settings file after the channel, each column
// followed by ";": a ";" of its own would split it and cost the frequency.
void TForm1::ButtonTuneAddFavClick() {
  const QString description = EditTuneDescr->text();
  if (description.contains(u';'))
    throw std::invalid_argument(
        "A favourite's description cannot contain \";\": it separates the stored columns");

  const QString key = EditTuneChannel->text();
  QTreeWidgetItem* row = nullptr;
  for (int i = 0; i < ListViewFavs->topLevelItemCount() && !row; ++i)
    if (ListViewFavs->topLevelItem(i)->text(0).compare(key, Qt::CaseInsensitive) == 0)
      row = ListViewFavs->topLevelItem(i);
  if (!row) {
    row = new QTreeWidgetItem(QStringList{key});
    ListViewFavs->addTopLevelItem(row);
  }
  row->setText(1, description);
  row->setText(2, MaskedText(*MaskEditTuneFreq));
}

// Always ascending; the selected row stays selected wherever it lands.
void TForm1::ListViewColumnClick(QTreeWidget* sender, int column) {
  QTreeWidgetItem* selected = SelectedRow(*sender);
  QList<QTreeWidgetItem*> rows;
  sender->setUpdatesEnabled(false);
  while (sender->topLevelItemCount() > 0) rows.append(sender->takeTopLevelItem(0));
  std::stable_sort(rows.begin(), rows.end(),
                   [column](const QTreeWidgetItem* a, const QTreeWidgetItem* b) {
                     return CompareListItems(*a, *b, column - 1) < 0;
                   });
  sender->addTopLevelItems(rows);
  if (selected) sender->setCurrentItem(selected);
  sender->setUpdatesEnabled(true);
}

// The locale's collation with letter case significant: texts that differ
// only in case never compare equal.
int TForm1::CompareListItems(const QTreeWidgetItem& row1, const QTreeWidgetItem& row2, int column) {
  const auto text = [column](const QTreeWidgetItem& row) {
    if (column < 0) return row.text(0);
    return column < SubItemCount(row) ? row.text(column + 1) : QString();
  };
  return QString::localeAwareCompare(text(row1), text(row2));
}

// The rows change places; the selection stays on its position, so it now
// highlights the other row.
void TForm1::SwapListItems(QTreeWidget* list, int index1, int index2) {
  for (int index : {index1, index2})
    if (index < 0 || index >= list->topLevelItemCount()) ListIndexError(index);
  if (index1 == index2) return;
  const int low = std::min(index1, index2);
  const int high = std::max(index1, index2);
  QTreeWidgetItem* selected = SelectedRow(*list);
  const int selectedAt = selected ? list->indexOfTopLevelItem(selected) : -1;

  list->setUpdatesEnabled(false);
  QTreeWidgetItem* highRow = list->takeTopLevelItem(high);
  QTreeWidgetItem* lowRow = list->takeTopLevelItem(low);
  list->insertTopLevelItem(low, highRow);
  list->insertTopLevelItem(high, lowRow);
  if (selectedAt >= 0) list->setCurrentItem(list->topLevelItem(selectedAt));
  list->setUpdatesEnabled(true);
}

void TForm1::ppmSetClick() { ListViewFavsDblClick(ListViewFavs); }

void TForm1::ppmUpClick() {
  QTreeWidgetItem* row = SelectedRow(*ListViewFavs);
  if (!row) return;
  const int at = ListViewFavs->indexOfTopLevelItem(row);
  if (at > 0) SwapListItems(ListViewFavs, at, at - 1);
}

void TForm1::ppmDownClick() {
  QTreeWidgetItem* row = SelectedRow(*ListViewFavs);
  if (!row) return;
  const int at = ListViewFavs->indexOfTopLevelItem(row);
  if (at < ListViewFavs->topLevelItemCount() - 1) SwapListItems(ListViewFavs, at, at + 1);
}

void TForm1::ppmEditClick() {
  if (const QTreeWidgetItem* row = SelectedRow(*ListViewFavs)) ShowRowInTuneFields(*this, *row);
}

void TForm1::ppmDeleteClick() { delete SelectedRow(*ListViewFavs); }

void TForm1::ListViewFavsDblClick(QTreeWidget* sender) {
  const QTreeWidgetItem* row = SelectedRow(*sender);
  if (!row) return;
  ShowRowInTuneFields(*this, *row);
  ButtonApplyFreqClick();
}

// ---------------------------------------------------------------- settings

// Key: the caption; value: each further column followed by ";".
void TForm1::ReadFavoritesSection(const TIniFile& ini) {
  const int subItems = ListViewFavs->columnCount() - 1;
  for (const std::string& key : ini.ReadSection(kFavouritesSection)) {
    const QString value = FromStd(ini.ReadString(kFavouritesSection, key, ""));
    const QStringList parts = value.isEmpty() ? QStringList() : value.split(u';');
    ListViewFavs->addTopLevelItem(
        new QTreeWidgetItem(QStringList{FromStd(key)} + parts.mid(0, subItems)));
  }
}

void TForm1::WriteFavoritesSection(TIniFile& ini) const {
  ini.EraseSection(kFavouritesSection);
  for (int i = 0; i < ListViewFavs->topLevelItemCount(); ++i) {
    const QTreeWidgetItem& row = *ListViewFavs->topLevelItem(i);
    QString value;
    for (int s = 0; s < SubItemCount(row); ++s) value += row.text(s + 1) + u';';
    ini.WriteString(kFavouritesSection, ToStd(row.text(0)), ToStd(value));
  }
}

}  // namespace kestrune
