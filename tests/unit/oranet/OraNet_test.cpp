// The Net file parsers on fixture files as administrators write them and on broken input, change
// detection, file discovery, and the pieces of a check (tnsping output, descriptors, the OCI
// attach through the stand-in against real loopback ports, the threads).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "OraNetCheck.h"
#include "Ora_OCIEnv.h"
#include "TestSupport.h"
#include "vel00_OCI_Lib.h"

namespace {

using Lines = std::vector<std::string>;
const std::string kData = veltest::sourceDir() + "/tests/data/oranet/";

Lines listenersIn(const std::string& path) {
  OraListenerInfoList list;
  OraNetConfigListeners(list).ReadNetConfigFile(path.c_str(), -1);
  Lines out;
  list.forEach([&](const OraListenerInfo& i) {
    out.push_back(std::string(i.m_listenerName.c_str()) + "|" + i.m_host.c_str() + "|" +
                  i.m_port.c_str() + "|" + i.m_key.c_str() + i.m_pipe.c_str() + "|" +
                  i.m_protocol.c_str() + i.m_address.c_str());
  });
  return out;
}

Lines aliasesOf(OraNetServiceInfoList& list) {
  Lines out;
  list.forEach([&](const OraNetServiceInfo& i) { out.push_back(i.m_name.c_str()); });
  return out;
}

Lines aliasesIn(const std::string& path) {
  OraNetServiceInfoList list;
  OraNetConfigTnsNames(list).ReadNetConfigFile(path.c_str(), -1);
  return aliasesOf(list);
}

void setMtime(const std::string& path, time_t t) {
  struct timeval tv[2] = {{t, 0}, {t, 0}};
  ASSERT_EQ(utimes(path.c_str(), tv), 0);
}

TEST(OraNetParse, FixturesYieldEveryEntryAndDropTheBrokenOnes) {
  EXPECT_EQ(listenersIn(kData + "listener.ora"),
            (Lines{"LISTENER|dbhost1.example.com|1521||TCP(PROTOCOL=TCP)(HOST=dbhost1.example.com)"
                   "(PORT=1521)",
                   "LISTENER||-1|EXTPROC1521|IPC(PROTOCOL=IPC)(KEY=EXTPROC1521)",
                   "listener_dr|127.0.0.1|1599||TCP(PROTOCOL=TCP)(HOST=127.0.0.1)(PORT=1599)",
                   "LISTENER_SSL|dbhost1|2484||TCPS(PROTOCOL=TCPS)(HOST=dbhost1)(PORT=2484)",
                   "LISTENER_NMP|WINHOST|-1|dbpipe|NMP(PROTOCOL=NMP)(SERVER=WINHOST)(PIPE=dbpipe)",
                   "LISTENER_LAST|127.0.0.1|1600||TCP(PROTOCOL=TCP)(HOST=127.0.0.1)(PORT=1600)"}));
  EXPECT_EQ(aliasesIn(kData + "tnsnames.ora"),
            (Lines{"PROD", "sales", "sales.example.com", "RACDB.EXAMPLE.COM", "Dev", "LAST"}));
  EXPECT_EQ(aliasesIn(kData + "tnsnames_crlf.ora"), (Lines{"CRLF1", "CRLF2"}));
  OraNetServiceInfoList list;
  OraNetConfigTnsNames(list).ReadNetConfigFile((kData + "tnsnames.ora").c_str(), -1);
  list.forEach([](const OraNetServiceInfo& i) {
    if (i.m_name.compare("PROD") != 0) return;
    // Joined by single blanks, the comment gone.
    EXPECT_STREQ(i.m_descriptor.c_str(),
                 "(DESCRIPTION = (ADDRESS = (PROTOCOL = TCP)(HOST = dbhost1)(PORT = 1521)) "
                 "(CONNECT_DATA = (SERVER = DEDICATED) (SERVICE_NAME = PROD) ) )");
  });
}

// Hand-edited and damaged files: the good definitions around the bad ones are still found.
TEST(OraNetParse, BrokenFilesKeepTheirGoodEntries) {
  const char binary[] = "BAD = (DESCRIPTION = \x01\xff\xfe\0\x80(HOST=h))\n";
  const std::string bad[] = {
      "BAD = (DESCRIPTION = ((ADDRESS = (HOST = h)\n",
      "BAD = (DESCRIPTION = (ADDRESS = (HOST = h))))))\n",
      "BAD (DESCRIPTION = (ADDRESS = (HOST = h)))\n",
      std::string(binary, sizeof binary - 1),
      "BAD = (DESCRIPTION = (HOST = " + std::string(3 << 20, 'x') + "))\n",
      "# " + std::string(5 << 20, '#') + "\n",
      "BAD = (DESCRIPTION =\n" + std::string(4000, ' ') + std::string(70000, '(') + "\n",
      std::string(100000, '\n') + "X" + std::string(10000, ')') + "\n",
      "IFILE = " + kData + "loop.ora\n",
  };
  veltest::TempDir dir;
  for (const std::string& b : bad) {
    SCOPED_TRACE(b.substr(0, 40));
    ASSERT_TRUE(veltest::writeFile(dir.file("t.ora"), "GOOD = (DESCRIPTION = (HOST = h))\n" + b +
                                                          "G2 = (DESCRIPTION = (HOST = h))\n" + b));
    EXPECT_EQ(aliasesIn(dir.file("t.ora")), (Lines{"GOOD", "G2"}));
  }
}

// An untouched file is not read again; an edited one is, its removed entries disappear and the
// check status of the others is kept; a file that is gone takes its entries with it.
TEST(OraNetParse, ChangedFilesAreReReadAndMirrored) {
  veltest::TempDir dir;
  const std::string path = dir.file("tnsnames.ora");
  ASSERT_TRUE(veltest::writeFile(path, "A = (DESCRIPTION=(X=1))\nB = (DESCRIPTION=(X=2))\n"));
  setMtime(path, 1000000);
  OraNetServiceInfoList list;
  OraNetConfigTnsNames parser(list);
  long t = parser.ReadNetConfigFile(path.c_str(), 0);
  EXPECT_EQ(t, 1000000);
  OraNetConnStatus status;
  status.setStatus(12541, "TNS:no listener");
  EXPECT_TRUE(list.updateStatus(VelString(path.c_str()), VelString("A"), status));

  ASSERT_TRUE(veltest::writeFile(path, "A = (DESCRIPTION=(X=1))\n"));
  setMtime(path, 1000000);  // same time: not read
  EXPECT_EQ(parser.ReadNetConfigFile(path.c_str(), t), t);
  EXPECT_EQ(aliasesOf(list), (Lines{"A", "B"}));

  setMtime(path, 1000100);
  t = parser.ReadNetConfigFile(path.c_str(), t);
  EXPECT_EQ(aliasesOf(list), (Lines{"A"}));
  list.forEach([](const OraNetServiceInfo& i) {
    EXPECT_EQ(i.m_status.m_state, OraNetConnStatus::kNotReachable);
    EXPECT_EQ(i.m_status.m_errorCode, 12541);
  });

  unlink(path.c_str());
  EXPECT_EQ(parser.ReadNetConfigFile(path.c_str(), t), 0);
  EXPECT_TRUE(aliasesOf(list).empty());
}

TEST(OraNetFiles, CandidatesComeFromTheVariablesWithoutDuplicates) {
  struct Case {
    const char *tnsAdmin, *home, *paths, *loadNet;
    Lines files;
  } cases[] = {
      {"/opt/net/", nullptr, "/opt/net", nullptr, {"/opt/net/tnsnames.ora"}},
      {" /a ",
       "/oh/",
       "/b: :/oh/network/admin/",
       nullptr,
       {"/a/tnsnames.ora", "/oh/network/admin/tnsnames.ora", "/b/tnsnames.ora"}},
      {"/a", "/oh", "/b", "false", {"/b/tnsnames.ora"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.files[0]);
    veltest::ScopedEnv a("TNS_ADMIN", c.tnsAdmin), h("VEL_ORACLE_HOME", c.home),
        p("VEL_TNS_PATHS", c.paths), l("VEL_LOAD_ORACLE_NET", c.loadNet);
    OraNetFileInfoList files;
    files.addFileInfo(OraNetFileInfoList::kTnsNames);
    files.addFileInfo(7);
    Lines got;
    for (OraNetFileInfo* f : files) got.push_back(f->m_path.c_str());
    EXPECT_EQ(got, c.files);
  }
}

TEST(OraNetCheck, TnspingOutputGivesCodeAndText) {
  const std::string z(400, 'z');
  struct Case {
    std::string output;
    int code;
    std::string message;
  } cases[] = {
      {"Attempting to contact (X)\nTNS-12541: TNS:no listener\n", 12541,
       "TNS-12541: TNS:no listener"},
      {"banner\nOK (10 msec)\n", 0, "OK (10 msec)"},
      {"Message 3511 not found\n", 0, ""},
      {"", 0, ""},
      {"TNS-12" + z, 12, ("TNS-12" + z).substr(0, 255)},
      {"OK " + z, 0, ("OK " + z).substr(0, 255)},
      {"TNS-1253399 x", 12533, "TNS-1253399 x"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.output.substr(0, 40));
    int code = -1;
    VelString message;
    velParseTnspingOutput(c.output.c_str(), code, message);
    EXPECT_EQ(code, c.code);
    EXPECT_EQ(message.c_str(), c.message);
  }
}

TEST(OraNetCheck, DescriptorsForTnspingAndForOci) {
  OraListenerInfo info;
  info.m_address.assign("(PROTOCOL=TCP)(HOST=h)(PORT=1)");
  struct Case {
    bool tnsping;
    const char *service, *descriptor;
  } cases[] = {
      {true, "X", "(DESCRIPTION=(ADDRESS=(PROTOCOL=TCP)(HOST=h)(PORT=1)))"},
      {false, nullptr,
       "(DESCRIPTION=(CONNECT_DATA=(SERVICE_NAME=orcl))(ADDRESS=(PROTOCOL=TCP)(HOST=h)(PORT=1)))"},
      {false, "PROD",
       "(DESCRIPTION=(CONNECT_DATA=(SERVICE_NAME=PROD))(ADDRESS=(PROTOCOL=TCP)(HOST=h)(PORT=1)))"},
  };
  for (const Case& c : cases) {
    veltest::ScopedEnv service("VEL_DEFAULT_ORACLE_SERVICE_NAME", c.service);
    VelString d;
    velListenerDescriptor(info, c.tnsping, d);
    EXPECT_STREQ(d.c_str(), c.descriptor);
  }
}

// The checks against real loopback ports, through the stand-in's attach or the fake tnsping.
class OraNetLive : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_TRUE(vel00_OCI_Lib::Init()) << "the stand-in must be on LD_LIBRARY_PATH";
    ASSERT_TRUE(Ora_OCIEnv::Init());
  }
  static std::string at(int port) {
    return "(DESCRIPTION=(ADDRESS=(PROTOCOL=TCP)(HOST=127.0.0.1)(PORT=" + std::to_string(port) +
           ")";
  }
  veltest::TempDir m_home;
  veltest::TempDir m_sim;
  veltest::ScopedEnv m_simDir{"VELSIM_DIR", m_sim.path().c_str()};
};

