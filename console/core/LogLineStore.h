// The log view's lines: an append-only store that holds days of traffic in
// little more memory than the text itself.
//
// The text goes into large blocks, each line followed by '\n'; an index
// holds where each line starts (8 bytes a line). There is no object per
// line, and a search runs over the blocks' raw bytes. A line never spans two
// blocks: a line longer than a block gets a block of its own size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrune {

// A search in the store. Text is UTF-8 without a line break; without
// MatchCase, the letters A to Z match a to z (other bytes match as they are).
struct LogSearch {
  std::string Text;
  bool MatchCase = false;
};

// Where a match starts: its line and its byte offset in that line.
struct LogPosition {
  size_t Line = 0;
  size_t Offset = 0;
  friend bool operator==(const LogPosition&, const LogPosition&) = default;
};

class LogLineStore {
 public:
  static constexpr size_t kBlockBytes = size_t{1} << 20;

  // A line break inside `line` stays part of that line's text.
  void Append(std::string_view line);
  // Empties the store and gives its memory back.
  void Clear();

  size_t Size() const { return index_.size(); }
  // Valid until the next Append or Clear.
  std::string_view Line(size_t line) const;
  // The length in bytes of the longest line so far.
  size_t LongestLine() const { return longestLine_; }
  // The memory the store holds for its text and index.
  size_t BytesHeld() const;

  // The first match starting at `from` or after it, without wrapping round.
  std::optional<LogPosition> FindNext(const LogSearch& search, LogPosition from) const;
  // The last match starting before `before`; a line of Size() means the end.
  std::optional<LogPosition> FindPrevious(const LogSearch& search, LogPosition before) const;

 private:
  struct Block {
    std::unique_ptr<char[]> Bytes;
    size_t Capacity = 0;
    size_t Used = 0;
  };
  struct LineStart {
    uint32_t Block;
    uint32_t Offset;
  };

  // Where `at` lies in the blocks: its block and the offset in it.
  LineStart BlockPosition(LogPosition at) const;
  // The line that holds the byte at `offset` of `block`.
  LogPosition PositionOf(uint32_t block, size_t offset) const;

  std::vector<Block> blocks_;
  std::vector<LineStart> index_;
  size_t longestLine_ = 0;
};

}  // namespace kestrune
