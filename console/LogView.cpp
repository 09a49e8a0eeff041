#include "console/LogView.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <algorithm>
#include <utility>

namespace kestrune {

namespace {

QString FromUtf8(std::string_view bytes) {
  return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

// Draws a row as the view does and outlines the current match in it.
class LogRowDelegate : public QStyledItemDelegate {
 public:
  explicit LogRowDelegate(LogView* view) : QStyledItemDelegate(view), view_(view) {}

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    QStyledItemDelegate::paint(painter, option, index);
    const auto match = view_->CurrentMatch();
    if (!match || match->Row != index.row()) return;
    const QString text = index.data().toString();
    const int left = option.rect.left() + TextMargin() +
                     option.fontMetrics.horizontalAdvance(text.left(match->Start));
    const int width = option.fontMetrics.horizontalAdvance(text.mid(match->Start, match->Length));
    painter->save();
    painter->setPen(QPen(option.palette.color(QPalette::HighlightedText), 2));
    painter->drawRect(QRect(left, option.rect.top() + 1, width, option.rect.height() - 2));
    painter->restore();
  }

  // Where the row's text starts, as the style places the text of a list item.
  int TextMargin() const {
    return view_->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view_) + 1;
  }

 private:
  LogView* view_;
};

}  // namespace

int LogModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(store_.Size());
}

QVariant LogModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount()) return {};
  return FromUtf8(store_.Line(static_cast<size_t>(index.row())));
}

void LogModel::Append(const std::vector<std::string_view>& lines) {
  if (lines.empty()) return;
  const int first = rowCount();
  beginInsertRows({}, first, first + static_cast<int>(lines.size()) - 1);
  for (const std::string_view line : lines) store_.Append(line);
  endInsertRows();
}

void LogModel::Clear() {
  beginResetModel();
  store_.Clear();
  endResetModel();
}

LogView::LogView(QWidget* parent) : QTableView(parent) {
  setModel(&model_);
  setItemDelegate(new LogRowDelegate(this));
  QFont fixed(QStringLiteral("Courier New"));
  fixed.setStyleHint(QFont::TypeWriter);
  fixed.setFixedPitch(true);
  setFont(fixed);
  setShowGrid(false);
  setWordWrap(false);
  setTextElideMode(Qt::ElideNone);
  setTabKeyNavigation(false);  // Tab leaves the log, as from any other control
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  horizontalHeader()->hide();
  horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->hide();
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setMinimumSectionSize(1);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 2);
  FitColumnToLongestLine();
}

void LogView::FitColumnToLongestLine() {
  const auto longest = static_cast<int>(model_.Store().LongestLine());
  const int margin = 2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1);
  const int width =
      std::max(margin + fontMetrics().horizontalAdvance(u'M') * longest, viewport()->width());
  if (horizontalHeader()->sectionSize(0) != width) horizontalHeader()->resizeSection(0, width);
}

void LogView::resizeEvent(QResizeEvent* event) {
  QTableView::resizeEvent(event);
  FitColumnToLongestLine();
}

bool LogView::AtBottom() const {
  return verticalScrollBar()->value() == verticalScrollBar()->maximum();
}

void LogView::Append(const std::vector<std::string_view>& lines) {
  const bool follow = AtBottom();
  model_.Append(lines);
  FitColumnToLongestLine();
  if (follow) scrollToBottom();
}

void LogView::Clear() {
  match_.reset();
  model_.Clear();
  FitColumnToLongestLine();
}

QString LogView::LineText(int row) const {
  return FromUtf8(model_.Store().Line(static_cast<size_t>(row)));
}

QString LogView::SelectedText() const {
  std::vector<std::pair<int, int>> ranges;
  for (const QItemSelectionRange& range : selectionModel()->selection())
    ranges.emplace_back(range.top(), range.bottom());
  std::sort(ranges.begin(), ranges.end());
  std::string text;
  int next = 0;  // rows before this one are taken already
  for (const auto& [top, bottom] : ranges) {
    for (int row = std::max(top, next); row <= bottom; ++row) {
      text += model_.Store().Line(static_cast<size_t>(row));
      text += '\n';
    }
    next = std::max(next, bottom + 1);
  }
  return QString::fromStdString(text);
}

void LogView::CopySelection() const {
  if (selectionModel()->hasSelection()) QGuiApplication::clipboard()->setText(SelectedText());
}

void LogView::keyPressEvent(QKeyEvent* event) {
  // The table's own Copy takes the current cell only.
  if (event->matches(QKeySequence::Copy)) {
    CopySelection();
    event->accept();
    return;
  }
  QTableView::keyPressEvent(event);
}

LogPosition LogView::SearchStart(Direction direction) const {
  const int row = currentIndex().isValid() ? currentIndex().row() : -1;
  if (match_ && match_->Row == row)
    return direction == Direction::Next ? LogPosition{matchAt_.Line, matchAt_.Offset + 1}
                                        : matchAt_;
  if (row < 0) return {direction == Direction::Next ? 0 : model_.Store().Size(), 0};
  return {static_cast<size_t>(row) + (direction == Direction::Next ? 0 : 1), 0};
}

bool LogView::Find(const QString& text, bool matchCase, Direction direction) {
  const LogSearch search{text.toStdString(), matchCase};
  const LogLineStore& store = model_.Store();
  const LogPosition from = SearchStart(direction);
  // Round the end (or the start) when nothing lies after (or before) `from`.
  auto found = direction == Direction::Next ? store.FindNext(search, from)
                                            : store.FindPrevious(search, from);
  if (!found)
    found = direction == Direction::Next ? store.FindNext(search, {0, 0})
                                         : store.FindPrevious(search, {store.Size(), 0});
  if (!found) {
    match_.reset();
    viewport()->update();
    return false;
  }
  ShowMatch(*found, search.Text);
  return true;
}

void LogView::ShowMatch(LogPosition at, const std::string& needle) {
  const std::string_view line = model_.Store().Line(at.Line);
  const auto row = static_cast<int>(at.Line);
  const QString before = FromUtf8(line.substr(0, at.Offset));
  match_ = Match{row, static_cast<int>(before.size()),
                 static_cast<int>(FromUtf8(line.substr(at.Offset, needle.size())).size())};
  matchAt_ = at;

  const QModelIndex index = model_.index(row);
  selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
  scrollTo(index, QAbstractItemView::PositionAtCenter);
  // Bring the match itself into sight on a long line.
  const int charWidth = fontMetrics().horizontalAdvance(u'M');
  const int left = charWidth * match_->Start;
  const int right = left + charWidth * (match_->Length + 2);
  QScrollBar* sideways = horizontalScrollBar();
  if (left < sideways->value() || right > sideways->value() + viewport()->width())
    sideways->setValue(left - viewport()->width() / 3);
  viewport()->update();
}

}  // namespace kestrune