TEST_F(OraNetLive, OciAttachFollowsTheLoopbackPort) {
  veltest::LoopbackListener up;
  veltest::LoopbackListener full(0, 0);
  const std::string port = std::to_string(up.port());
  ASSERT_TRUE(veltest::makeSimDatabase("single.sql", m_sim.file("127.0.0.1_" + port + "_PROD.db")));
  veltest::ScopedEnv timeout("VELSIM_CONNECT_TIMEOUT_MS", "300");
  const std::pair<std::string, int> cases[] = {
      {"(DESCRIPTION=(ADDRESS=(PROTOCOL=TCP)(HOST=localhost)(PORT=" + port + ")))", 0},
      {at(up.port()) + ")(CONNECT_DATA=(SERVICE_NAME=PROD)))", 0},
      {at(up.port()) + ")(CONNECT_DATA=(SERVICE_NAME=NONE)))", 12514},
      {at(veltest::closedLoopbackPort()) + "))", 12541},
      {"(DESCRIPTION=(ADDRESS=(PROTOCOL=TCP)(HOST=no-such-host.invalid)(PORT=1)))", 12545},
  };
  for (const auto& c : cases) {
    VelString message;
    EXPECT_EQ(velTestDescriptor(c.first.c_str(), message), c.second) << c.first << message.c_str();
  }
  // A listener whose queue is full never answers: the attach times out.
  VelString message;
  int code = 0;
  for (int i = 0; i < 8 && code != 12170; ++i)
    code = velTestDescriptor((at(full.port()) + "))").c_str(), message);
  EXPECT_STREQ(message.c_str(), "ORA-12170: TNS:Connect timeout occurred");
}

