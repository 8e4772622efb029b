// Reading catalog files: both formats, depth and placement rules, duplicates, the row-limit
// default, bad files of every kind, and a large generated catalog.
#include "OraXMLParserHandler.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "MUT1.h"
#include "TestSupport.h"
#include "TraceCapture.h"
#include "VelXMLFile.h"

namespace {

std::string str(const char* s) { return s ? s : "(null)"; }

class CatalogParseTest : public ::testing::Test {
 protected:
  // Writes text to a file of the temporary folder and parses it into m_data.
  bool parse(const std::string& text, const char* name = "velsql.xml") {
    m_path = m_dir.file(name);
    EXPECT_TRUE(veltest::writeFile(m_path, text));
    return OraXMLParserHandler::parseXML(m_path.c_str(), m_data);
  }
  std::string trace() { return m_trace.text(); }
  bool traceLineHas(const std::string& a, const std::string& b) { return m_trace.lineHas(a, b); }

  veltest::TempDir m_dir;
  std::string m_path;
  OraXMLSQLData m_data;
  veltest::TraceCapture m_trace;
};

TEST_F(CatalogParseTest, NewFormatWithAllSettings) {
  ASSERT_TRUE(parse(R"(<?xml version="1.0" encoding="UTF-8"?>
<SQLXML>
  <SQLInfo id="DatabaseInformation" maxrownum="10" simplesql="TRUE" odiversion="3" interval="60"
           type="RDB" timeout="15" InstanceIDIndex="2">
    <SQL dbversion="10">
      <SQLText>select a &amp; b
  from dual where x &lt; 1</SQLText>
      <ClusterText>select <![CDATA[<c>]]> from gv$x</ClusterText>
      <BaseTable queryname="v$instance" grantname="V_$INSTANCE"/>
      <BaseTable queryname="V$INSTANCE" grantname="v_$instance"/>
      <BaseTable queryname="v$database"/>
    </SQL>
    <DatabaseType value="RDB"/>
    <DatabaseType value="dg" role="Physical Standby"/>
    <DatabaseType value="rac" role="PRIMARY"/>
  </SQLInfo>
  <sqlinfo ID="Plain"><sql DBVERSION="9"><sqltext>x</sqltext></sql></sqlinfo>
</SQLXML>
)"));
  ASSERT_EQ(m_data.size(), 2u);
  const OraXMLSQLInfo* info = m_data.getSQLInfo("DatabaseInformation");
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info->getMaxRowNum(), 10);
  EXPECT_TRUE(info->isSimpleSQL());
  EXPECT_EQ(info->getODIVersion(), 3);
  EXPECT_EQ(info->getInterval(), 60);
  EXPECT_STREQ(info->getType(), "RDB");
  EXPECT_EQ(info->getTimeout(), 15);
  EXPECT_EQ(info->getInstanceIDIndex(), 2);
  ASSERT_EQ(info->getSQLList().size(), 1u);
  const OraXMLSQL& sql = info->getSQLList()[0];
  // Entities decoded, whitespace and line breaks kept as they are.
  EXPECT_STREQ(sql.getSQLText(), "select a & b\n  from dual where x < 1");
  EXPECT_STREQ(sql.getClusterSQLText(), "select <c> from gv$x");
  ASSERT_EQ(sql.getBaseTables().size(), 1u);
  EXPECT_STREQ(sql.getBaseTables()[0].getGrantName(), "V_$INSTANCE");
  ASSERT_EQ(info->getDatabaseTypes().size(), 2u);
  EXPECT_EQ(info->getDatabaseTypes()[1].getDatabaseType(), OraXMLSQLDBType::TYPE_DG);
  EXPECT_EQ(info->getDatabaseTypes()[1].getRole(), OraXMLSQLDBType::ROLE_PHYSICAL_STANDBY);

  // Element and attribute names compare ignoring case; defaults apply.
  const OraXMLSQLInfo* plain = m_data.getSQLInfo("Plain");
  ASSERT_NE(plain, nullptr);
  EXPECT_FALSE(plain->isSimpleSQL());
  EXPECT_EQ(plain->getInstanceIDIndex(), -1);
  EXPECT_EQ(plain->getMaxRowNum(), 1000);
  EXPECT_STREQ(plain->getType(), "");
  EXPECT_EQ(str(plain->getSQL(9, false)), "x");
}

TEST_F(CatalogParseTest, OldFormatAttributesAndEmptySQLTextOverride) {
  ASSERT_TRUE(parse(R"(<r>
  <SQLInfo id="Old"><SQL dbversion="9" sqltext="old plain" clustersqlText="old cluster"/></SQLInfo>
  <SQLInfo id="Blanked">
    <SQL dbversion="9" sqltext="old plain" clustersqltext="old cluster"><SQLText></SQLText></SQL>
    <SQL dbversion="10" sqltext="gone"><SQLText/></SQL>
    <SQL dbversion="11" sqltext="kept"><ClusterText>new cluster</ClusterText></SQL>
  </SQLInfo>
</r>)"));
  const OraXMLSQLInfo* old = m_data.getSQLInfo("Old");
  ASSERT_NE(old, nullptr);
  EXPECT_EQ(str(old->getSQL(9, false)), "old plain");
  EXPECT_EQ(str(old->getSQL(9, true)), "old cluster");

  const OraXMLSQLInfo* b = m_data.getSQLInfo("Blanked");
  ASSERT_NE(b, nullptr);
  // Version 9: the empty SQLText blanks the plain text; the cluster text stays.
  EXPECT_EQ(b->getSQL(9, false), nullptr);
  EXPECT_EQ(str(b->getSQL(9, true)), "old cluster");
  // Version 10 lost its only text and was dropped as invalid; 11 keeps its attribute text.
  ASSERT_EQ(b->getSQLList().size(), 2u);
  EXPECT_EQ(b->getSQLList()[1].getDBVersion(), 11);
  EXPECT_EQ(str(b->getSQL(11, false)), "kept");
  EXPECT_EQ(str(b->getSQL(11, true)), "new cluster");
  EXPECT_TRUE(traceLineHas("The OraXMLSQL state is invalid", ""));
}

TEST_F(CatalogParseTest, LaterTextElementReplacesEarlierOne) {
  ASSERT_TRUE(parse(R"(<r><SQLInfo id="A"><SQL dbversion="9">
      <SQLText>first</SQLText><SQLText>second</SQLText>
      <ClusterText>c1</ClusterText><ClusterText>c2</ClusterText></SQL></SQLInfo></r>)"));
  EXPECT_EQ(str(m_data.getSQLInfo("A")->getSQL(9, false)), "second");
  EXPECT_EQ(str(m_data.getSQLInfo("A")->getSQL(9, true)), "c2");
}

TEST_F(CatalogParseTest, DuplicateIdsAndVersionsFirstWins) {
  ASSERT_TRUE(parse(R"(<r>
  <SQLInfo id="Dup"><SQL dbversion="10"><SQLText>first</SQLText></SQL>
                    <SQL dbversion="10"><SQLText>second</SQLText></SQL></SQLInfo>
  <SQLInfo id="Dup"><SQL dbversion="11"><SQLText>other entry</SQLText></SQL></SQLInfo>
  <SQLInfo id="dup"><SQL dbversion="11"><SQLText>lower case</SQLText></SQL></SQLInfo>
</r>)"));
  ASSERT_EQ(m_data.size(), 2u);
  const OraXMLSQLInfo* dup = m_data.getSQLInfo("Dup");
  ASSERT_EQ(dup->getSQLList().size(), 1u);
  EXPECT_EQ(str(dup->getSQL(11, false)), "first");
  EXPECT_EQ(str(m_data.getSQLInfo("dup")->getSQL(11, false)), "lower case");
  EXPECT_TRUE(traceLineHas("The Dup SQLInfo exist!", ""));
  EXPECT_TRUE(traceLineHas("There is duplicate DB Version 10 for Dup SQLInfo", ""));
}

TEST_F(CatalogParseTest, EntriesWithoutIdOrVersionAreSkippedWithTheirChildren) {
  ASSERT_TRUE(parse(R"(<r>
  <SQLInfo><SQL dbversion="9"><SQLText>orphan</SQLText></SQL></SQLInfo>
  <SQLInfo id="NoVersion">
    <SQL><SQLText>no version</SQLText><BaseTable queryname="q" grantname="g"/></SQL>
    <SQL dbversion="abc"><SQLText>junk version</SQLText></SQL>
    <SQL dbversion="12abc"><SQLText>twelve</SQLText></SQL>
  </SQLInfo>
  <SQLInfo id="" maxrownum="x"><SQL dbversion="1"><SQLText>empty id</SQLText></SQL></SQLInfo>
</r>)"));
  ASSERT_EQ(m_data.size(), 2u);
  const OraXMLSQLInfo* nv = m_data.getSQLInfo("NoVersion");
  ASSERT_EQ(nv->getSQLList().size(), 1u);
  EXPECT_EQ(nv->getSQLList()[0].getDBVersion(), 12);
  EXPECT_TRUE(nv->getSQLList()[0].getBaseTables().empty());
  // An empty id is an ordinary identifier; a junk row limit reads as 0.
  ASSERT_NE(m_data.getSQLInfo(""), nullptr);
  EXPECT_EQ(m_data.getSQLInfo("")->getMaxRowNum(), 0);
}

TEST_F(CatalogParseTest, ElementsOutOfPlaceOrTooDeepAreIgnored) {
  ASSERT_TRUE(parse(R"(<r>
  <SQL dbversion="1"><SQLText>SQL at depth 2</SQLText></SQL>
  <Group><SQLInfo id="Deep3"><SQL dbversion="1"><SQLText>x</SQLText></SQL></SQLInfo></Group>
  <SQLInfo id="A">
    <DatabaseType value="ASM"/>
    <SQLText>text at depth 3</SQLText>
    <BaseTable queryname="depth3" grantname="g"/>
    <Wrapper><SQL dbversion="5"><SQLText>depth 4</SQLText></SQL></Wrapper>
    <SQL dbversion="9">
      <SQLText>keep<b>not this</b> and this</SQLText>
      <Other><BaseTable queryname="depth5" grantname="g"/><SQLText>depth 5</SQLText></Other>
      <DatabaseType value="RDB"/>
    </SQL>
    <SQL dbversion="10"><SQLText><![CDATA[cdata]]></SQLText><x><y><z><w/></z></y></x></SQL>
  </SQLInfo>
</r>)"));
  ASSERT_EQ(m_data.size(), 1u);
  const OraXMLSQLInfo* a = m_data.getSQLInfo("A");
  ASSERT_NE(a, nullptr);
  ASSERT_EQ(a->getSQLList().size(), 2u);
  EXPECT_STREQ(a->getSQLList()[0].getSQLText(), "keep and this");
  EXPECT_TRUE(a->getSQLList()[0].getBaseTables().empty());
  EXPECT_STREQ(a->getSQLList()[1].getSQLText(), "cdata");
  ASSERT_EQ(a->getDatabaseTypes().size(), 1u);
  EXPECT_EQ(a->getDatabaseTypes()[0].getDatabaseType(), OraXMLSQLDBType::TYPE_ASM);
}

TEST_F(CatalogParseTest, TextSpanningReadBlocksIsJoined) {
  // The text crosses several 4096-byte blocks and arrives in many pieces.
  std::string text;
  for (int i = 0; i < 3000; ++i) text += "line " + std::to_string(i) + " &amp;\n";
  std::string expected;
  for (int i = 0; i < 3000; ++i) expected += "line " + std::to_string(i) + " &\n";
  ASSERT_TRUE(parse("<r><SQLInfo id=\"Big\"><SQL dbversion=\"1\"><SQLText>" + text +
                    "</SQLText></SQL></SQLInfo></r>"));
  ASSERT_NE(m_data.getSQLInfo("Big"), nullptr);
  EXPECT_EQ(str(m_data.getSQLInfo("Big")->getSQL(1, false)), expected);
}

TEST(VelAttrToIntTest, ReadsLeadingNumberLikeAtoiAndClamps) {
  EXPECT_EQ(velAttrToInt(nullptr), 0);
  EXPECT_EQ(velAttrToInt("abc"), 0);
  EXPECT_EQ(velAttrToInt("  -3x"), -3);
  EXPECT_EQ(velAttrToInt("+12abc"), 12);
  EXPECT_EQ(velAttrToInt("99999999999999"), 2147483647);
  EXPECT_EQ(velAttrToInt("-99999999999999"), -2147483647 - 1);
}

TEST_F(CatalogParseTest, DefaultRowLimitFromEnvironment) {
  const char* xml = R"(<r><SQLInfo id="A"><SQL dbversion="1"><SQLText>x</SQLText></SQL></SQLInfo>
    <SQLInfo id="B" maxrownum="7"><SQL dbversion="1"><SQLText>x</SQLText></SQL></SQLInfo></r>)";
  for (const char* value : {"50", "", static_cast<const char*>(nullptr)}) {
    veltest::ScopedEnv env("VEL_DEFAULT_MAXROWNUM", value);
    m_data = OraXMLSQLData();
    ASSERT_TRUE(parse(xml));
    EXPECT_EQ(m_data.getSQLInfo("A")->getMaxRowNum(), value && *value ? 50 : 1000);
    EXPECT_EQ(m_data.getSQLInfo("B")->getMaxRowNum(), 7);
  }
}

TEST_F(CatalogParseTest, BadFilesFailOrYieldWhatWasComplete) {
  // Missing file, empty name, a folder.
  EXPECT_FALSE(OraXMLParserHandler::parseXML(nullptr, m_data));
  EXPECT_FALSE(OraXMLParserHandler::parseXML("", m_data));
  std::string missing = m_dir.file("missing.xml");
  EXPECT_FALSE(OraXMLParserHandler::parseXML(missing.c_str(), m_data));
  EXPECT_TRUE(traceLineHas("Can not open file", missing));
  EXPECT_FALSE(OraXMLParserHandler::parseXML(m_dir.path().c_str(), m_data));
  EXPECT_TRUE(traceLineHas("Can not read file", m_dir.path()));

  // Not XML.
  EXPECT_FALSE(parse("this is not xml at all\n", "text.xml"));
  EXPECT_TRUE(traceLineHas("XML parsing error at file", m_path));
  // Malformed after a complete entry: the entry stays, the result is false.
  EXPECT_FALSE(parse(R"(<r><SQLInfo id="Good"><SQL dbversion="1"><SQLText>g</SQLText></SQL>
    </SQLInfo><SQLInfo id="Bad"><SQL dbversion="1"></SQLInfo></r>)",
                     "broken.xml"));
  EXPECT_NE(m_data.getSQLInfo("Good"), nullptr);
  EXPECT_EQ(m_data.getSQLInfo("Bad"), nullptr);
  EXPECT_TRUE(traceLineHas("XML parsing error at file", m_path));

  // Empty and truncated files are not parse errors (the last block is never flagged), but
  // nothing unfinished is taken and the trace says why.
  EXPECT_TRUE(parse("", "empty.xml"));
  EXPECT_TRUE(traceLineHas(m_path, "no element"));
  size_t before = m_data.size();
  EXPECT_TRUE(parse(R"(<r><SQLInfo id="Done"><SQL dbversion="1"><SQLText>d</SQLText></SQL>
    </SQLInfo><SQLInfo id="Cut"><SQL dbversion="1"><SQLText>sel)",
                    "truncated.xml"));
  EXPECT_EQ(m_data.size(), before + 1);
  EXPECT_NE(m_data.getSQLInfo("Done"), nullptr);
  EXPECT_EQ(m_data.getSQLInfo("Cut"), nullptr);
  EXPECT_TRUE(traceLineHas(m_path, "ends inside an open element"));
}

TEST_F(CatalogParseTest, DeepNestingAndUnknownElementsDoNotHurt) {
  std::string deep = "<r><SQLInfo id=\"A\"><SQL dbversion=\"1\"><SQLText>a</SQLText>";
  const int kDepth = 100000;
  for (int i = 0; i < kDepth; ++i) deep += "<n>";
  deep += "<SQLText>deep</SQLText>";
  for (int i = 0; i < kDepth; ++i) deep += "</n>";
  for (int i = 0; i < 20000; ++i) deep += "<unknown attr=\"1\">t</unknown>";
  deep +=
      "</SQL></SQLInfo><SQLInfo id=\"B\"><SQL dbversion=\"2\"><SQLText>b</SQLText></SQL>"
      "</SQLInfo></r>";
  ASSERT_TRUE(parse(deep));
  ASSERT_EQ(m_data.size(), 2u);
  EXPECT_EQ(str(m_data.getSQLInfo("A")->getSQL(1, false)), "a");
  EXPECT_EQ(str(m_data.getSQLInfo("B")->getSQL(2, false)), "b");
}

// Builds a catalog of at least minBytes with a known content.
std::string generateCatalog(size_t minBytes, int& entries) {
  std::string xml = "<?xml version=\"1.0\"?>\n<SQLXML>\n";
  entries = 0;
  while (xml.size() < minBytes) {
    int n = entries++;
    xml += "  <SQLInfo id=\"Group_" + std::to_string(n) + "\" maxrownum=\"" + std::to_string(n) +
           "\" interval=\"" + std::to_string(n % 7) + "\">\n";
    for (int v = 9; v <= 12; ++v) {
      xml += "    <SQL dbversion=\"" + std::to_string(v) + "\">\n      <SQLText>select col_" +
             std::to_string(n) + "_" + std::to_string(v) + ", name, value\n        from v$table_" +
             std::to_string(n) + " where a &lt; b and c &gt; d</SQLText>\n";
      if (v % 2 == 0)
        xml += "      <ClusterText>select inst_id from gv$table_" + std::to_string(n) +
               "</ClusterText>\n";
      xml += "      <BaseTable queryname=\"v$table_" + std::to_string(n) + "\" grantname=\"V_$T" +
             std::to_string(n) + "\"/>\n    </SQL>\n";
    }
    xml += "    <DatabaseType value=\"RDB\"/>\n  </SQLInfo>\n";
  }
  xml += "</SQLXML>\n";
  return xml;
}

TEST_F(CatalogParseTest, OneMebibyteCatalogIsReadCompletely) {
  int entries = 0;
  std::string xml = generateCatalog(1u << 20, entries);
  ASSERT_GE(xml.size(), 1u << 20);
  ASSERT_TRUE(parse(xml));
  ASSERT_EQ(m_data.size(), static_cast<size_t>(entries));
  for (int n = 0; n < entries; n += 97) {
    std::string id = "Group_" + std::to_string(n);
    const OraXMLSQLInfo* info = m_data.getSQLInfo(id.c_str());
    ASSERT_NE(info, nullptr) << id;
    EXPECT_EQ(info->getMaxRowNum(), n);
    EXPECT_EQ(info->getInterval(), n % 7);
    ASSERT_EQ(info->getSQLList().size(), 4u);
    int32_t maxRow = -1;
    std::string expected11 = "select col_" + std::to_string(n) + "_11, name, value\n" +
                             "        from v$table_" + std::to_string(n) + " where a < b and c > d";
    EXPECT_EQ(str(m_data.getSQL(11, id.c_str(), maxRow, true)), expected11);
    EXPECT_EQ(maxRow, n);
    EXPECT_EQ(str(m_data.getSQL(13, id.c_str(), maxRow, true)),
              "select inst_id from gv$table_" + std::to_string(n));
    std::vector<OraXMLSQLTable> tables;
    info->getPrivilegeTables(10, OraXMLSQLDBType::TYPE_RDB, 1, tables);
    ASSERT_EQ(tables.size(), 1u);
    EXPECT_EQ(std::string(tables[0].getQueryName()), "v$table_" + std::to_string(n));
  }
  EXPECT_STREQ(m_data.getEntries().back().getId(),
               ("Group_" + std::to_string(entries - 1)).c_str());
}

}  // namespace
