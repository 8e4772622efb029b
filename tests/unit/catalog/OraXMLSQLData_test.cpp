// The catalog model: version lookup, cluster texts, duplicates, privilege tables and merging.
#include "OraXMLSQLData.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CatalogDescribe.h"

namespace {

OraXMLSQLInfo entryWithVersions(const char* id, std::initializer_list<int> versions) {
  OraXMLSQLInfo info(id);
  for (int v : versions) {
    std::string text = "select " + std::to_string(v);
    EXPECT_TRUE(info.addSQL(OraXMLSQL(v, text.c_str())));
  }
  return info;
}

std::string str(const char* s) { return s ? s : "(null)"; }

TEST(OraXMLSQLInfoTest, FindsExactVersionElseNearestLowerElseNone) {
  // Listed out of order on purpose: the lookup must not depend on file order.
  OraXMLSQLInfo info = entryWithVersions("Id", {10, 11, 9});
  EXPECT_EQ(str(info.getSQL(10, false)), "select 10");
  EXPECT_EQ(str(info.getSQL(12, false)), "select 11");
  EXPECT_EQ(str(info.getSQL(1000, false)), "select 11");
  EXPECT_EQ(str(info.getSQL(9, false)), "select 9");
  EXPECT_EQ(info.getSQL(8, false), nullptr);
  EXPECT_EQ(info.findSQL(8), nullptr);
  // 101 with 9, 10, 11 listed: the highest below it.
  ASSERT_NE(info.findSQL(101), nullptr);
  EXPECT_EQ(info.findSQL(101)->getDBVersion(), 11);
}

TEST(OraXMLSQLInfoTest, ClusterTextRules) {
  OraXMLSQLInfo info("Id");
  ASSERT_TRUE(info.addSQL(OraXMLSQL(9, "plain 9", "cluster 9")));
  ASSERT_TRUE(info.addSQL(OraXMLSQL(10, nullptr, "cluster 10")));
  ASSERT_TRUE(info.addSQL(OraXMLSQL(11, "plain 11")));
  EXPECT_FALSE(info.addSQL(OraXMLSQL(0, "no version")));
  // Only a cluster text: a plain lookup finds nothing and does not fall back to version 9.
  EXPECT_EQ(info.getSQL(10, false), nullptr);
  EXPECT_EQ(str(info.getSQL(10, true)), "cluster 10");
  // Only a plain text: a cluster lookup gets the plain text.
  EXPECT_EQ(str(info.getSQL(11, true)), "plain 11");
  EXPECT_EQ(str(info.getSQL(9, true)), "cluster 9");
  EXPECT_EQ(str(info.getSQL(9, false)), "plain 9");
}

TEST(OraXMLSQLDBTypeTest, ParsesTypeAndRoleIgnoringCase) {
  struct Case {
    const char* value;
    const char* role;
    int type;
    int roleCode;
  } cases[] = {
      {"asm", "primary", 2, 1},
      {"RDB", nullptr, 1, 0},
      {"Dg", "", 3, 0},
      {"DG", "physical standby", 3, 2},
      {"DG", "LOGICAL STANDBY", 3, 3},
      {"dg", "Snapshot Standby", 3, 4},
      {"RDB", "standby", 1, 0},  // unknown role: any role
      {"rac", "PRIMARY", 0, 1},  // unknown type; the role is still read
      {"", "PRIMARY", 0, 0},     // no type: the role is not read
      {nullptr, "PRIMARY", 0, 0},
      {"RDB ", nullptr, 0, 0},  // no trimming
  };
  for (const Case& c : cases) {
    OraXMLSQLDBType t(c.value, c.role);
    EXPECT_EQ(t.getDatabaseType(), c.type) << str(c.value) << "/" << str(c.role);
    EXPECT_EQ(t.getRole(), c.roleCode) << str(c.value) << "/" << str(c.role);
  }
}

TEST(OraXMLSQLInfoTest, PrivilegeTablesFollowTypeRoleAndVersion) {
  OraXMLSQLInfo info("Id");
  OraXMLSQL v10(10, "x");
  v10.addBaseTable(OraXMLSQLTable("A", "GA"));
  v10.addBaseTable(OraXMLSQLTable("B", "GB"));
  OraXMLSQL v11(11, "y");
  v11.addBaseTable(OraXMLSQLTable("C", "GC"));
  ASSERT_TRUE(info.addSQL(v10));
  ASSERT_TRUE(info.addSQL(v11));
  info.addDatabaseType(OraXMLSQLDBType("RDB", nullptr));
  info.addDatabaseType(OraXMLSQLDBType("DG", "PHYSICAL STANDBY"));

  std::vector<OraXMLSQLTable> tables;
  info.getPrivilegeTables(10, OraXMLSQLDBType::TYPE_ASM, 0, tables);  // type not listed
  EXPECT_TRUE(tables.empty());
  info.getPrivilegeTables(10, OraXMLSQLDBType::TYPE_DG, OraXMLSQLDBType::ROLE_PRIMARY, tables);
  EXPECT_TRUE(tables.empty());
  info.getPrivilegeTables(9, OraXMLSQLDBType::TYPE_RDB, 0, tables);  // no version below 10
  EXPECT_TRUE(tables.empty());

  info.getPrivilegeTables(10, OraXMLSQLDBType::TYPE_RDB, OraXMLSQLDBType::ROLE_PRIMARY, tables);
  ASSERT_EQ(tables.size(), 2u);
  // Again, then the standby role for version 12 (uses version 11): accumulated, no duplicates.
  info.getPrivilegeTables(10, OraXMLSQLDBType::TYPE_RDB, 0, tables);
  info.getPrivilegeTables(12, OraXMLSQLDBType::TYPE_DG, OraXMLSQLDBType::ROLE_PHYSICAL_STANDBY,
                          tables);
  ASSERT_EQ(tables.size(), 3u);
  EXPECT_STREQ(tables[0].getQueryName(), "A");
  EXPECT_STREQ(tables[1].getQueryName(), "B");
  EXPECT_STREQ(tables[2].getQueryName(), "C");

  // A second entry naming an already collected table in other case adds nothing.
  OraXMLSQLInfo other("Other");
  OraXMLSQL o(1, "z");
  o.addBaseTable(OraXMLSQLTable("a", "ga"));
  o.addBaseTable(OraXMLSQLTable("D", "GD"));
  ASSERT_TRUE(other.addSQL(o));
  other.addDatabaseType(OraXMLSQLDBType("RDB", "PRIMARY"));
  other.getPrivilegeTables(10, OraXMLSQLDBType::TYPE_RDB, OraXMLSQLDBType::ROLE_PRIMARY, tables);
  ASSERT_EQ(tables.size(), 4u);
  EXPECT_STREQ(tables[3].getQueryName(), "D");
}

TEST(OraXMLSQLDataTest, UniqueIdsCaseSensitiveAndLookup) {
  OraXMLSQLData data;
  ASSERT_TRUE(data.addUnique(entryWithVersions("Info", {10})));
  ASSERT_TRUE(data.addUnique(entryWithVersions("INFO", {12})));
  EXPECT_EQ(data.getSQLInfo(nullptr), nullptr);
  EXPECT_EQ(data.getSQLInfo("info"), nullptr);

  int32_t maxRow = -7;
  EXPECT_EQ(data.getSQL(10, "Missing", maxRow, false), nullptr);
  EXPECT_EQ(maxRow, -7);  // untouched when the id is not found
  EXPECT_EQ(data.getSQL(10, nullptr, maxRow, false), nullptr);
  EXPECT_EQ(maxRow, -7);
  // Found id, no version at or below: null, yet the row limit is handed out.
  EXPECT_EQ(data.getSQL(9, "Info", maxRow, false), nullptr);
  EXPECT_EQ(maxRow, VEL_CATALOG_DEFAULT_MAXROWNUM);
  data.getSQLInfo("INFO")->setMaxRowNum(5);
  EXPECT_EQ(str(data.getSQL(20, "INFO", maxRow, true)), "select 12");
  EXPECT_EQ(maxRow, 5);
}

TEST(OraXMLSQLDataTest, CopyIsDeepAndIndependent) {
  OraXMLSQLData data;
  OraXMLSQLInfo info = entryWithVersions("Id", {10});
  info.addDatabaseType(OraXMLSQLDBType("ASM", nullptr));
  ASSERT_TRUE(data.addUnique(info));
  OraXMLSQLData copy = data;
  copy.getSQLInfo("Id")->setMaxRowNum(3);
  ASSERT_TRUE(copy.getSQLInfo("Id")->addSQL(OraXMLSQL(11, "copy only")));
  EXPECT_EQ(describe(data), "Id" + kDefaults + "2/0,\n10: select 10 | ");
  EXPECT_EQ(describe(copy),
            "Id rows=3 odi=0 every=0 type= timeout=0 inst=-1 db=2/0,\n10: select 10 | \n11: copy "
            "only | ");
  // The copy's text lives in its own buffer.
  EXPECT_NE(data.getEntries()[0].getSQLList()[0].getSQLText(),
            copy.getEntries()[0].getSQLList()[0].getSQLText());
}

class MergeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    OraXMLSQLInfo a("A");
    a.setInterval(60);
    a.setType("RDB");
    a.setTimeout(30);
    a.setMaxRowNum(200);
    a.setSimpleSQL(true);
    a.setODIVersion(4);
    a.setInstanceIDIndex(2);
    a.addDatabaseType(OraXMLSQLDBType("RDB", nullptr));
    OraXMLSQL s10(10, "shipped 10", "shipped cluster 10");
    s10.addBaseTable(OraXMLSQLTable("T1", "G1"));
    s10.addBaseTable(OraXMLSQLTable("T2", "G2"));
    ASSERT_TRUE(a.addSQL(s10));
    ASSERT_TRUE(a.addSQL(OraXMLSQL(11, "shipped 11")));
    ASSERT_TRUE(shipped.addUnique(a));
    ASSERT_TRUE(shipped.addUnique(entryWithVersions("B", {9})));
  }
  OraXMLSQLData shipped;
};

