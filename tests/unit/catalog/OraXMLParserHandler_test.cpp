// Reading catalog files: both formats, depth and placement rules, duplicates, the row-limit
// default, bad files of every kind, and a large generated catalog.
#include "OraXMLParserHandler.h"

#include <gtest/gtest.h>

#include <string>

#include "CatalogDescribe.h"
#include "TestSupport.h"
#include "TraceCapture.h"
#include "VelXMLFile.h"

namespace {

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
      <BaseTable grantname="V_$DATABASE"/>
      <BaseTable queryname="V$INSTANCE" grantname="OTHER"/>
    </SQL>
    <DatabaseType value="RDB"/>
    <DatabaseType value="dg" role="Physical Standby"/>
    <DatabaseType value="rac" role="PRIMARY"/>
  </SQLInfo>
  <sqlinfo ID="Plain"><sql DBVERSION="9"><sqltext>x</sqltext></sql></sqlinfo>
</SQLXML>
)"));
  // Entities decoded, whitespace and line breaks kept as they are; element and attribute names
  // compare ignoring case; defaults apply.
  EXPECT_EQ(describe(m_data),
            "DatabaseInformation rows=10 simple odi=3 every=60 type=RDB timeout=15 inst=2 "
            "db=1/0,3/2,\n10: select a & b\n  from dual where x < 1 | select <c> from gv$x "
            "[v$instance V_$INSTANCE] [V$INSTANCE OTHER]\n\nPlain" +
                kDefaults + "\n9: x | ");
}