TEST_F(OraNetLive, ListenerCheckUsesTnspingWhenTheHomeHasIt) {
  veltest::LoopbackListener up;
  const int down = veltest::closedLoopbackPort();
  mkdir(m_home.file("bin").c_str(), 0755);
  ASSERT_TRUE(veltest::writeFile(m_home.file("bin/tnsping"), veltest::readFile(kData + "tnsping")));
  chmod(m_home.file("bin/tnsping").c_str(), 0755);
  // The fake tool fails without ORACLE_HOME: the check sets it from VEL_ORACLE_HOME.
  veltest::ScopedEnv home("VEL_ORACLE_HOME", m_home.path().c_str()),
      bound("VEL_TNSPING_TIMEOUT", "1"), none("ORACLE_HOME", nullptr);
  struct Case {
    const char *mode, *useTnsping;
    int port, code;
    const char* message;
  } cases[] = {
      {nullptr, nullptr, up.port(), 0, "OK (0 msec)"},
      {nullptr, nullptr, down, 12541, "TNS-12541: TNS:no listener"},
      {"silent", nullptr, down, 0, ""},
      {"hang", nullptr, down, 12170, "tnsping did not answer within 1 seconds"},
      // Switched off: the OCI attach with the descriptor that has no CONNECT_DATA.
      {"hang", "false", up.port(), 0, ""},
      {"hang", "FALSE", down, 12541, "ORA-12541: TNS:no listener"},
      {"hang", nullptr, -1, 0, ""},  // no tnsping: OCI, where 12514 counts as reachable
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.mode ? c.mode : "-") + " " + std::to_string(c.port));
    veltest::ScopedEnv mode("FAKE_TNSPING_MODE", c.mode),
        use("VEL_USE_ORACLE_TNSPING", c.useTnsping),
        noHome("VEL_ORACLE_HOME", c.port < 0 ? nullptr : m_home.path().c_str());
    OraListenerInfo info;
    info.m_address.assign(("(PROTOCOL=TCP)(HOST=127.0.0.1)(PORT=" +
                           std::to_string(c.port < 0 ? up.port() : c.port) + ")")
                              .c_str());
    VelString message;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(velCheckListener(info, message), c.code);
    EXPECT_STREQ(message.c_str(), c.message);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
  }
  EXPECT_STREQ(getenv("ORACLE_HOME"), m_home.path().c_str());  // what tnsping and the client see
}

