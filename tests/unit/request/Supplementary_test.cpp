// The supplementary collections against the stand-in: the cursor bind and the by-name binds of
// top SQL, the SQL text pieces, the Data Guard high-water mark across a lost session, disk sizes
// against statvfs, and the fixed slot shape of customized SQL rows.
#include <gtest/gtest.h>
#include <sys/statvfs.h>

#include <memory>
#include <string>
#include <vector>

#include "Ora_Database.h"
#include "RequestTestSupport.h"
#include "VelCachedInstanceList.h"
#include "Vel_CustomSQLRequest.h"
#include "Vel_DGStatus.h"
#include "Vel_DiskSpaceRequest.h"
#include "Vel_SQLTextRequest.h"
#include "Vel_TopRequest.h"

namespace {

[[maybe_unused]] ::testing::Environment* const kOciEnvironment =
    ::testing::AddGlobalTestEnvironment(new ocitest::OciEnvironment);

const char kStandby[] = "sbhost1:1521/PRODSB";

class Supplementary : public ::testing::Test {
 protected:
  void open(const char* seed, const char* connect) {
    m_dbs.make(seed, connect);
    m_db.reset(new Ora_Database(m_catalog, connect, "monitor", "monitor", "", "SB", "SB"));
    Ora_ErrorMsg error;
    ASSERT_TRUE(m_db->Connect(error, false)) << error.getMessage();
    m_instances.init(*m_db);
    m_instances.update(*m_db);
  }
  OraXMLSQLData m_catalog = makeCatalog();
  static OraXMLSQLData makeCatalog() {
    OraXMLSQLData catalog = reqtest::makeCatalog();
    // Two messages per check, so that three checks are needed for the seed's five.
    OraXMLSQLInfo info(DG_Status, 2);
    info.addSQL(OraXMLSQL(101,
                          "select * from (select facility, severity, dest_id, message_num, "
                          "error_code, callout, message, con_id from v$dataguard_status where "
                          "message_num > :vellastmessagenum order by message_num) where ROWNUM <= "
                          ":maxrownum",
                          nullptr));
    catalog.addUnique(info);
    return catalog;
  }
  ocitest::SimDatabases m_dbs;
  reqtest::LinkPeer m_peer;
  std::unique_ptr<Ora_Database> m_db;
  VelCachedInstanceList m_instances;
};

TEST_F(Supplementary, CursorBlockBindsOnlyThePlaceholdersItNamesAndFetchesTheCursor) {
  open("single", reqtest::kSingle);
  const char* block =
      "BEGIN OPEN :CURSOR FOR select sql_id, inst_id, executions from gv$sql "
      "where executions >= :MINEXEC and module <> :module_x order by executions; END;";
  struct Case {
    const char* label;
    std::vector<std::pair<const char*, const char*>> binds;
    bool ok;
    std::vector<std::string> ids;
  };
  const Case cases[] = {
      {"both bound, others skipped",
       {{"MINEXEC", "9311"}, {"module_x", "x'; drop table t; --"}, {"MIN", "1"}, {"EXEC", "2"}},
       true,
       {"a1b2c3d4e5f6g", "5zruc4v6y32f9"}},
      {"names match ignoring case", {{"minexec", "60000"}, {"MODULE_X", ""}}, true, {}},
      {"a placeholder left unbound fails the block", {{"MINEXEC", "1"}}, false, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    Ora_AutoStmtTable table;
    Ora_TopCommand command(block, &table);
    std::vector<RequestInfo> infos(c.binds.size());
    for (size_t i = 0; i < c.binds.size(); ++i)
      infos[i] =
          RequestInfo{const_cast<char*>(c.binds[i].first), const_cast<char*>(c.binds[i].second),
                      const_cast<char*>("EQ"), const_cast<char*>("AND"),
                      i + 1 < c.binds.size() ? &infos[i + 1] : nullptr};
    command.addBindInfo(infos.empty() ? nullptr : &infos[0]);
    Ora_ErrorMsg error;
    ASSERT_EQ(m_db->executePLSQLCmd(command, error, time(nullptr), 30), c.ok) << error.getMessage();
    std::vector<std::string> ids;
    const char* row[kVelMaxColumns];
    for (unsigned r = 0; r < table.getStoredRowCount(); ++r)
      if (table.getRow(r, row, 3)) ids.push_back(row[0]);
    EXPECT_EQ(ids, c.ids);
  }
  EXPECT_TRUE(Ora_TopCommand::usesPlaceholder("x = :A1 and :b", "b"));
  EXPECT_FALSE(Ora_TopCommand::usesPlaceholder("x = :A1", "A"));
  EXPECT_FALSE(Ora_TopCommand::usesPlaceholder("timestamp", "time"));
}

TEST(SQLTextPieces, AreNumberedCutAt512CharactersAndBlankControlCharacters) {
  std::string euro = "\xE2\x82\xAC";  // one character, three bytes
  std::string multi;
  for (int i = 0; i < 600; ++i) multi += euro;
  struct Case {
    std::string text;
    std::vector<size_t> bytes;
  };
  const Case cases[] = {
      {std::string(1300, 'a'), {512, 512, 276}},
      {std::string(512, 'a'), {512}},
      {std::string(513, 'a'), {512, 1}},
      {multi, {512 * 3, 88 * 3}},
      {"", {}},
      {"a\r\nb\tc", {6}},
      {"\xC3", {1}},  // a sequence cut short by the end of the text
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 20));
    std::vector<std::string> pieces = Vel_SQLTextRequest::cutPieces(c.text.c_str());
    std::vector<size_t> bytes;
    for (const std::string& p : pieces) bytes.push_back(p.size());
    EXPECT_EQ(bytes, c.bytes);
  }
  EXPECT_EQ(Vel_SQLTextRequest::cutPieces("a\r\nb\tc")[0], "a  b c");
}