TEST_F(CatalogParseTest, OldFormatEmptyOrRepeatedTextElementsAndDuplicates) {
  ASSERT_TRUE(parse(R"(<r>
  <SQLInfo id="Old"><SQL dbversion="9" sqltext="old plain" clustersqlText="old cluster"/></SQLInfo>
  <SQLInfo id="Blanked">
    <SQL dbversion="9" sqltext="old plain" clustersqltext="old cluster"><SQLText></SQLText></SQL>
    <SQL dbversion="10" sqltext="gone"><SQLText/></SQL>
    <SQL dbversion="11" sqltext="kept"><ClusterText>new cluster</ClusterText></SQL>
  </SQLInfo>
  <SQLInfo id="Later"><SQL dbversion="9"><SQLText>first</SQLText><SQLText>second</SQLText>
      <ClusterText>c1</ClusterText><ClusterText>c2</ClusterText></SQL></SQLInfo>
  <SQLInfo id="Dup"><SQL dbversion="10"><SQLText>first</SQLText></SQL>
                    <SQL dbversion="10"><SQLText>second</SQLText></SQL></SQLInfo>
  <SQLInfo id="Dup"><SQL dbversion="11"><SQLText>other entry</SQLText></SQL></SQLInfo>
  <SQLInfo id="dup"><SQL dbversion="11"><SQLText>lower case</SQLText></SQL></SQLInfo>
</r>)"));
  // An empty SQLText blanks the attribute's text; version 10 lost its only text and was dropped
  // as invalid. A later text element replaces an earlier one; of duplicate ids and versions the
  // first wins, ids compare exactly.
  EXPECT_EQ(describe(m_data), "Old" + kDefaults + "\n9: old plain | old cluster\n\nBlanked" +
                                  kDefaults +
                                  "\n9:  | old cluster\n11: kept | new cluster\n\nLater" +
                                  kDefaults + "\n9: second | c2\n\nDup" + kDefaults +
                                  "\n10: first | \n\ndup" + kDefaults + "\n11: lower case | ");
  EXPECT_TRUE(traceLineHas("The OraXMLSQL state is invalid", ""));
  EXPECT_TRUE(traceLineHas("The Dup SQLInfo exist!", ""));
  EXPECT_TRUE(traceLineHas("There is duplicate DB Version 10 for Dup SQLInfo", ""));
}

TEST_F(CatalogParseTest, EntriesWithoutIdOrVersionAndElementsOutOfPlaceAreSkipped) {
  ASSERT_TRUE(parse(R"(<r>
  <SQLInfo><SQL dbversion="9"><SQLText>orphan</SQLText></SQL></SQLInfo>
  <SQLInfo id="NoVersion">
    <SQL><SQLText>no version</SQLText><BaseTable queryname="q" grantname="g"/></SQL>
    <SQL dbversion="abc"><SQLText>junk version</SQLText></SQL>
    <SQL dbversion="12abc"><SQLText>twelve</SQLText></SQL>
  </SQLInfo>
  <SQLInfo id="" maxrownum="x"><SQL dbversion="1"><SQLText>empty id</SQLText></SQL></SQLInfo>
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
  // An empty id is an ordinary identifier; a junk row limit reads as 0.
  EXPECT_EQ(describe(m_data),
            "NoVersion" + kDefaults + "\n12: twelve | \n\n" +
                " rows=0 odi=0 every=0 type= timeout=0 inst=-1 db=\n1: empty id | "
                "\n\nA rows=1000 odi=0 every=0 type= timeout=0 inst=-1 db=2/0,"
                "\n9: keep and this | \n10: cdata | ");
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
  EXPECT_TRUE(traceLineHas("XML error in " + m_path, " at line 2 column 53: mismatched tag"))
      << trace();

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
  EXPECT_EQ(describe(m_data), "A" + kDefaults + "\n1: a | \n\nB" + kDefaults + "\n2: b | ");
}

// Builds a catalog of at least minBytes and, in expected, how it must read.
std::string generateCatalog(size_t minBytes, std::string& expected) {
  std::string xml = "<?xml version=\"1.0\"?>\n<SQLXML>\n";
  for (int n = 0; xml.size() < minBytes; ++n) {
    std::string id = "Group_" + std::to_string(n), t = "v$table_" + std::to_string(n);
    xml += "  <SQLInfo id=\"" + id + "\" maxrownum=\"" + std::to_string(n) + "\" interval=\"" +
           std::to_string(n % 7) + "\">\n";
    expected += (n ? "\n\n" : "") + id + " rows=" + std::to_string(n) +
                " odi=0 every=" + std::to_string(n % 7) + " type= timeout=0 inst=-1 db=1/0,";
    for (int v = 9; v <= 12; ++v) {
      std::string text = "select col_" + std::to_string(n) + "_" + std::to_string(v) +
                         ", name, value\n        from " + t + " where a ";
      std::string cluster = v % 2 == 0 ? "select inst_id from gv$table_" + std::to_string(n) : "";
      xml += "    <SQL dbversion=\"" + std::to_string(v) + "\">\n      <SQLText>" + text +
             "&lt; b and c &gt; d</SQLText>\n";
      if (!cluster.empty()) xml += "      <ClusterText>" + cluster + "</ClusterText>\n";
      xml += "      <BaseTable queryname=\"" + t + "\" grantname=\"V_$T" + std::to_string(n) +
             "\"/>\n    </SQL>\n";
      expected += "\n" + std::to_string(v) + ": " + text + "< b and c > d | " + cluster + " [" + t +
                  " V_$T" + std::to_string(n) + "]";
    }
    xml += "    <DatabaseType value=\"RDB\"/>\n  </SQLInfo>\n";
  }
  return xml + "</SQLXML>\n";
}

TEST_F(CatalogParseTest, OneMebibyteCatalogIsReadCompletely) {
  std::string expected;
  std::string xml = generateCatalog(1u << 20, expected);
  ASSERT_TRUE(parse(xml));
  std::string got = describe(m_data);
  size_t same = 0;
  while (same < got.size() && same < expected.size() && got[same] == expected[same]) ++same;
  EXPECT_TRUE(got == expected) << "differs at " << same << ": " << got.substr(same, 200);
  std::vector<OraXMLSQLTable> tables;
  m_data.getEntries().back().getPrivilegeTables(10, OraXMLSQLDBType::TYPE_RDB, 1, tables);
  ASSERT_EQ(tables.size(), 1u);
}

}  // namespace