// The thread frame: a cycle about a second after start with the dynamic listener in it, a quick
// stop, and an interval of 0 that ends the thread at once.
TEST_F(OraNetLive, ListenerThreadChecksTheDynamicListenerAndStops) {
  veltest::ScopedEnv interval("VEL_LISTENER_PING_INTERVAL", "1"),
      dynamic("VEL_DYNAMIC_LISTENER", "true"), admin("TNS_ADMIN", m_home.path().c_str());
  std::atomic<bool> stop{false};
  checkListenersParm parm;
  parm.m_pShutdown = &stop;
  std::thread t(checkListenersThreadFunc, &parm);
  Lines rows;
  for (int i = 0; i < 50 && (rows.empty() || rows[0].back() == '0'); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    parm.m_list.forEach([&](const OraListenerInfo& info) {
      rows = {std::string(info.m_fileName.c_str()) + "|" + info.m_address.c_str() + "|" +
              std::to_string(info.m_status.m_state)};
    });
  }
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].substr(0, rows[0].size() - 1),
            "DYNAMIC_LISTENER|(PROTOCOL=TCP)(HOST=127.0.0.1)(PORT=1521)|");
  EXPECT_NE(rows[0].back(), '0');  // checked (whether something listens on 1521 here or not)
  stop = true;
  t.join();

  veltest::ScopedEnv off("VEL_TNS_PING_INTERVAL", "0");
  stop = false;
  checkTNSConnectionsParm tns;
  tns.m_pShutdown = &stop;
  EXPECT_EQ(checkTNSConnectionsThreadFunc(&tns), nullptr);  // returns without waiting for stop
}

}  // namespace
