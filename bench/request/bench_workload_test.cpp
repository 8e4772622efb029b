// The options of bench_request and its check of the 10-row answers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "BenchWorkload.h"

namespace {

using velbench::Options;
using Rows = std::vector<std::vector<std::string>>;

// Parses the words after the program name.
bool parse(std::vector<const char*> words, Options* o, std::string* error) {
  words.insert(words.begin(), "bench_request");
  return velbench::parseOptions(static_cast<int>(words.size()), words.data(), o, error);
}

TEST(BenchOptions, QuickShortensTimesButExplicitValuesWinWhateverTheOrder) {
  Options o;
  std::string error;
  ASSERT_TRUE(parse({"--load-seconds", "20", "--quick", "--window", "40"}, &o, &error)) << error;
  EXPECT_EQ(o.loadSeconds, 20);
  EXPECT_EQ(o.idleSeconds, 8);
  EXPECT_EQ(o.warmupSeconds, 1);
  EXPECT_EQ(o.window, 40);
  EXPECT_EQ(o.subnodes, (std::vector<int>{1, 10, 50}));

  Options defaults;
  ASSERT_TRUE(parse({}, &defaults, &error));
  EXPECT_EQ(defaults.loadSeconds, 10);
  EXPECT_EQ(defaults.idleSeconds, 30);
  EXPECT_FALSE(defaults.keep);
}

TEST(BenchOptions, SubnodeListIsSortedWithoutRepeats) {
  Options o;
  std::string error;
  ASSERT_TRUE(parse({"--subnodes", "50,1,10,1"}, &o, &error)) << error;
  EXPECT_EQ(o.subnodes, (std::vector<int>{1, 10, 50}));
  ASSERT_TRUE(parse({"--subnodes", "7"}, &o, &error)) << error;
  EXPECT_EQ(o.subnodes, (std::vector<int>{7}));

  for (const char* bad : {"", "1,,2", "1,", "0", "501", "2.5", "x", "-3"}) {
    Options kept;
    kept.subnodes = {3};
    EXPECT_FALSE(parse({"--subnodes", bad}, &kept, &error)) << bad;
    EXPECT_NE(error.find("--subnodes"), std::string::npos) << bad;
    EXPECT_EQ(kept.subnodes, (std::vector<int>{3})) << bad;
  }
}

TEST(BenchOptions, RefusesUnknownMissingAndOutOfRangeValues) {
  std::string error;
  struct Case {
    std::vector<const char*> words;
    const char* expected;
  };
  const std::vector<Case> cases = {
      {{"--fast"}, "unknown option --fast"},
      {{"--window"}, "--window needs a value"},
      {{"--window", "51"}, "bad value for --window: 51"},  // beyond the collector's queue
      {{"--window", "0"}, "bad value for --window: 0"},
      {{"--window", "4.5"}, "bad value for --window: 4.5"},
      {{"--load-seconds", "0.1"}, "bad value for --load-seconds: 0.1"},
      {{"--idle-seconds", "abc"}, "bad value for --idle-seconds: abc"},
      {{"--rounds", "0"}, "bad value for --rounds: 0"},
      {{"--ping", "1s"}, "bad value for --ping: 1s"},
  };
  for (const Case& c : cases) {
    Options o;
    EXPECT_FALSE(parse(c.words, &o, &error)) << c.expected;
    EXPECT_EQ(error, c.expected);
  }
  Options o;
  ASSERT_TRUE(
      parse({"--warmup-seconds", "0", "--ping", "5", "--rounds", "3", "--keep"}, &o, &error))
      << error;
  EXPECT_EQ(o.warmupSeconds, 0);
  EXPECT_EQ(o.ping, 5);
  EXPECT_EQ(o.rounds, 3);
  EXPECT_TRUE(o.keep);
}

Rows seedRows() {
  Rows rows;
  for (int i = 1; i <= velbench::kRows; ++i)
    rows.push_back({std::to_string(i), "row number " + std::to_string(i), std::to_string(i)});
  return rows;
}

TEST(BenchAnswer, OnlyTheTenSeedRowsInOrderAreRight) {
  EXPECT_TRUE(velbench::isSeedRows(seedRows()));

  Rows missing = seedRows();
  missing.pop_back();
  EXPECT_FALSE(velbench::isSeedRows(missing));
  Rows extra = seedRows();
  extra.push_back({"11", "row number 11", "13.75"});
  EXPECT_FALSE(velbench::isSeedRows(extra));
  Rows swapped = seedRows();
  std::swap(swapped[3], swapped[4]);
  EXPECT_FALSE(velbench::isSeedRows(swapped));
  Rows shortRow = seedRows();
  shortRow[9].pop_back();
  EXPECT_FALSE(velbench::isSeedRows(shortRow));
  Rows emptyValue = seedRows();
  emptyValue[0][2] = "";
  EXPECT_FALSE(velbench::isSeedRows(emptyValue));
  Rows otherName = seedRows();
  otherName[5][1] = "row number 5";
  EXPECT_FALSE(velbench::isSeedRows(otherName));
  EXPECT_FALSE(velbench::isSeedRows({}));
}

}  // namespace
