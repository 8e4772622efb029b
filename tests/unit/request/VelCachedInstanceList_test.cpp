// The instance cache over the stand-in's cluster and single-instance seeds: filling, refresh,
// instances going offline and coming back, lookups, and the two instance groups' answers.
#include "VelCachedInstanceList.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "Ora_Database.h"
#include "RequestTestSupport.h"
#include "SendMutex.h"
#include "TraceCapture.h"

namespace {

using reqtest::kRac;
using reqtest::kSingle;
using Row = std::vector<std::string>;

// The 17 RDB_Instance_Info fields of the seed's instance rows (dates in the agent's time format).
const Row kRacdb1 = {
    "1",   "1",   "RACDB1",  "rachost1", "19.0.0.0.0", "1261130061144000", "OPEN",
    "YES", "1",   "STARTED", "ALLOWED",  "ACTIVE",     "PRIMARY_INSTANCE", "NORMAL",
    "NO",  "RAC", "EE"};
const Row kRacdb2 = {
    "2",   "2",   "RACDB2",  "rachost2", "19.0.0.0.0", "1261130061244000", "OPEN",
    "YES", "2",   "STARTED", "ALLOWED",  "ACTIVE",     "PRIMARY_INSTANCE", "NORMAL",
    "NO",  "RAC", "EE"};

Row fields(const VelCachedInstance* instance) {
  Row row;
  for (int f = 1; f <= VelCachedInstance::kFieldCount; ++f) row.push_back(instance->getField(f));
  return row;
}

class InstanceCacheTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dbs.make("single", kSingle);
    m_dbs.make("rac", kRac);
  }
  // Connects to connect and, unless told not to, fills the cache.
  void open(const char* connect, bool fill = true) {
    m_db.reset(new Ora_Database(m_catalog, connect, "monitor", "monitor", "", "C", "C"));
    Ora_ErrorMsg error;
    ASSERT_TRUE(m_db->Connect(error, false)) << error.getMessage();
    if (fill) {
      m_cache.init(*m_db);
      m_cache.update(*m_db);
    }
  }
  // Sends the group's request and lets the cache answer it; returns the rows received.
  std::vector<Row> answer(const char* group) {
    std::string id;
    Request* request = m_peer.receive(group, "SUB", {}, &id);
    if (group == RDB_Instance_Info)
      m_cache.ProcessReq_RDB_Instance_Info(*m_db, gMutexSend, request->id);
    else
      m_cache.ProcessReq_ASM_Instance(*m_db, gMutexSend, request->id);
    cp_FreeRequest(request);
    return reqtest::rowsOf(m_peer.answer(id));
  }

  ocitest::SimDatabases m_dbs;
  OraXMLSQLData m_catalog = reqtest::makeCatalog();
  reqtest::LinkPeer m_peer;
  std::unique_ptr<Ora_Database> m_db;
  VelCachedInstanceList m_cache;
};

TEST_F(InstanceCacheTest, ClusterInstancesFilledAndRefreshed) {
  open(kRac, false);
  m_cache.init(*m_db);
  ASSERT_EQ(m_cache.getCount(), 2u);
  // init knows identifier and name only.
  EXPECT_STREQ(m_cache.getInstancebyInstID("2")->getInstName(), "RACDB2");
  EXPECT_STREQ(m_cache.getInstancebyInstID("2")->getHostName(), "");
  m_cache.update(*m_db);
  EXPECT_EQ(m_cache.getCount(), 2u);
  EXPECT_STREQ(m_cache.getConnectedInstanceName(), "RACDB1");
  EXPECT_STREQ(m_cache.getConnectedHostName(), "rachost1");
  EXPECT_STREQ(m_cache.getDatabaseUniqueName(), "RACDB");
  EXPECT_EQ(fields(m_cache.getInstancebyInstID("1")), kRacdb1);
  EXPECT_EQ(fields(m_cache.getInstancebyInstName("RACDB2")), kRacdb2);
  EXPECT_EQ(m_cache.getInstancebyInstID(""), nullptr);
  EXPECT_EQ(m_cache.getInstancebyInstID(nullptr), nullptr);
  EXPECT_EQ(m_cache.getInstancebyInstID("3"), nullptr);
  EXPECT_EQ(m_cache.getInstancebyInstName("racdb2"), nullptr);  // exact comparison
}

