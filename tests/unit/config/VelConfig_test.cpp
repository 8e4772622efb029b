// Instance configuration: section order and default credentials, subnode names and their
// switches, encrypted values, conflicts of cut names, bad files, and the connection directory.
#include "VelConfig.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <thread>
#include <vector>

#include "ConfigTestHelpers.h"
#include "EventLine.h"
#include "TEV.h"
#include "TestSupport.h"
#include "VelConfigFile.h"
#include "ZAM.h"

namespace {

using veltest::ScopedEnv;
using veltest::TempDir;
using veltest::TraceCapture;

// One line per record, fields joined with '|', so that a failure shows which field differs.
std::string join(std::initializer_list<const VelString*> fields) {
  std::string all;
  for (const VelString* f : fields) {
    if (f != *fields.begin()) all += '|';
    all += f->c_str();
  }
  return all;
}
std::string describe(const VelConfigInstance& c) {
  return join({&c.m_instanceName, &c.m_connectString, &c.m_userId, &c.m_password, &c.m_connectMode,
               &c.m_dgGroup, &c.m_logPaths, &c.m_logCharset, &c.m_subnodeName});
}
std::string describe(const VelConfigGlobalInfo& g) {
  return join({&g.m_userId, &g.m_password, &g.m_oracleHome, &g.m_instantClientPath, &g.m_tnsPath,
               &g.m_dynamicListener, &g.m_customizedSql});
}

// An instance configuration environment: VEL_CONFIG_FILE points at cfg in a temporary folder,
// the agent instance is inst1 and the host hostA; the naming switches are unset.
class ConfigTest : public ::testing::Test {
 protected:
  void write(const std::string& text) { ASSERT_TRUE(veltest::writeFile(m_cfg, text)); }

  // The subnode names of the loaded instances, in order, joined with '|'.
  static std::string subnodes(VelConfigFile& file) {
    std::string all;
    for (auto it = file.getInstances().begin(); it != file.getInstances().end(); ++it) {
      if (!all.empty()) all += "|";
      all += (*it)->m_subnodeName.c_str();
    }
    return all;
  }
  // Loads the file and returns the subnode names.
  static std::string loadNames() {
    VelConfigFile file;
    EXPECT_TRUE(file.isLoaded());
    return subnodes(file);
  }
  // Makes the key file if needed and returns the velcrypt form of secret.
  std::string encrypt(const std::string& secret) {
    if (access(m_key.c_str(), F_OK) != 0) {
      EXPECT_EQ(veltest::runVelcrypt(m_dir, "-k '" + m_key + "' --new-key", "").exitCode, 0);
    }
    return veltest::velcryptEncrypt(m_dir, m_key, secret + "\n");
  }

