#include "console/core/LogLineStore.h"

#include <algorithm>
#include <cstring>
#include <functional>

namespace kestrune {

namespace {

char FoldCase(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

struct FoldedHash {
  size_t operator()(char c) const { return static_cast<unsigned char>(FoldCase(c)); }
};
struct FoldedEqual {
  bool operator()(char a, char b) const { return FoldCase(a) == FoldCase(b); }
};

// The offset of the first match in [first, last), or nothing.
std::optional<size_t> Search(const char* first, const char* last, const LogSearch& search) {
  const std::string& needle = search.Text;
  const char* found =
      search.MatchCase
          ? std::search(first, last,
                        std::boyer_moore_horspool_searcher(needle.begin(), needle.end()))
          : std::search(first, last,
                        std::boyer_moore_horspool_searcher(needle.begin(), needle.end(),
                                                           FoldedHash{}, FoldedEqual{}));
  if (found == last) return std::nullopt;
  return static_cast<size_t>(found - first);
}

// A match never spans lines, since a search text holds no line break.
bool Searchable(const LogSearch& search) {
  return !search.Text.empty() && search.Text.find('\n') == std::string::npos;
}

}  // namespace

void LogLineStore::Append(std::string_view line) {
  const size_t needed = line.size() + 1;
  if (blocks_.empty() || blocks_.back().Capacity - blocks_.back().Used < needed) {
    const size_t capacity = std::max(kBlockBytes, needed);
    blocks_.push_back(Block{std::make_unique<char[]>(capacity), capacity, 0});
  }
  Block& block = blocks_.back();
  index_.push_back(
      LineStart{static_cast<uint32_t>(blocks_.size() - 1), static_cast<uint32_t>(block.Used)});
  std::memcpy(block.Bytes.get() + block.Used, line.data(), line.size());
  block.Bytes[block.Used + line.size()] = '\n';
  block.Used += needed;
  longestLine_ = std::max(longestLine_, line.size());
}

void LogLineStore::Clear() {
  std::vector<Block>().swap(blocks_);
  std::vector<LineStart>().swap(index_);
  longestLine_ = 0;
}

std::string_view LogLineStore::Line(size_t line) const {
  const LineStart start = index_.at(line);
  const Block& block = blocks_[start.Block];
  const bool nextInSameBlock = line + 1 < index_.size() && index_[line + 1].Block == start.Block;
  const size_t end = nextInSameBlock ? index_[line + 1].Offset : block.Used;
  return {block.Bytes.get() + start.Offset, end - start.Offset - 1};  // without its '\n'
}

size_t LogLineStore::BytesHeld() const {
  size_t bytes = index_.capacity() * sizeof(LineStart) + blocks_.capacity() * sizeof(Block);
  for (const Block& block : blocks_) bytes += block.Capacity;
  return bytes;
}

LogLineStore::LineStart LogLineStore::BlockPosition(LogPosition at) const {
  if (at.Line >= index_.size())
    return {static_cast<uint32_t>(blocks_.size() - 1), static_cast<uint32_t>(blocks_.back().Used)};
  const LineStart start = index_[at.Line];
  return {start.Block, static_cast<uint32_t>(start.Offset + at.Offset)};
}

LogPosition LogLineStore::PositionOf(uint32_t block, size_t offset) const {
  const auto after = std::upper_bound(
      index_.begin(), index_.end(), std::pair{block, offset},
      [](const std::pair<uint32_t, size_t>& at, const LineStart& start) {
        return at.first < start.Block || (at.first == start.Block && at.second < start.Offset);
      });
  const auto line = static_cast<size_t>(after - index_.begin()) - 1;
  return {line, offset - index_[line].Offset};
}

std::optional<LogPosition> LogLineStore::FindNext(const LogSearch& search, LogPosition from) const {
  if (!Searchable(search) || from.Line >= index_.size()) return std::nullopt;
  const LineStart start = BlockPosition(from);
  for (uint32_t b = start.Block; b < blocks_.size(); ++b) {
    const char* bytes = blocks_[b].Bytes.get();
    const size_t first = b == start.Block ? start.Offset : 0;
    if (first >= blocks_[b].Used) continue;
    if (const auto found = Search(bytes + first, bytes + blocks_[b].Used, search))
      return PositionOf(b, first + *found);
  }
  return std::nullopt;
}

std::optional<LogPosition> LogLineStore::FindPrevious(const LogSearch& search,
                                                      LogPosition before) const {
  if (!Searchable(search) || index_.empty()) return std::nullopt;
  const LineStart limit = BlockPosition(before);
  for (uint32_t b = limit.Block + 1; b-- > 0;) {
    const char* bytes = blocks_[b].Bytes.get();
    const size_t end = b == limit.Block ? limit.Offset : blocks_[b].Used;
    // The last match starting before `end`: the matches one after another.
    std::optional<size_t> last;
    for (size_t at = 0; at < end;) {
      const auto found = Search(bytes + at, bytes + blocks_[b].Used, search);
      if (!found || at + *found >= end) break;
      last = at + *found;
      at = *last + 1;
    }
    if (last) return PositionOf(b, *last);
  }
  return std::nullopt;
}

}  // namespace kestrune
