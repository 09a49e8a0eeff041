// The log view's line store: lines in order across its blocks, Clear, and
// the search over the raw bytes.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "console/core/LogLineStore.h"

namespace kestrune {

void PrintTo(const LogPosition& at, std::ostream* os) {
  *os << "line " << at.Line << " offset " << at.Offset;
}

namespace {

std::string NumberedLine(size_t i) {
  return "12:00:00  RX(5) 00 01 00 1D 13   |  line " + std::to_string(i);
}

TEST(LogLineStoreTest, LinesKeepTheirOrderAndTextAcrossBlocks) {
  LogLineStore store;
  store.Append("");
  store.Append("one");
  const std::string longer(LogLineStore::kBlockBytes + 10, 'x');  // a block of its own
  store.Append(longer);
  store.Append("after the long one");
  constexpr size_t kMany = 200000;  // about 10 blocks
  for (size_t i = 0; i < kMany; ++i) store.Append(NumberedLine(i));

  ASSERT_EQ(store.Size(), kMany + 4);
  EXPECT_EQ(store.Line(0), "");
  EXPECT_EQ(store.Line(1), "one");
  EXPECT_EQ(store.Line(2), longer);
  EXPECT_EQ(store.Line(3), "after the long one");
  for (size_t i = 0; i < kMany; i += 997) ASSERT_EQ(store.Line(4 + i), NumberedLine(i)) << i;
  EXPECT_EQ(store.Line(store.Size() - 1), NumberedLine(kMany - 1));
  EXPECT_EQ(store.LongestLine(), longer.size());

  // The text, its line ends, the index and the unused end of each block.
  const double perLine = double(store.BytesHeld() - 2 * LogLineStore::kBlockBytes) / kMany;
  EXPECT_LT(perLine, NumberedLine(kMany).size() + 1 + 8 + 8);

  store.Clear();
  EXPECT_EQ(store.Size(), 0u);
  EXPECT_EQ(store.BytesHeld(), 0u);
  EXPECT_EQ(store.LongestLine(), 0u);
  store.Append("fresh");
  ASSERT_EQ(store.Size(), 1u);
  EXPECT_EQ(store.Line(0), "fresh");
}

TEST(LogLineStoreTest, FindGoesForwardAndBackFromAPositionWithOrWithoutCase) {
  LogLineStore store;
  store.Append("note: Alpha and alpha");
  for (size_t i = 0; i < 50000; ++i) store.Append(NumberedLine(i));  // past the first block
  store.Append("ALPHA at the end");

  const LogSearch anyCase{"alpha", false};
  const LogSearch exact{"alpha", true};
  const size_t last = store.Size() - 1;
  EXPECT_EQ(store.FindNext(anyCase, {0, 0}), (LogPosition{0, 6}));
  EXPECT_EQ(store.FindNext(anyCase, {0, 7}), (LogPosition{0, 16}));
  EXPECT_EQ(store.FindNext(anyCase, {0, 17}), (LogPosition{last, 0}));
  EXPECT_EQ(store.FindNext(exact, {0, 0}), (LogPosition{0, 16}));
  EXPECT_EQ(store.FindNext(exact, {0, 17}), std::nullopt);  // no wrapping round

  EXPECT_EQ(store.FindPrevious(anyCase, {store.Size(), 0}), (LogPosition{last, 0}));
  EXPECT_EQ(store.FindPrevious(anyCase, {last, 0}), (LogPosition{0, 16}));
  EXPECT_EQ(store.FindPrevious(anyCase, {0, 16}), (LogPosition{0, 6}));
  EXPECT_EQ(store.FindPrevious(anyCase, {0, 6}), std::nullopt);

  // A line in a later block, from either side.
  const LogSearch numbered{"line 43210", true};
  const LogPosition where{1 + 43210, NumberedLine(43210).find("line")};
  EXPECT_EQ(store.FindNext(numbered, {0, 0}), where);
  EXPECT_EQ(store.FindPrevious(numbered, {store.Size(), 0}), where);

  // Nothing to find: no text, a line break (matches never span lines), no match.
  EXPECT_EQ(store.FindNext({"", false}, {0, 0}), std::nullopt);
  EXPECT_EQ(store.FindNext({"alpha\n12", false}, {0, 0}), std::nullopt);
  EXPECT_EQ(store.FindPrevious({"no such text", false}, {store.Size(), 0}), std::nullopt);
  EXPECT_EQ(LogLineStore().FindPrevious(anyCase, {0, 0}), std::nullopt);
}

}  // namespace
}  // namespace kestrune
