// Configuration reader: INI sections in file order, entries, malformed lines, file location.
#include "ROV.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "ConfigTestHelpers.h"
#include "TestSupport.h"

namespace {

using veltest::ScopedEnv;
using veltest::TempDir;
using veltest::TraceCapture;

// Parses text as the configuration of instance "inst1" and returns that instance (null when
// the parse failed).
ROV::InstanceConfig* parse(ROV::AgentConfig& cfg, const std::string& text, int* bad = nullptr) {
  if (!ROV::ConfigParser::parseText(text.data(), text.size(), "test.cfg", "vl", "inst1", cfg, bad))
    return nullptr;
  return cfg.getInstance("inst1");
}

std::string value(const ROV::ConfigSection* s, const char* key) {
  ROV::String v("<absent>");
  s->getEntryValue(key, v);
  return v.c_str();
}

TEST(RovParser, SectionsKeepFileOrderNamesAndIdentifiers) {
  ROV::AgentConfig cfg;
  ROV::InstanceConfig* inst = parse(cfg,
                                    "[config FIRST]\n"
                                    "VEL_CONN_STR = a\n"
                                    "[default]\n"
                                    "[config   db 1/prod  ]   # comment after the header\n"
                                    "[advanced]\n"
                                    "[config FIRST]\n");
  ASSERT_NE(inst, nullptr);
  std::string sections;
  for (int i = 0; i < inst->getNumSections(); ++i)
    sections +=
        inst->getSection(i)->getName() + std::string(" ") + inst->getSection(i)->getID() + "|";
  EXPECT_EQ(sections, "config FIRST|default |config db 1/prod|advanced |config FIRST|");
  // A repeated header is a section of its own; entries do not leak between them.
  EXPECT_EQ(value(inst->getSection(0), "VEL_CONN_STR"), "a");
  EXPECT_EQ(value(inst->getSection(4), "VEL_CONN_STR"), "<absent>");
  EXPECT_EQ(inst->getSection(5), nullptr);
  EXPECT_EQ(inst->getSection(-1), nullptr);
}

TEST(RovParser, EntriesTrimBlanksKeepValuesVerbatimAndLastOneWins) {
  ROV::AgentConfig cfg;
  ROV::InstanceConfig* inst = parse(cfg,
                                    "\xEF\xBB\xBF[default]\r\n"
                                    "  # a comment\r\n"
                                    "; another comment\n"
                                    "\n"
                                    "   \t\n"
                                    "VEL_CONN_USERID\t=  monitor  \r\n"
                                    "VEL_CONN_PASSWORD=p#ss=word;x\n"
                                    "VEL_EMPTY =\n"
                                    "vel_conn_userid = lower\n"
                                    "VEL_DUP = one\n"
                                    "VEL_DUP = two");  // no final line feed
  ASSERT_NE(inst, nullptr);
  ASSERT_EQ(inst->getNumSections(), 1);
  const ROV::ConfigSection* s = inst->getSection(0);
  EXPECT_STREQ(s->getName(), "default");
  EXPECT_EQ(value(s, "VEL_CONN_USERID"), "monitor");
  EXPECT_EQ(value(s, "VEL_CONN_PASSWORD"), "p#ss=word;x");
  EXPECT_EQ(value(s, "VEL_EMPTY"), "");
  EXPECT_EQ(value(s, "vel_conn_userid"), "lower");  // keys are case-sensitive
  EXPECT_EQ(value(s, "VEL_DUP"), "two");
  EXPECT_EQ(s->getNumEntries(), 5);

  ROV::String untouched("keep");
  EXPECT_FALSE(s->getEntryValue("VEL_MISSING", untouched));
  EXPECT_STREQ(untouched.c_str(), "keep");
  EXPECT_FALSE(s->getEntryValue(nullptr, untouched));
}

TEST(RovParser, MalformedLinesAreSkippedWithATraceAndTheRestIsRead) {
  TraceCapture trace;
  std::string text =
      "orphan = before any header\n"  // 1
      "[default]\n"                   // 2
      "VEL_CONN_USERID = u1\n"        // 3
      "just some words\n"             // 4
      "[unclosed\n"                   // 5
      "[]\n"                          // 6
      "[ \t ]\n"                      // 7
      " = no key\n"                   // 8
      "two words = v\n"               // 9
      "[config X] trailing\n"         // 10
      "VEL_CONN_PASSWORD = pw\n"      // 11
      "[config ORCL]\n"               // 12
      "VEL_CONN_STR = host:1521/ORCL\n";
  text += std::string("bad\0line = x\n", 13);  // 14: a NUL byte
  text += "VEL_CONN_MODE = SYSDBA\n";          // 15
  ROV::AgentConfig cfg;
  int bad = -1;
  ROV::InstanceConfig* inst = parse(cfg, text, &bad);
  ASSERT_NE(inst, nullptr);
  EXPECT_EQ(bad, 9);
  ASSERT_EQ(inst->getNumSections(), 2);
  EXPECT_EQ(value(inst->getSection(0), "VEL_CONN_USERID"), "u1");
  // The entry after the refused "[config X] trailing" header belongs to the section before it.
  EXPECT_EQ(value(inst->getSection(0), "VEL_CONN_PASSWORD"), "pw");
  EXPECT_EQ(value(inst->getSection(0), "orphan"), "<absent>");
  EXPECT_STREQ(inst->getSection(1)->getID(), "ORCL");
  EXPECT_EQ(value(inst->getSection(1), "VEL_CONN_STR"), "host:1521/ORCL");
  EXPECT_EQ(value(inst->getSection(1), "VEL_CONN_MODE"), "SYSDBA");

  std::string t = trace.text();
  EXPECT_NE(t.find("test.cfg, line 1 skipped: the entry comes before the first section header"),
            std::string::npos)
      << t;
  EXPECT_NE(t.find("line 4 skipped: the line is neither a section header"), std::string::npos);
  EXPECT_NE(t.find("line 5 skipped: the section header has no closing ']'"), std::string::npos);
  EXPECT_NE(t.find("line 7 skipped: the section header has no name"), std::string::npos);
  EXPECT_NE(t.find("line 8 skipped: the entry has no key"), std::string::npos);
  EXPECT_NE(t.find("line 9 skipped: the key holds blanks"), std::string::npos);
  EXPECT_NE(t.find("line 10 skipped: text follows the section header"), std::string::npos);
  EXPECT_NE(t.find("line 14 skipped: the line holds a NUL byte"), std::string::npos);
  // Line contents never reach the trace.
  EXPECT_EQ(t.find("before any header"), std::string::npos);
  EXPECT_EQ(t.find("just some words"), std::string::npos);
}

class RovFileTest : public ::testing::Test {
 protected:
  TempDir m_dir;
  ScopedEnv m_noConfigFile{"VEL_CONFIG_FILE", nullptr};
  ScopedEnv m_home{"ORMONDHOME", m_dir.path().c_str()};
};

TEST_F(RovFileTest, LocationFollowsConfigFileVariableElseHomeProductAndInstance) {
  std::string path;
  ASSERT_TRUE(ROV::ConfigParser::getConfigPath("vl", "inst1", path));
  EXPECT_EQ(path, m_dir.path() + "/config/vl_inst1.cfg");

  ASSERT_EQ(mkdir(m_dir.file("config").c_str(), 0700), 0);
  ASSERT_TRUE(veltest::writeFile(m_dir.file("config/vl_inst1.cfg"), "[config FROMHOME]\n"));
  ASSERT_TRUE(veltest::writeFile(m_dir.file("other.cfg"), "[config FROMVAR]\n"));
  ROV::AgentConfig cfg;
  ASSERT_TRUE(ROV::ConfigParser::parseConfig("vl", "inst1", cfg));
  ASSERT_NE(cfg.getInstance("inst1"), nullptr);
  EXPECT_STREQ(cfg.getInstance("inst1")->getSection(0)->getID(), "FROMHOME");

  ScopedEnv explicitFile("VEL_CONFIG_FILE", m_dir.file("other.cfg").c_str());
  ASSERT_TRUE(ROV::ConfigParser::parseConfig("vl", "inst1", cfg));
  EXPECT_STREQ(cfg.getInstance("inst1")->getSection(0)->getID(), "FROMVAR");
  EXPECT_EQ(std::string(cfg.getSourceName()), m_dir.file("other.cfg"));
}

TEST_F(RovFileTest, NoLocationMissingFileOrDirectoryFailWithTheFileNamed) {
  TraceCapture trace;
  ROV::AgentConfig cfg;
  {
    ScopedEnv noHome("ORMONDHOME", nullptr);
    EXPECT_FALSE(ROV::ConfigParser::parseConfig("vl", "inst1", cfg));
    EXPECT_TRUE(trace.contains("neither VEL_CONFIG_FILE nor ORMONDHOME is set"));
  }
  EXPECT_FALSE(ROV::ConfigParser::parseConfig("vl", "inst1", cfg));
  EXPECT_TRUE(trace.contains("Can not open configuration file " + m_dir.path() +
                             "/config/vl_inst1.cfg: No such file or directory"))
      << trace.text();
  EXPECT_FALSE(ROV::ConfigParser::parseFile(m_dir.path().c_str(), "vl", "inst1", cfg));
  EXPECT_TRUE(trace.contains(m_dir.path() + " is not a regular file"));
  EXPECT_EQ(cfg.getNumInstances(), 0);
}

TEST_F(RovFileTest, EmptyJunkAndOversizedFilesNeverBreakTheReader) {
  TraceCapture trace;
  ROV::AgentConfig cfg;
  std::string empty = m_dir.file("empty.cfg");
  ASSERT_TRUE(veltest::writeFile(empty, ""));
  ASSERT_TRUE(ROV::ConfigParser::parseFile(empty.c_str(), "vl", "i", cfg));
  ASSERT_NE(cfg.getInstance("i"), nullptr);
  EXPECT_EQ(cfg.getInstance("i")->getNumSections(), 0);
  EXPECT_TRUE(trace.contains("Configuration file " + empty + " is empty"));

  std::string junk;
  for (int i = 0; i < 20000; ++i) junk += static_cast<char>((i * 7919) % 251);
  std::string junkFile = m_dir.file("junk.cfg");
  ASSERT_TRUE(veltest::writeFile(junkFile, junk));
  EXPECT_TRUE(ROV::ConfigParser::parseFile(junkFile.c_str(), "vl", "i", cfg));

  // A file cut in the middle of a header keeps what came before it.
  std::string cut = m_dir.file("cut.cfg");
  ASSERT_TRUE(veltest::writeFile(cut, "[default]\nVEL_CONN_USERID = u\n[conf"));
  ASSERT_TRUE(ROV::ConfigParser::parseFile(cut.c_str(), "vl", "i", cfg));
  ASSERT_EQ(cfg.getInstance("i")->getNumSections(), 1);
  EXPECT_EQ(value(cfg.getInstance("i")->getSection(0), "VEL_CONN_USERID"), "u");
  EXPECT_TRUE(trace.contains(cut + ", line 3 skipped"));

  std::string big = m_dir.file("big.cfg");
  ASSERT_TRUE(veltest::writeFile(big, std::string(ROV::ConfigParser::kMaxFileSize + 1, '#')));
  EXPECT_FALSE(ROV::ConfigParser::parseFile(big.c_str(), "vl", "i", cfg));
  EXPECT_TRUE(trace.contains(big + " is too large"));
}

TEST_F(RovFileTest, AFifoInPlaceOfTheFileDoesNotHang) {
  std::string fifo = m_dir.file("fifo.cfg");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  ROV::AgentConfig cfg;
  EXPECT_FALSE(ROV::ConfigParser::parseFile(fifo.c_str(), "vl", "i", cfg));
}

}  // namespace
