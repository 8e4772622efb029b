// Filter translation: the worked examples byte for byte, the grammar's edge cases and bad input.
#include "Ora_FilterList.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "cp_api.h"

namespace {

// Builds the request items of a data request that asks for some attributes and carries a filter.
class Items {
 public:
  Items(std::vector<std::string> columns, const char* filter) {
    for (auto& c : columns) add(c.c_str(), "x", "EQ", "AND");
    if (filter) add("_FILTER", filter, "EQ", "AND");
  }
  ~Items() {
    while (m_head) {
      RequestInfo* next = m_head->next;
      free(m_head->name);
      free(m_head->value);
      free(m_head->op);
      free(m_head->logicalOp);
      delete m_head;
      m_head = next;
    }
  }
  void add(const char* name, const char* value, const char* op, const char* logicalOp) {
    RequestInfo* info = new RequestInfo{};
    info->name = name ? strdup(name) : nullptr;
    info->value = value ? strdup(value) : nullptr;
    info->op = op ? strdup(op) : nullptr;
    info->logicalOp = logicalOp ? strdup(logicalOp) : nullptr;
    if (m_tail)
      m_tail->next = info;
    else
      m_head = info;
    m_tail = info;
  }
  const RequestInfo* head() const { return m_head; }

 private:
  RequestInfo* m_head = nullptr;
  RequestInfo* m_tail = nullptr;
};

struct Translated {
  std::string sql;
  std::vector<std::string> binds;
};

Translated translate(const char* filter,
                     std::vector<std::string> columns = {"ID", "NAME", "STATUS"}) {
  Items items(columns, filter);
  Ora_SimpleFilterCommand command("Q", 50, items.head());
  Translated t;
  t.sql = command.getSQL();
  auto& binds = const_cast<Ora_FilterList&>(command.getFilterList()).getBindList();
  for (auto it = binds.begin(); it != binds.end(); ++it) t.binds.push_back((*it)->m_value.c_str());
  return t;
}

const char kLimit[] = "AND (ROWNUM<= :maxrownum)";

TEST(FilterTranslation, WorkedExamples) {
  const std::string limited = "select * from (Q) where ((";
  const struct {
    const char* filter;
    std::string sql;
    std::vector<std::string> binds;
  } cases[] = {
      {nullptr, "Q", {}},
      {"((STATUS EQ 'OPEN'))", limited + "((STATUS = :BindValue0))) )" + kLimit, {"OPEN"}},
      {"((ID GT 5)(NAME NE 'X'))",
       limited + "((ID > :BindValue0) AND (NAME != :BindValue1))) )" + kLimit,
       {"5", "X"}},
      {"((ID EQ 1))((ID EQ 2))",
       limited + "((ID = :BindValue0))\n OR ((ID = :BindValue1))) )" + kLimit,
       {"1", "2"}},
      {"((SCAN(NAME) EQ 'abc'))", limited + "((NAME LIKE :BindValue0))) )" + kLimit, {"%abc%"}},
      {"((OTHER EQ 1)(ID EQ 2))", limited + "((1=1) AND (ID = :BindValue0))) )", {"2"}},
  };
  for (const auto& c : cases) {
    Translated t = translate(c.filter);
    EXPECT_EQ(t.sql, c.sql);
    EXPECT_EQ(t.binds, c.binds) << t.sql;
  }
}

TEST(FilterTranslation, OperatorsAndValues) {
  Translated ops = translate("((ID ge 1)(ID le 2)(ID lt 3)(ID Ne 4))");
  EXPECT_NE(ops.sql.find("(ID >= :BindValue0) AND (ID <= :BindValue1) AND (ID < :BindValue2) AND "
                         "(ID != :BindValue3)"),
            std::string::npos);
  // A quoted value keeps its blank; an unquoted one keeps everything after the second blank; an
  // unclosed quote keeps everything after it.
  EXPECT_EQ(translate("((NAME EQ 'A B'))").binds, (std::vector<std::string>{"A B"}));
  EXPECT_EQ(translate("((NAME EQ A B))").binds, (std::vector<std::string>{"A B"}));
  EXPECT_EQ(translate("((NAME EQ 'open end))").binds, (std::vector<std::string>{"open end"}));
  // SCAN with NE, SUBSTR with EQ only.
  EXPECT_NE(translate("((SCAN(NAME) NE 'x'))").sql.find("(NAME NOT LIKE :BindValue0)"),
            std::string::npos);
  EXPECT_EQ(translate("((SUBSTR(NAME,1,2) EQ 'ab'))").binds, (std::vector<std::string>{"%ab%"}));
  Translated substrNe = translate("((SUBSTR(NAME,1,2) NE 'ab'))");
  EXPECT_TRUE(substrNe.binds.empty());
}

TEST(FilterTranslation, UntranslatableItemsDropTheRowLimit) {
  Translated unsupported = translate("((ID XX 1))");
  EXPECT_TRUE(unsupported.binds.empty());
  EXPECT_EQ(unsupported.sql, "Q") << "nothing translated: the catalog text runs unchanged";
  Translated function = translate("((UPPER(NAME) EQ 'A')(ID EQ 1))");
  EXPECT_EQ(function.sql.find(kLimit), std::string::npos);
  EXPECT_NE(function.sql.find("((1=1) AND (ID = :BindValue0))"), std::string::npos);
  Translated emptyScan = translate("((SCAN(NAME) EQ ''))");
  EXPECT_TRUE(emptyScan.binds.empty());
}

TEST(FilterTranslation, ReservedItemNamesAreNeverColumns) {
  Items items({"ID"}, "((timestamp EQ 1)(ORIGINNODE EQ 2)(ID EQ 3))");
  items.add("TimeStamp", "1", "EQ", "AND");
  items.add("originnode", "n", "EQ", "AND");
  Ora_FilterList list;
  ASSERT_TRUE(list.parseRequest(items.head()));
  EXPECT_FALSE(list.existColumn("TimeStamp"));
  EXPECT_FALSE(list.existColumn("originnode"));
  EXPECT_TRUE(list.existColumn("ID"));
  EXPECT_EQ(list.getTotalFilters(), 3);
  EXPECT_EQ(list.getParsedFilters(), 1);
}

TEST(FilterTranslation, MalformedFiltersNeverBreakTheStatement) {
  // Unbalanced parentheses end the scan; nothing is translated.
  EXPECT_EQ(translate("((ID EQ 1)").sql, "Q");
  EXPECT_EQ(translate("no parentheses at all").sql, "Q");
  EXPECT_EQ(translate("").sql, "Q");
  // A group whose items cannot be split stays always true instead of "()".
  Translated junk = translate("((JUNK))((ID EQ 1))");
  EXPECT_EQ(junk.sql.find("()"), std::string::npos) << junk.sql;
  EXPECT_NE(junk.sql.find("(ID = :BindValue0)"), std::string::npos);
  // Huge values are cut to the item and value buffers, never copied unbounded; a group longer
  // than its buffer loses its closing parenthesis and stays always true.
  std::string longValue = "((NAME EQ '" + std::string(2000, 'v') + "'))";
  Translated cut = translate(longValue.c_str());
  ASSERT_EQ(cut.binds.size(), 1u);
  EXPECT_LT(cut.binds[0].size(), 256u);
  std::string huge = "((NAME EQ '" + std::string(20000, 'v') + "'))";
  Translated big = translate(huge.c_str());
  EXPECT_TRUE(big.binds.empty());
  EXPECT_EQ(big.sql, "Q");
  std::string deep(5000, '(');
  EXPECT_EQ(translate(deep.c_str()).sql, "Q");
}

TEST(FilterTranslation, PairedStringCopiesTheBalancedContent) {
  char out[16];
  const char* text = "x(a(b)c)d";
  const char* close = Ora_FilterList::getPairedString(text, out, sizeof out);
  ASSERT_NE(close, nullptr);
  EXPECT_EQ(*close, ')');
  EXPECT_STREQ(out, "a(b)c");
  EXPECT_EQ(Ora_FilterList::getPairedString("(open", out, sizeof out), nullptr);
  char small[4];
  ASSERT_NE(Ora_FilterList::getPairedString("(abcdef)", small, sizeof small), nullptr);
  EXPECT_STREQ(small, "abc");
}

TEST(FilterTranslation, SimpleCommandDefaultsTheRowLimit) {
  Ora_SimpleCommand command("Q", 0);
  EXPECT_EQ(command.getMaxRowNum(), 1000);
  EXPECT_STREQ(command.getSQL(), "select * from (Q) where ROWNUM<= :maxrownum");
}

}  // namespace
