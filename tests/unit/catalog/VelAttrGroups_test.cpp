// Attribute-group definitions: the reference file's depth and name rules, vel.atr pairing of
// name and colu lines with its case rules, and bad files.
#include "VelAttrGroups.h"

#include <gtest/gtest.h>

#include <string>

#include "TestSupport.h"
#include "TraceCapture.h"
#include "VelAgentDefinitionParserHandler.h"

namespace {

class AttrGroupsTest : public ::testing::Test {
 protected:
  bool parseRef(const std::string& text, const char* name = "vel.ref") {
    std::string path = m_dir.file(name);
    EXPECT_TRUE(veltest::writeFile(path, text));
    return VelAgentDefinitionParserHandler::parseXML(path.c_str(), m_groups);
  }
  void parseAtr(const std::string& text) {
    std::string path = m_dir.file("vel.atr");
    ASSERT_TRUE(veltest::writeFile(path, text));
    parseATRFile(path.c_str(), m_groups);
  }
  std::string trace() { return m_trace.text(); }
  // Every group on a line: "name: attribute/type/size/column ...".
  std::string describe() const {
    std::string s;
    for (const VelAttributeGroupDef& g : m_groups.getGroups()) {
      s += g.getName() + std::string(":");
      for (const VelAttributeDef& a : g.getAttributes())
        s += std::string(" ") + a.getName() + "/" + a.getType() + "/" +
             std::to_string(a.getSize()) + "/" + a.getColumnName();
      s += "\n";
    }
    return s;
  }
  const VelAttributeDef* attr(const char* group, size_t i) {
    const VelAttributeGroupDef* g = m_groups.getAGDef(group);
    if (g == nullptr || i >= g->getAttributeCount()) return nullptr;
    return &g->getAttributes()[i];
  }

  veltest::TempDir m_dir;
  VelAttrGroups m_groups;
  veltest::TraceCapture m_trace;
};

const char* kRef = R"(<?xml version="1.0"?>
<agent_ref>
  <custom ag="RDB_Instance_Info">
    <metric metricName="INSTNAME" type="string" size="64"/>
    <metric METRICNAME="STATUS" TYPE="string"/>
    <metric metricName="Uptime" type="int" size="12abc"/>
    <metric type="int" size="4"/>
    <metric metricName="" size="4"/>
    <extra><metric metricName="TooDeep"/></extra>
  </custom>
  <metric metricName="AtDepth2"/>
  <custom><metric metricName="NoGroup"/></custom>
  <custom ag=""><metric metricName="EmptyGroup"/></custom>
  <Custom ag="WrongCase"><metric metricName="X"/></Custom>
  <other><custom ag="Nested"><metric metricName="Y"/></custom></other>
  <custom AG="ASM_Instance" ag="Second"><metric metricName="NAME" size="30"/></custom>
  <custom ag="RDB_Instance_Info"><metric metricName="AGAIN"/></custom>
</agent_ref>
)";

const char* kRefRead =
    "RDB_Instance_Info: INSTNAME/string/64/ STATUS/string/0/ Uptime/int/12/\n"
    "ASM_Instance: NAME//30/\nRDB_Instance_Info: AGAIN//0/\n";

TEST_F(AttrGroupsTest, ReferenceFileDepthAndNameRules) {
  ASSERT_TRUE(parseRef(kRef));
  // The first "ag" attribute wins; lookups find the first of two groups of one name.
  EXPECT_EQ(describe(), kRefRead);
  EXPECT_EQ(m_groups.getAGDef("RDB_Instance_Info"), &m_groups.getGroups()[0]);
  EXPECT_EQ(m_groups.getAGDef("rdb_instance_info"), nullptr);  // exact lookup
  EXPECT_EQ(m_groups.getAGDef(""), nullptr);
  EXPECT_EQ(m_groups.getAGDef(nullptr), nullptr);
  EXPECT_EQ(m_groups.getAGDef("WrongCase"), nullptr);
  EXPECT_EQ(m_groups.getAGDef("Nested"), nullptr);
  EXPECT_NE(trace().find("Error at attribute definition in ref file"), std::string::npos);
}