  TempDir m_dir;
  std::string m_cfg = m_dir.file("vl_inst1.cfg");
  std::string m_key = m_dir.file("vel.key");
  ScopedEnv m_file{"VEL_CONFIG_FILE", m_cfg.c_str()};
  ScopedEnv m_inst{"VEL_INSTANCE_NAME", "inst1"};
  ScopedEnv m_host{"NOVAG_HOSTNAME", "hostA"};
  ScopedEnv m_keyFile{"VEL_KEYFILE", m_key.c_str()};
  ScopedEnv m_agentSwitch{"VEL_SUBNODE_INCLUDING_AGENTNAME", nullptr};
  ScopedEnv m_hostSwitch{"VEL_SUBNODE_INCLUDING_HOSTNAME", nullptr};
  ScopedEnv m_maxLength{"VEL_MAX_SUBNODE_NAME_LENGTH", nullptr};
};

TEST_F(ConfigTest, SectionsInFileOrderInheritDefaultCredentialsReadSoFar) {
  write(
      "[config EARLY]\n"
      "VEL_CONN_STR = early:1521/E\n"
      "[DEFAULT]\n"
      "VEL_CONN_USERID = guser\n"
      "VEL_CONN_PASSWORD = gpass\n"
      "VEL_ORACLE_HOME = /opt/oh\n"
      "VEL_INSTANT_CLIENT_LIBPATH = /opt/ic\n"
      "[config OWN]\n"
      "VEL_CONN_STR = own:1521/O\n"
      "VEL_CONN_USERID = ouser\n"
      "VEL_CONN_PASSWORD = opass\n"
      "VEL_CONN_MODE = SYSDBA\n"
      "VEL_DG_GROUP = dg1\n"
      "VEL_LOG_PATHS = /u01/alert_O.log\n"
      "VEL_LOG_CHARSET = UTF-8\n"
      "[unknown X]\n"
      "VEL_CONN_USERID = ignored\n"
      "[Config INHERIT]\n"
      "VEL_CONN_STR = inh:1521/I\n"
      "VEL_CONN_USERID =\n"
      "[advanced]\n"
      "VEL_TNS_PATH = /opt/tns\n"
      "VEL_DYNAMIC_LISTENER = TRUE\n"
      "VEL_CUSTOMIZED_SQL = /opt/cus.properties\n"
      "[default]\n"
      "VEL_CONN_USERID = g2\n"
      "[config LATER]\n");
  VelConfigFile file;
  ASSERT_TRUE(file.isLoaded());
  EXPECT_EQ(subnodes(file),
            "EARLY-inst1-hostA|OWN-inst1-hostA|INHERIT-inst1-hostA|LATER-inst1-hostA");

  // Each instance as instance|connect|user|password|mode|dg|log paths|charset|subnode.
  const std::pair<const char*, const char*> instances[] = {
      // [default] came after it.
      {"EARLY-inst1-hostA", "EARLY|early:1521/E|||||||EARLY-inst1-hostA"},
      {"OWN-inst1-hostA",
       "OWN|own:1521/O|ouser|opass|SYSDBA|dg1|/u01/alert_O.log|UTF-8|OWN-inst1-hostA"},
      // An empty value takes the default; absent entries stay empty.
      {"INHERIT-inst1-hostA", "INHERIT|inh:1521/I|guser|gpass|||||INHERIT-inst1-hostA"},
      // A later [default] replaces what it names and leaves the rest.
      {"LATER-inst1-hostA", "LATER||g2|gpass|||||LATER-inst1-hostA"}};
  VelConfigInstance c;
  for (const auto& [subnode, expected] : instances) {
    ASSERT_TRUE(file.getInstance(subnode, c));
    EXPECT_EQ(describe(c), expected);
  }
  const VelConfigGlobalInfo* g = file.getGlobalInfo();
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(describe(*g), "g2|gpass|/opt/oh|/opt/ic|/opt/tns|TRUE|/opt/cus.properties");

  EXPECT_FALSE(file.getInstance("EARLY", c));
  EXPECT_FALSE(file.getInstance("", c));
  EXPECT_FALSE(file.getInstance(nullptr, c));
}

TEST_F(ConfigTest, SubnodeNameIsStrippedIdentifierInstanceAndHostCut) {
  write("[config db 1/prod]\n[config ORCL]\n");
  VelConfigFile file;
  VelConfigInstance c;
  ASSERT_TRUE(file.getInstance("db1prod-inst1-hostA", c)) << subnodes(file);
  EXPECT_STREQ(c.m_instanceName.c_str(), "db1prod");
  EXPECT_EQ(subnodes(file), "db1prod-inst1-hostA|ORCL-inst1-hostA");

  struct Case {
    const char *max, *includeHost, *includeAgent, *instance, *host, *names;
  };
  const Case cases[] = {
      {"10", nullptr, nullptr, "inst1", "hostA", "db1prod-in|ORCL-inst1"},
      {"12abc", nullptr, nullptr, "inst1", "hostA", "db1prod-inst|ORCL-inst1-h"},  // atoi
      {nullptr, "no", nullptr, "inst1", "hostA", "db1prod-inst1|ORCL-inst1"},
      {nullptr, "yEs", "", "inst1", "hostA", "db1prod-hostA|ORCL-hostA"},
      {nullptr, "TRUE", "NO", "inst1", "hostA", "db1prod|ORCL"},  // only YES switches it on
      {nullptr, nullptr, nullptr, "", "", "db1prod|ORCL"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.names);
    ScopedEnv max("VEL_MAX_SUBNODE_NAME_LENGTH", k.max);
    ScopedEnv host("VEL_SUBNODE_INCLUDING_HOSTNAME", k.includeHost);
    ScopedEnv agent("VEL_SUBNODE_INCLUDING_AGENTNAME", k.includeAgent);
    ScopedEnv instance("VEL_INSTANCE_NAME", k.instance);
    ScopedEnv hostName("NOVAG_HOSTNAME", k.host);
    EXPECT_EQ(loadNames(), k.names);
  }
  {
    // Without an agent instance name the configuration is still read, with a trace.
    TraceCapture trace;
    ScopedEnv noInstance("VEL_INSTANCE_NAME", nullptr);
    EXPECT_EQ(loadNames(), "db1prod-hostA|ORCL-hostA");
    EXPECT_TRUE(trace.contains("Can not get VEL_INSTANCE_NAME"));
  }
}

TEST(SubNodeNaming, MaximumLengthOutsideOneToTwentyFiveFallsBackTo24) {
  struct Case {
    const char* value;
    int expected;
  } cases[] = {{nullptr, 24}, {"0", 24}, {"26", 24}, {"-3", 24}, {"abc", 24},
               {"", 24},      {"1", 1},  {"25", 25}, {"7", 7}};
  for (const Case& c : cases) {
    ScopedEnv max("VEL_MAX_SUBNODE_NAME_LENGTH", c.value);
    EXPECT_EQ(VelSubNodeNaming::fromEnvironment().maxLength, c.expected)
        << (c.value ? c.value : "(unset)");
  }
  ScopedEnv agent("VEL_SUBNODE_INCLUDING_AGENTNAME", nullptr);
  ScopedEnv host("VEL_SUBNODE_INCLUDING_HOSTNAME", nullptr);
  VelSubNodeNaming n = VelSubNodeNaming::fromEnvironment();
  EXPECT_TRUE(n.includeAgentName);
  EXPECT_TRUE(n.includeHostName);
}

TEST(SubNodeNaming, StripKeepsLettersDigitsDashUnderscoreDotWithinTheBuffer) {
  char out[16];
  memset(out, 'x', sizeof(out));
  VelConfigFile::stripSubNode("a b/c-d_e.f$g\xC3\xA9h\t1", out, sizeof(out));
  EXPECT_STREQ(out, "abc-d_e.fgh1");

  VelConfigFile::stripSubNode("abcdefgh", out, 5);  // at most size - 1 characters
  EXPECT_STREQ(out, "abcd");

  VelConfigFile::stripSubNode("/// ", out, sizeof(out));
  EXPECT_STREQ(out, "");

  VelSubNodeNaming n;
  VelString name;
  EXPECT_FALSE(VelConfigFile::composeSubNodeName("ORCL", "inst1", "hostA", n, name));
  EXPECT_STREQ(name.c_str(), "ORCL-inst1-hostA");
  n.maxLength = 16;  // exactly the length: not cut
  EXPECT_FALSE(VelConfigFile::composeSubNodeName("ORCL", "inst1", "hostA", n, name));
  n.maxLength = 15;
  EXPECT_TRUE(VelConfigFile::composeSubNodeName("ORCL", "inst1", "hostA", n, name));
  EXPECT_STREQ(name.c_str(), "ORCL-inst1-host");
  n.maxLength = 24;
  EXPECT_FALSE(VelConfigFile::composeSubNodeName("ORCL", nullptr, nullptr, n, name));
  EXPECT_STREQ(name.c_str(), "ORCL");
}

TEST_F(ConfigTest, ConnectionWhoseCutNameIsTakenIsLeftOutAndRecorded) {
  write(
      "[config SALES_REPORTING_DATABASE1]\n"
      "VEL_CONN_STR = a\n"
      "[config SALES_REPORTING_DATABASE2]\n"
      "VEL_CONN_STR = b\n"
      "[config ORCL]\n"
      "VEL_CONN_STR = first\n"
      "[config ORCL]\n"
      "VEL_CONN_STR = second\n");
  TraceCapture trace;
  VelConfigFile file;
  ASSERT_TRUE(file.isLoaded());
  // Identical names that need no cut are both kept (the first one answers lookups).
  EXPECT_EQ(subnodes(file), "SALES_REPORTING_DATABASE|ORCL-inst1-hostA|ORCL-inst1-hostA");
  VelConfigInstance c;
  ASSERT_TRUE(file.getInstance("SALES_REPORTING_DATABASE", c));
  EXPECT_STREQ(c.m_connectString.c_str(), "a");
  ASSERT_TRUE(file.getInstance("ORCL-inst1-hostA", c));
  EXPECT_STREQ(c.m_connectString.c_str(), "first");

  ASSERT_EQ(file.getConflicts().size(), 1u);
  VelConfigConflict* conflict = *file.getConflicts().begin();
  EXPECT_STREQ(conflict->m_connectionName.c_str(), "SALES_REPORTING_DATABASE2");
  EXPECT_STREQ(conflict->m_subnodeName.c_str(), "SALES_REPORTING_DATABASE");
  EXPECT_TRUE(trace.contains("DB Connection SALES_REPORTING_DATABASE2 is left out"))
      << trace.text();

  // Reloading starts afresh: nothing is counted twice.
  ASSERT_TRUE(file.load());
  EXPECT_EQ(file.getInstances().size(), 3u);
  EXPECT_EQ(file.getConflicts().size(), 1u);
}

TEST_F(ConfigTest, TheDirectoryReportsALeftOutConnectionOnceAsAnAgentEvent) {
  veltest::LinkPeer peer;
  veltest::openEventLink(peer);
  std::string longName(70, 'N');  // cut to 64 in the message, to 24 in the subnode name
  write("[config " + longName + "1]\n[config " + longName + "2]\n[config ORCL]\n[config ORCL]\n");
  VelConfig config;
  EXPECT_EQ(config.getItems().size(), 3u);
  EXPECT_EQ(veltest::eventValues(peer.readLine()),
            (std::vector<std::string>{
                "1", "Agent Config", "", "1000",
                "Error - DB Connection '" + std::string(64, 'N') +
                    "' can't be added. The length of its name exceeds 25, and it should be "
                    "truncated in the subnode name. While subnode '" +
                    std::string(24, 'N') + "' has already existed.",
                "", "Make the DB connection name shorter."}));
  // Nothing more: the kept connections, the repeated uncut name among them, raise no event.
  EXPECT_TRUE(peer.quiet());
  cp_CloseConnection();
  cp_setPort(-1);
}

TEST_F(ConfigTest, EncryptedValuesMadeByVelcryptAreDecrypted) {
  std::string global = encrypt("G10bal#pw");
  std::string own = encrypt("0wn;pw=x");
  std::string tampered = own;
  tampered[tampered.size() - 6] = tampered[tampered.size() - 6] == 'Q' ? 'R' : 'Q';
  write("[default]\nVEL_CONN_USERID = {AES256:keyfile:a}\nVEL_CONN_PASSWORD = " + global +
        "\n[config OWN]\nVEL_CONN_PASSWORD = " + own +
        "\n[config PLAIN]\nVEL_CONN_PASSWORD = {AES256:keyfile:x}plain\n"
        "[config TAMPERED]\nVEL_CONN_PASSWORD = " +
        tampered + "\n");
  TraceCapture trace;
  VelConfigFile file;
  ASSERT_TRUE(file.isLoaded());
  EXPECT_STREQ(file.getGlobalInfo()->m_password.c_str(), "G10bal#pw");
  // A value that is only the prefix is not a valid encrypted value: it stays empty.
  EXPECT_STREQ(file.getGlobalInfo()->m_userId.c_str(), "");
  VelConfigInstance c;
  ASSERT_TRUE(file.getInstance("OWN-inst1-hostA", c));
  EXPECT_STREQ(c.m_password.c_str(), "0wn;pw=x");
  ASSERT_TRUE(file.getInstance("PLAIN-inst1-hostA", c));
  EXPECT_STREQ(c.m_password.c_str(), "{AES256:keyfile:x}plain");  // not the prefix: verbatim
  // An altered value is not decrypted; the connection falls back to the default password.
  ASSERT_TRUE(file.getInstance("TAMPERED-inst1-hostA", c));
  EXPECT_STREQ(c.m_password.c_str(), "G10bal#pw");
  // The failure is traced with the mask in place of the encrypted text.
  EXPECT_TRUE(trace.contains(
      "Error at decrypt, encrypted string is:**********, returned pointer is:0, return code is:7"))
      << trace.text();
  // The secrets themselves never reach the trace, encrypted or not.
  EXPECT_EQ(trace.text().find("0wn;pw=x"), std::string::npos);
  EXPECT_EQ(trace.text().find(tampered), std::string::npos);
}

TEST_F(ConfigTest, GetEntryRefusesMissingAndUndecryptableAndTooLongDecryptedValues) {
  std::string fitting(255, 'f');  // the longest value velcrypt takes
  ROV::ConfigSection section("config", "X");
  section.setEntry("FIT", encrypt(fitting).c_str());
  std::string plain(300, 'p');
  char* longValue = nullptr;
  int longLength = 0;
  ASSERT_EQ(ZAM_EncryptWithKeyFile(m_key.c_str(), plain.data(), static_cast<int>(plain.size()),
                                   &longValue, &longLength),
            ZAM_OK);
  section.setEntry("LONG", longValue);
  ZAM_Free(longValue);
  section.setEntry("BAD", "{AES256:keyfile:a}****");
  section.setEntry("PLAIN", "value");

  VelString out("before");
  EXPECT_FALSE(VelConfigFileGetEntry(&section, "MISSING", out));
  EXPECT_FALSE(VelConfigFileGetEntry(&section, "BAD", out));
  EXPECT_STREQ(out.c_str(), "before");
  TraceCapture trace;
  EXPECT_TRUE(VelConfigFileGetEntry(&section, "LONG", out));  // true, but out unchanged
  EXPECT_STREQ(out.c_str(), "before");
  EXPECT_TRUE(trace.contains("Error at not enough space to contain the decrypted string"));
  EXPECT_TRUE(VelConfigFileGetEntry(&section, "FIT", out));
  EXPECT_EQ(std::string(out.c_str()), fitting);
  EXPECT_TRUE(VelConfigFileGetEntry(&section, "PLAIN", out));
  EXPECT_STREQ(out.c_str(), "value");
}

TEST_F(ConfigTest, MissingFileLeavesAnEmptyConfiguration) {
  {
    VelConfigFile missing;
    EXPECT_FALSE(missing.isLoaded());
    EXPECT_EQ(missing.getInstances().size(), 0u);
  }
  // A failed reload empties what an earlier load had.
  write("[config A]\n");
  VelConfigFile file;
  EXPECT_EQ(file.getInstances().size(), 1u);
  ASSERT_EQ(unlink(m_cfg.c_str()), 0);
  EXPECT_FALSE(file.load());
  EXPECT_EQ(file.getInstances().size(), 0u);
}

TEST_F(ConfigTest, DirectoryKeepsItemsInOrderAndCopiesUnderItsMutex) {
  write(
      "[default]\nVEL_CONN_USERID = g\nVEL_CONN_PASSWORD = gp\n"
      "[advanced]\nVEL_TNS_PATH = /tns\n"
      "[config ONE]\nVEL_CONN_STR = one\nVEL_CONN_MODE = SYSOPER\nVEL_DG_GROUP = dg\n"
      "VEL_LOG_PATHS = /l\nVEL_LOG_CHARSET = cs\n"
      "[config TWO]\nVEL_CONN_STR = two\n");
  VelConfig config;
  ASSERT_NE(config.getGlobalInfo(), nullptr);
  EXPECT_STREQ(config.getGlobalInfo()->m_tnsPath.c_str(), "/tns");
  ASSERT_EQ(config.getItems().size(), 2u);
  EXPECT_STREQ((*config.getItems().begin())->getSubNodeName().c_str(), "ONE-inst1-hostA");

  VelConfigInstance c;
  ASSERT_TRUE(config.getConfigInfo("ONE-inst1-hostA", c));
  EXPECT_EQ(describe(c), "ONE|one|g|gp|SYSOPER|dg|/l|cs|ONE-inst1-hostA");
  EXPECT_FALSE(config.getConfigInfo("one-inst1-hostA", c));  // exact match only
  EXPECT_FALSE(config.getConfigInfo(nullptr, c));

  Ora_DatabaseInfo info;
  EXPECT_FALSE(config.getDBInfo("THREE-inst1-hostA", info));
  ASSERT_TRUE(config.getDBInfo("TWO-inst1-hostA", info));
  EXPECT_STREQ(info.m_name.c_str(), "");  // nothing known before the worker connects

  {
    VelMutexHandler lock(config.getMutex());
    VelConfigItem* item = config.searchBySubNode("TWO-inst1-hostA");
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(config.searchBySubNode(nullptr), nullptr);
    Ora_DatabaseInfo learnt;
    learnt.m_name.assign("TWODB");
    learnt.m_type.assign("RDB");
    learnt.m_shortVersion = 19;
    learnt.m_isCluster = true;
    item->updateDatabaseInfo(learnt);
  }
  ASSERT_TRUE(config.getDBInfo("TWO-inst1-hostA", info));
  EXPECT_STREQ(info.m_name.c_str(), "TWODB");
  EXPECT_STREQ(info.m_type.c_str(), "RDB");
  EXPECT_EQ(info.m_shortVersion, 19);
  EXPECT_TRUE(info.m_isCluster);
  ASSERT_TRUE(config.getDBInfo("ONE-inst1-hostA", info));
  EXPECT_STREQ(info.m_name.c_str(), "");

  VelConfigItem empty(nullptr);
  EXPECT_FALSE(empty.getConfigInfo(c));
}

TEST_F(ConfigTest, WorkersUpdatingWhileOthersReadSeeWholeRecords) {
  write("[config A]\nVEL_CONN_STR = a\n[config B]\nVEL_CONN_STR = b\n");
  VelConfig config;
  std::vector<std::thread> threads;
  for (int t = 0; t < 2; ++t) {
    const char* subnode = t == 0 ? "A-inst1-hostA" : "B-inst1-hostA";
    threads.emplace_back([&config, subnode, t] {
      for (int i = 0; i < 300; ++i) {
        Ora_DatabaseInfo info;
        std::string v = std::to_string(t * 1000 + i);
        info.m_name.assign(v.c_str());
        info.m_version.assign(v.c_str());
        VelMutexHandler lock(config.getMutex());
        config.searchBySubNode(subnode)->updateDatabaseInfo(info);
      }
    });
    threads.emplace_back([&config, subnode] {
      for (int i = 0; i < 300; ++i) {
        Ora_DatabaseInfo info;
        VelConfigInstance c;
        ASSERT_TRUE(config.getDBInfo(subnode, info));
        ASSERT_TRUE(config.getConfigInfo(subnode, c));
        // Name and version are written together: a reader never sees them apart.
        ASSERT_STREQ(info.m_name.c_str(), info.m_version.c_str());
      }
    });
  }
  for (std::thread& t : threads) t.join();
  Ora_DatabaseInfo last;
  ASSERT_TRUE(config.getDBInfo("B-inst1-hostA", last));
  EXPECT_STREQ(last.m_name.c_str(), "1299");
}

TEST(HostName, OverrideElseShortHostName) {
  char raw[256] = {0};
  ASSERT_EQ(gethostname(raw, sizeof(raw) - 1), 0);
  std::string shortName(raw, strcspn(raw, "."));
  {
    ScopedEnv noOverride("NOVAG_HOSTNAME", nullptr);
    ASSERT_NE(VelConfig::getHostName(), nullptr);
    EXPECT_EQ(std::string(VelConfig::getHostName()), shortName);
    EXPECT_EQ(std::string(TEV_GetHostname()), shortName);
  }
  {
    ScopedEnv hostOverride("NOVAG_HOSTNAME", "agenthost.example.com");
    EXPECT_STREQ(VelConfig::getHostName(), "agenthost.example.com");
  }
}

}  // namespace
