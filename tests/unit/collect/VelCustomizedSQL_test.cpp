// The customized SQL file: its grammar on hand-written and hostile input, and its reload when the
// file changes (rewritten in place or replaced), with last-run fields kept across reloads.
#include "VelCustomizedSQL.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "TestSupport.h"

namespace {

TEST(CustomizedSQLFile, GrammarOnGoodAndBadInput) {
  setenv("CDP_COLLECTION_TIMEOUT", "60", 1);
  auto sql = [](const std::string& id, const std::string& rest) {
    return "[SELECTSQL]\nSQL_ID=" + id + "\nSQL_TEXT=" + rest + "\n";
  };
  struct Case {
    const char* label;
    std::string text;
    std::vector<std::string> statements;  // "id|text|time-out"
    int problems;
  };
  const Case cases[] = {
      {"three-line text",
       sql("A", "select a\n  from t\n\twhere x = 1"),
       {"A|select a\nfrom t\nwhere x = 1\n|60"},
       0},
      {"time-outs 5 and 1800 ignored, 6 and 1799 taken, a word refused",
       sql("A", "a\nSQL_TIMEOUT=5") + sql("B", "b\nSQL_TIMEOUT=6") +
           sql("C", "c\nSQL_TIMEOUT=1799") + sql("D", "d\nSQL_TIMEOUT=1800") +
           sql("E", "e\nSQL_TIMEOUT=12s"),
       {"A|a\n|60", "B|b\n|6", "C|c\n|1799", "D|d\n|60", "E|e\n|60"},
       3},
      {"same id twice: the later text", sql("A", "a") + sql("A", "b"), {"A|b\n|60"}, 1},
      {"no id, no text", "[SELECTSQL]\nSQL_TEXT=a\n[SELECTSQL]\nSQL_ID=B\n", {}, 2},
      {"junk, other sections, unknown keys, indented line not after the text",
       "junk\n[OTHER]\nSQL_ID=X\nSQL_TEXT=x\n[ SELECTSQL ]\n  stray\nSQL_ID = A\nNOPE=1\n"
       "SQL_TEXT = a\r\n\n  b\n",
       {"A|a\nb\n|60"},
       5},
      {"4097 bytes with the line feed: too long; 4096 bytes: taken",
       sql("A", std::string(4087, 'x')) + sql("B", std::string(4086, 'y')),
       {"B|" + std::string(4086, 'y') + "\n|60"},
       2},
      {"bytes that are not text",
       sql("A", std::string("a\0b", 3)) + "\xff\xfe=\x01\n",
       {"A|a\n|60"},
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    Vel_CustomizedSQLList list("x");
    list.parse(c.text.data(), c.text.size(), 1000);
    std::vector<std::string> got;
    for (auto it = list.getStatements().begin(); it != list.getStatements().end(); ++it)
      got.push_back(std::string((*it)->m_sqlId.c_str()) + "|" + (*it)->m_sqlText.c_str() + "|" +
                    std::to_string((*it)->m_timeout));
    EXPECT_EQ(got, c.statements);
    EXPECT_EQ(list.getProblems(), c.problems);
  }
}

TEST(CustomizedSQLFile, ReloadsWhenChangedAndKeepsLastRunFieldsOfIdsThatStay) {
  veltest::TempDir dir;
  std::string path = dir.file("velcussql.properties");
  Vel_CustomizedSQLList list(path.c_str());
  EXPECT_FALSE(list.load(0));  // no file yet
  ASSERT_TRUE(veltest::writeFile(path,
                                 "[SELECTSQL]\nSQL_ID=A\nSQL_TEXT=a\n"
                                 "[SELECTSQL]\nSQL_ID=B\nSQL_TEXT=b\n"));
  ASSERT_TRUE(list.load(0));
  list.getSQLRecord("A")->m_lastErrorCode = 942;
  // Unchanged: not read again (a change made in memory stays).
  list.getSQLRecord("B")->m_sqlText.assign("kept");
  ASSERT_TRUE(list.load(0));
  EXPECT_STREQ(list.getSQLRecord("B")->m_sqlText.c_str(), "kept");
  // Rewritten in place: A keeps its last outcome, B is gone.
  ASSERT_TRUE(veltest::writeFile(path, "[SELECTSQL]\nSQL_ID=A\nSQL_TEXT=a2\n"));
  ASSERT_TRUE(list.load(0));
  EXPECT_STREQ(list.getSQLRecord("A")->m_sqlText.c_str(), "a2\n");
  EXPECT_EQ(list.getSQLRecord("A")->m_lastErrorCode, 942);
  EXPECT_EQ(list.getSQLRecord("B"), nullptr);
  // Replaced by another file (renamed over it): read again.
  ASSERT_TRUE(veltest::writeFile(dir.file("next"), "[SELECTSQL]\nSQL_ID=D\nSQL_TEXT=d\n"));
  ASSERT_EQ(rename(dir.file("next").c_str(), path.c_str()), 0);
  ASSERT_TRUE(list.load(0));
  EXPECT_TRUE(list.getCount() == 1u && list.getSQLRecord("D") != nullptr);
  // Removed: the list stays as it was.
  unlink(path.c_str());
  EXPECT_FALSE(list.load(0) || list.getCount() != 1u);
  // With an interval the file is checked at most once per interval.
  Vel_CustomizedSQLList timed(path.c_str());
  EXPECT_FALSE(timed.load(60));
  ASSERT_TRUE(veltest::writeFile(path, "[SELECTSQL]\nSQL_ID=E\nSQL_TEXT=e\n"));
  EXPECT_TRUE(timed.load(60) && timed.getCount() == 0u);
}

}  // namespace