TEST_F(Supplementary, DataGuardMessagesAreSentOnceAndNoneIsLostWhenTheSessionDrops) {
  open("standby", kStandby);
  VelString latest("0");
  auto check = [&](int expectedEvents, bool ok) {
    size_t before = m_peer.agent().events().size();
    EXPECT_EQ(updateDGStatus("SB", *m_db, 30, latest, 2, m_instances), ok);
    m_peer.events(before + expectedEvents, 2000);
    std::vector<std::string> numbers;
    auto events = m_peer.agent().events();
    for (size_t i = before; i < events.size(); ++i)
      if (events[i].group == DG_Status && !events[i].rows.empty())
        numbers.push_back(events[i].rows[0][3]);
    EXPECT_EQ(numbers.size(), static_cast<size_t>(expectedEvents));
    return numbers;
  };
  EXPECT_EQ(check(2, true), (std::vector<std::string>{"1", "2"}));
  EXPECT_STREQ(latest.c_str(), "2");
  // The session is lost during the check: nothing is sent, the mark stays.
  m_dbs.exec(kStandby, "INSERT INTO sim_faults VALUES('drop', 'dataguard', 0, 0)");
  check(0, false);
  EXPECT_STREQ(latest.c_str(), "2");
  m_dbs.exec(kStandby, "DELETE FROM sim_faults");
  m_dbs.exec(kStandby,
             "INSERT INTO \"gv$dataguard_status\" VALUES(1, 'X', 'Informational', 0, 6, 0, 'NO', "
             "'2026-12-01 08:00:00', 'new', 0)");
  if (!m_db->isConnected()) {
    Ora_ErrorMsg error;
    ASSERT_TRUE(m_db->Connect(error, false)) << error.getMessage();
  }
  EXPECT_EQ(check(2, true), (std::vector<std::string>{"3", "4"}));
  EXPECT_EQ(check(2, true), (std::vector<std::string>{"5", "6"}));
  EXPECT_EQ(check(0, true), std::vector<std::string>{});
  EXPECT_STREQ(latest.c_str(), "6");
}

TEST(DiskSpace, FiguresAreThoseOfStatvfsOfTheSameFolder) {
  veltest::TempDir dir;
  char figures[7][24];
  ASSERT_TRUE(Vel_DiskSpaceRequest::measure(dir.path().c_str(), figures));
  struct statvfs fs;
  ASSERT_EQ(statvfs(dir.path().c_str(), &fs), 0);
  long long total = static_cast<long long>(fs.f_blocks) * fs.f_frsize;
  long long used = static_cast<long long>(fs.f_blocks - fs.f_bfree) * fs.f_frsize;
  EXPECT_EQ(atoll(figures[2]), total);
  EXPECT_EQ(atoll(figures[3]), total / 1024 * 100 / 1024);
  // Free and used space move with other writers: within 64 MiB of the figure read here.
  EXPECT_NEAR(static_cast<double>(atoll(figures[5])), static_cast<double>(used), 64.0 * 1048576);
  EXPECT_NEAR(atoi(figures[4]), 10000.0 * atoll(figures[0]) / total, 1.0);
  EXPECT_FALSE(Vel_DiskSpaceRequest::measure(dir.file("missing/x").c_str(), figures));
}

TEST(CustomTable, SlotsTakeTheFirstFiveTextFiveNumericAndTwoDateColumns) {
  using K = Ora_DefInfo::Kind;
  struct Case {
    std::vector<K> kinds;
    std::vector<int> slots;
  };
  const K t = Ora_DefInfo::kText, n = Ora_DefInfo::kNumber, d = Ora_DefInfo::kDate,
          u = Ora_DefInfo::kUnsupported;
  const Case cases[] = {
      {{t, t, t, t, t, t, t}, {0, 1, 2, 3, 4, -1, -1, -1, -1, -1, -1, -1}},
      {{d, n, t, u, d, d, n}, {2, -1, -1, -1, -1, 1, 6, -1, -1, -1, 0, 4}},
      {{}, std::vector<int>(12, -1)},
  };
  for (const Case& c : cases) {
    Ora_CustomTable table;
    table.buildSlots(c.kinds.data(), static_cast<unsigned>(c.kinds.size()));
    std::vector<int> slots;
    for (int s = 0; s < Ora_CustomTable::kSlots; ++s) slots.push_back(table.getSlotColumn(s));
    EXPECT_EQ(slots, c.slots);
  }
}

}  // namespace