TEST_F(AttrGroupsTest, DocumentElementMustBeAgentRef) {
  ASSERT_TRUE(parseRef(R"(<agent_reference><custom ag="A"><metric metricName="M"/></custom>
    </agent_reference>)"));
  EXPECT_EQ(m_groups.size(), 0u);
}

TEST_F(AttrGroupsTest, AtrFilePairsNameAndColumnWithCaseRules) {
  ASSERT_TRUE(parseRef(kRef));
  parseAtr(
      "* comment line\n"
      "name VEL_RDB_INSTANCE_INFO.INSTNAME\n"  // group in capitals: matches
      "colu INSTANCE_NAME   \t\n"              // trailing white space stripped
      "name VEL_RDB_Instance_Info.status\n"    // attribute in lower case: no match
      "colu STATUS_COL\n"
      "name VEL_RDB_Instance_Info.Uptime\n"
      "name VEL_ASM_Instance.NAME\n"  // two name lines in a row: the first gets nothing
      "colu ASM_NAME\n"
      "colu STRAY\n"  // no preceding name line
      "name VEL_RDB_Instance_Info.AGAIN\n"
      "colu AGAIN_COL\n");
  // Only the first group of a name is searched: the second RDB_Instance_Info keeps no column.
  EXPECT_EQ(describe(),
            "RDB_Instance_Info: INSTNAME/string/64/INSTANCE_NAME STATUS/string/0/ Uptime/int/12/\n"
            "ASM_Instance: NAME//30/ASM_NAME\nRDB_Instance_Info: AGAIN//0/\n");
}

TEST_F(AttrGroupsTest, AtrNameWithoutDotIsIgnoredAndDoesNotAdoptNextColumn) {
  ASSERT_TRUE(parseRef(kRef));
  parseAtr(
      "name VEL_RDB_Instance_Info.INSTNAME\n"
      "name VEL_NoDotHere\n"
      "colu WRONG\n"
      "name VEL_RDB_Instance_Info.Uptime\n"
      "colu UP.TIME\n"
      "Name VEL_RDB_Instance_Info.STATUS\n"  // prefix is case-sensitive
      "colu NOT_STATUS\n"
      "name VEL_RDB_Instance_Info.STATUS\n"
      "colu\n"  // "colu" without a column
      "colu STATUS_COL\n");
  EXPECT_EQ(
      describe(),
      "RDB_Instance_Info: INSTNAME/string/64/ STATUS/string/0/STATUS_COL Uptime/int/12/UP.TIME\n"
      "ASM_Instance: NAME//30/\nRDB_Instance_Info: AGAIN//0/\n");
}

TEST_F(AttrGroupsTest, AtrLongNamesAreCut) {
  std::string longAttr(150, 'A');
  std::string longCol(150, 'C');
  VelAttributeGroupDef g("G");
  g.addAttribute(VelAttributeDef(longAttr.substr(0, 99).c_str(), "string", 1));
  m_groups.addGroup(g);
  parseAtr("name VEL_G." + longAttr + "\ncolu " + longCol + "\n");
  EXPECT_EQ(std::string(attr("G", 0)->getColumnName()), longCol.substr(0, 99));
}

TEST_F(AttrGroupsTest, SetAttrColumnNameMatchesFirstOnly) {
  VelAttributeGroupDef g("Grp");
  g.addAttribute(VelAttributeDef("A", "t", 1));
  g.addAttribute(VelAttributeDef("A", "t", 2));
  m_groups.addGroup(g);
  setAttrColumnName(m_groups, "GRP", "A", "COL");
  setAttrColumnName(m_groups, "Grp", "B", "X");
  EXPECT_STREQ(attr("Grp", 0)->getColumnName(), "COL");
  EXPECT_STREQ(attr("Grp", 1)->getColumnName(), "");
  // Copies are deep.
  VelAttrGroups copy = m_groups;
  setAttrColumnName(copy, "Grp", "A", "OTHER");
  EXPECT_STREQ(attr("Grp", 0)->getColumnName(), "COL");
}

TEST_F(AttrGroupsTest, BadFilesAreTracedAndKeepWhatLoaded) {
  // Missing, empty and non-XML files are the shared reader's, tested with the catalog.
  // Truncated inside the second group: the first complete group stays, the second is dropped.
  EXPECT_TRUE(parseRef(R"(<agent_ref><custom ag="One"><metric metricName="A"/></custom>
    <custom ag="Two"><metric metricName="B"/>)",
                       "cut.ref"));
  ASSERT_EQ(m_groups.size(), 1u);
  EXPECT_STREQ(m_groups.getGroups()[0].getName(), "One");
  // Malformed after a complete group.
  EXPECT_FALSE(
      parseRef(R"(<agent_ref><custom ag="Three"></custom><custom></agent_ref>)", "mismatch.ref"));
  ASSERT_EQ(m_groups.size(), 2u);

  parseATRFile(nullptr, m_groups);
  parseATRFile("", m_groups);
  EXPECT_NE(trace().find("Error, invalid file name:"), std::string::npos);
  std::string missingAtr = m_dir.file("missing.atr");
  parseATRFile(missingAtr.c_str(), m_groups);
  EXPECT_NE(trace().find("Can't open file: " + missingAtr + ", errno is 2"), std::string::npos);
  // A binary file, a folder: nothing set, nothing broken.
  std::string bin("\xff\xfe\0name VEL_One.A\x01\ncolu X\n", 26);
  parseAtr(bin);
  parseATRFile(m_dir.path().c_str(), m_groups);
  EXPECT_STREQ(attr("One", 0)->getColumnName(), "");
}

TEST_F(AttrGroupsTest, DeeplyNestedReferenceFile) {
  std::string xml = "<agent_ref><custom ag=\"G\"><metric metricName=\"M\"/>";
  for (int i = 0; i < 100000; ++i) xml += "<metric>";
  for (int i = 0; i < 100000; ++i) xml += "</metric>";
  xml += "<metric metricName=\"N\"/></custom></agent_ref>";
  ASSERT_TRUE(parseRef(xml));
  ASSERT_NE(m_groups.getAGDef("G"), nullptr);
  EXPECT_EQ(m_groups.getAGDef("G")->getAttributeCount(), 2u);
}

}  // namespace