TEST_F(InstanceCacheTest, InstanceGoneIsOfflineAndComesBack) {
  open(kRac);
  m_dbs.exec(kRac, "DELETE FROM \"gv$instance\" WHERE inst_id = 2");
  m_cache.update(*m_db);
  ASSERT_EQ(m_cache.getCount(), 2u);
  const VelCachedInstance* gone = m_cache.getInstancebyInstID("2");
  ASSERT_NE(gone, nullptr);
  EXPECT_TRUE(gone->isOffline());
  EXPECT_STREQ(gone->getHostName(), "rachost2");  // last fields kept
  EXPECT_FALSE(m_cache.getInstancebyInstID("1")->isOffline());

  // RDB_Instance_Info: 17 fields and the unique name; an offline instance only its first seven.
  Row online = kRacdb1;
  online.push_back("RACDB");
  Row offline(kRacdb2.begin(), kRacdb2.begin() + 7);
  offline[6] = "OFFLINE";
  offline.resize(17, "");
  offline.push_back("RACDB");
  EXPECT_EQ(answer(RDB_Instance_Info), (std::vector<Row>{online, offline}));

  // ASM_Instance refreshes first: the instance is back; field 11 is not sent.
  m_dbs.exec(
      kRac,
      "INSERT INTO \"gv$instance\" SELECT 2, 2, 'RACDB2', 'rachost9', version, "
      "version_full, startup_time, 'MOUNTED', parallel, 2, archiver, logins, "
      "shutdown_pending, database_status, instance_role, active_state, blocked, "
      "database_type, edition, instance_mode, con_id FROM \"gv$instance\" WHERE inst_id = 1");
  std::vector<Row> rows = answer(ASM_Instance);
  ASSERT_EQ(rows.size(), 2u);
  Row back = kRacdb2;
  back[3] = "rachost9";
  back[5] = "1261130061144000";
  back[6] = "MOUNTED";
  back.erase(back.begin() + 10);
  back.push_back("RACDB");
  EXPECT_EQ(rows[1], back);
  EXPECT_FALSE(m_cache.getInstancebyInstID("2")->isOffline());
}

TEST_F(InstanceCacheTest, SingleInstanceNullRequestIdAndADisconnectedSession) {
  open(kSingle);
  ASSERT_EQ(m_cache.getCount(), 1u);
  EXPECT_STREQ(m_cache.getDatabaseUniqueName(), "PROD");
  {
    veltest::TraceCapture trace;
    m_cache.ProcessReq_RDB_Instance_Info(*m_db, gMutexSend, nullptr);
    m_cache.ProcessReq_ASM_Instance(*m_db, gMutexSend, nullptr);
    EXPECT_TRUE(trace.contains("Error, Request ID is NULL"));
  }
  // Nothing can be asked: the cache is kept, the instance reported offline.
  m_db->Disconnect();
  m_cache.update(*m_db);
  EXPECT_EQ(m_cache.getCount(), 1u);
  EXPECT_STREQ(m_cache.getConnectedInstanceName(), "PROD");
  EXPECT_TRUE(m_cache.getInstancebyInstID("1")->isOffline());
}

TEST(CachedInstance, SetCopiesSeventeenColumns) {
  VelCachedInstance instance;
  const char* row[20];
  for (int i = 0; i < 20; ++i) row[i] = "x";
  row[2] = "NAME";
  row[5] = nullptr;
  instance.set(row, 20);
  EXPECT_STREQ(instance.getInstName(), "NAME");
  EXPECT_STREQ(instance.getField(6), "");
  EXPECT_STREQ(instance.getField(17), "x");
  EXPECT_STREQ(instance.getField(18), "");
  EXPECT_STREQ(instance.getField(0), "");
  instance.set(row, 3);  // fewer columns: the rest become empty
  EXPECT_STREQ(instance.getField(4), "");
  instance.set(nullptr, 3);
  EXPECT_STREQ(instance.getInstName(), "NAME");
}

}  // namespace
