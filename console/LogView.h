// The log view: a read-only list of the log's lines, kept in a compact store
// (core/LogLineStore.h) and drawn a visible row at a time, in a fixed-pitch
// font, one row per line.
//
// Long lines scroll sideways rather than wrap: every row is then one text
// line high, so a million rows are placed without measuring any of them, and
// the columns of packet dumps stay aligned. The view is a table of one
// column without headers: a list view lays out all its rows again whenever
// rows are added (about 100 ms at a million rows, every block), a table only
// adds up fixed row heights. Assistive tools get each line as a cell.
//
// The view follows the newest line while it is scrolled to the bottom and
// stays where it is while the operator reads further up. Rows are selected
// with the mouse and the keyboard; Copy puts the selected lines on the
// clipboard as text. Find selects the line of the next or previous match and
// outlines the match in it.
#pragma once

#include <QAbstractListModel>
#include <QString>
#include <QTableView>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "console/core/LogLineStore.h"

namespace kestrune {

// The store as a list model: row i is line i, read-only.
class LogModel : public QAbstractListModel {
 public:
  using QAbstractListModel::QAbstractListModel;

  int rowCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

  void Append(const std::vector<std::string_view>& lines);
  void Clear();
  const LogLineStore& Store() const { return store_; }

 private:
  LogLineStore store_;
};

class LogView : public QTableView {
 public:
  explicit LogView(QWidget* parent = nullptr);

  // Appends the lines as new last rows; scrolls along when at the bottom.
  void Append(const std::vector<std::string_view>& lines);
  void Clear();
  const LogModel& Model() const { return model_; }
  // The text of line `row`.
  QString LineText(int row) const;

  // The selected lines in order, each followed by a line break.
  QString SelectedText() const;
  void CopySelection() const;

  enum class Direction { Next, Previous };
  // Looks for the text from the current match (or the current row) on,
  // wrapping round at the end; true when found. Empty text finds nothing.
  bool Find(const QString& text, bool matchCase, Direction direction);

  // The match Find selected last, in characters of its row's text.
  struct Match {
    int Row = 0;
    int Start = 0;
    int Length = 0;
  };
  std::optional<Match> CurrentMatch() const { return match_; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  bool AtBottom() const;
  // Widens the one column to the longest line (what sideways scrolling
  // covers), and at least to the view's width (a selected row is marked across).
  void FitColumnToLongestLine();
  // Where a search in `direction` begins.
  LogPosition SearchStart(Direction direction) const;
  void ShowMatch(LogPosition at, const std::string& needle);

  LogModel model_;
  std::optional<Match> match_;
  LogPosition matchAt_;  // match_ in bytes of the store
};

}  // namespace kestrune