TEST_F(MergeTest, ExistingIdGetsNewVersionAndMergedSameVersion) {
  OraXMLSQLData custom;
  OraXMLSQLInfo a("A", 0);                          // row limit 0: the shipped one stays
  OraXMLSQL s10(10, nullptr, "custom cluster 10");  // only a cluster text
  ASSERT_TRUE(a.addSQL(s10));
  ASSERT_TRUE(a.addSQL(OraXMLSQL(12, "custom 12")));
  a.setSimpleSQL(false);
  a.setODIVersion(9);
  a.setInstanceIDIndex(7);
  ASSERT_TRUE(custom.addUnique(a));
  shipped.mergeFrom(custom);

  // The custom entry gave no base tables for 10: the shipped ones stay. Unset (zero/empty)
  // settings do not override; the registration settings never do.
  EXPECT_EQ(
      describe(*shipped.getSQLInfo("A")),
      "A rows=200 simple odi=4 every=60 type=RDB timeout=30 inst=2 db=1/0,\n"
      "10: shipped 10 | custom cluster 10 [T1 G1] [T2 G2]\n11: shipped 11 | \n12: custom 12 | ");
}

TEST_F(MergeTest, SettingsAndBaseTablesReplacedWhenGiven) {
  OraXMLSQLData custom;
  OraXMLSQLInfo a("A");  // no maxrownum given: the default overrides the shipped 200
  a.setInterval(5);
  a.setType("ASM");
  a.setTimeout(9);
  OraXMLSQL s10(10, "custom 10");
  s10.addBaseTable(OraXMLSQLTable("T9", "G9"));
  ASSERT_TRUE(a.addSQL(s10));
  a.addDatabaseType(OraXMLSQLDBType("DG", nullptr));
  ASSERT_TRUE(custom.addUnique(a));
  shipped.mergeFrom(custom);

  // Base tables are replaced as a whole; the database types stay the shipped ones.
  EXPECT_EQ(describe(*shipped.getSQLInfo("A")),
            "A rows=1000 simple odi=4 every=5 type=ASM timeout=9 inst=2 db=1/0,\n"
            "10: custom 10 | shipped cluster 10 [T9 G9]\n11: shipped 11 | ");
}

TEST_F(MergeTest, NewIdsAppendedInOrderAndIdsCompareExactly) {
  OraXMLSQLData custom;
  ASSERT_TRUE(custom.addUnique(entryWithVersions("Z", {1})));
  ASSERT_TRUE(custom.addUnique(entryWithVersions("a", {1})));  // not "A"
  ASSERT_TRUE(custom.addUnique(entryWithVersions("B", {10})));
  shipped.mergeFrom(custom);
  std::string ids;  // each id with its number of statements
  for (const OraXMLSQLInfo& e : shipped.getEntries())
    ids += std::string(e.getId()) + " " + std::to_string(e.getSQLList().size()) + ",";
  EXPECT_EQ(ids, "A 2,B 2,Z 1,a 1,");
}

TEST_F(MergeTest, MergingACatalogIntoItselfChangesNothing) {
  shipped.mergeFrom(shipped);
  ASSERT_EQ(shipped.size(), 2u);
  EXPECT_EQ(shipped.getSQLInfo("A")->getSQLList().size(), 2u);
}

}  // namespace
