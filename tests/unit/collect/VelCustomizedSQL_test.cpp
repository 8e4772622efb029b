// The customized SQL file: its grammar on hand-written and hostile input, and its reload when the
// file changes (rewritten in place or replaced), with last-run fields kept across reloads.
#include "VelCustomizedSQL.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "TestSupport.h"

namespace {

struct Parsed {
  std::vector<std::string> ids, texts;
  std::vector<int> timeouts;
  int problems;
};

Parsed parse(Vel_CustomizedSQLList& list, const std::string& text) {
  list.parse(text.data(), text.size(), 1000);
  Parsed p;
  for (auto it = list.getStatements().begin(); it != list.getStatements().end(); ++it) {
    p.ids.push_back((*it)->m_sqlId.c_str());
    p.texts.push_back((*it)->m_sqlText.c_str());
    p.timeouts.push_back((*it)->m_timeout);
  }
  p.problems = list.getProblems();
  return p;
}

TEST(CustomizedSQLFile, GrammarOnGoodAndBadInput) {
  setenv("CDP_COLLECTION_TIMEOUT", "60", 1);
  const std::string head = "[SELECTSQL]\nSQL_ID = A\n";
  struct Case {
    const char* label;
    std::string text;
    std::vector<std::string> ids, texts;
    std::vector<int> timeouts;
    int problems;
  };
  const Case cases[] = {
      {"three-line text",
       head + "SQL_TEXT = select a\n  from t\n\twhere x = 1\n",
       {"A"},
       {"select a\nfrom t\nwhere x = 1\n"},
       {60},
       0},
      {"time-outs 5 and 1800 ignored, 6 and 1799 taken",
       "[SELECTSQL]\nSQL_ID=A\nSQL_TEXT=a\nSQL_TIMEOUT=5\n[SELECTSQL]\nSQL_ID=B\nSQL_TEXT=b\n"
       "SQL_TIMEOUT=6\n[SELECTSQL]\nSQL_ID=C\nSQL_TEXT=c\nSQL_TIMEOUT=1799\n[SELECTSQL]\n"
       "SQL_ID=D\nSQL_TEXT=d\nSQL_TIMEOUT=1800\n",
       {"A", "B", "C", "D"},
       {"a\n", "b\n", "c\n", "d\n"},
       {60, 6, 1799, 60},
       2},
      {"time-out not a number", head + "SQL_TEXT=a\nSQL_TIMEOUT=12s\n", {"A"}, {"a\n"}, {60}, 1},
      {"same id twice: the later text",
       head + "SQL_TEXT=a\n" + head + "SQL_TEXT=b\n",
       {"A"},
       {"b\n"},
       {60},
       1},
      {"no id, no text", "[SELECTSQL]\nSQL_TEXT=a\n[SELECTSQL]\nSQL_ID=B\n", {}, {}, {}, 2},
      {"junk, other sections, unknown keys, indented line not after the text",
       "junk\n[OTHER]\nSQL_ID=X\nSQL_TEXT=x\n[ SELECTSQL ]\n  stray\nSQL_ID = A\nNOPE=1\n"
       "SQL_TEXT = a\r\n\n  b\n",
       {"A"},
       {"a\nb\n"},
       {60},
       5},
      {"a line over 4096 bytes",
       head + "SQL_TEXT=" + std::string(5u << 20, 'x') + "\n",
       {},
       {},
       {},
       2},
      {"bytes that are not text",
       head + std::string("SQL_TEXT=a\0b\n", 13) + "\xff\xfe=\x01\n",
       {"A"},
       {"a\n"},
       {60},
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    Vel_CustomizedSQLList list("x");
    Parsed p = parse(list, c.text);
    EXPECT_EQ(p.ids, c.ids);
    EXPECT_EQ(p.texts, c.texts);
    EXPECT_EQ(p.timeouts, c.timeouts);
    EXPECT_EQ(p.problems, c.problems);
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
  ASSERT_EQ(list.getCount(), 2u);
  list.getSQLRecord("A")->m_lastErrorCode = 942;
  list.getSQLRecord("A")->m_lastMessage.assign("ORA-00942");
  // Unchanged: not read again (a changed entry in memory stays).
  list.getSQLRecord("B")->m_sqlText.assign("kept");
  ASSERT_TRUE(list.load(0));
  EXPECT_STREQ(list.getSQLRecord("B")->m_sqlText.c_str(), "kept");
  // Rewritten in place: read again; A keeps its last outcome, B is gone, C is new.
  ASSERT_TRUE(veltest::writeFile(path,
                                 "[SELECTSQL]\nSQL_ID=A\nSQL_TEXT=a2\n"
                                 "[SELECTSQL]\nSQL_ID=C\nSQL_TEXT=c\n"));
  ASSERT_TRUE(list.load(0));
  ASSERT_EQ(list.getCount(), 2u);
  EXPECT_STREQ(list.getSQLRecord("A")->m_sqlText.c_str(), "a2\n");
  EXPECT_EQ(list.getSQLRecord("A")->m_lastErrorCode, 942);
  EXPECT_EQ(list.getSQLRecord("B"), nullptr);
  // Replaced by another file (rename over it): read again.
  std::string next = dir.file("next");
  ASSERT_TRUE(veltest::writeFile(next, "[SELECTSQL]\nSQL_ID=D\nSQL_TEXT=d\n"));
  ASSERT_EQ(rename(next.c_str(), path.c_str()), 0);
  ASSERT_TRUE(list.load(0));
  ASSERT_EQ(list.getCount(), 1u);
  EXPECT_NE(list.getSQLRecord("D"), nullptr);
  // Removed: the list stays as it was; a directory in its place is refused.
  unlink(path.c_str());
  EXPECT_FALSE(list.load(0));
  EXPECT_EQ(list.getCount(), 1u);
  Vel_CustomizedSQLList folder(dir.path().c_str());
  EXPECT_FALSE(folder.load(0));
  // With an interval the file is checked at most once per interval.
  Vel_CustomizedSQLList timed(path.c_str());
  EXPECT_FALSE(timed.load(60));
  ASSERT_TRUE(veltest::writeFile(path, "[SELECTSQL]\nSQL_ID=E\nSQL_TEXT=e\n"));
  EXPECT_TRUE(timed.load(60));
  EXPECT_EQ(timed.getCount(), 0u);
}

}  // namespace
