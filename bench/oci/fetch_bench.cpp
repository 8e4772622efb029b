// 10,000 rows of four columns: Ora_Database::executeTableCmd into an Ora_AutoStmtTable (the
// program's path: non-blocking calls, polling, describe, text conversion, row copies) against
// bare OCI calls on the same client (blocking, text defines, one row per fetch).
//   LD_LIBRARY_PATH=build/sim build/bin/bench_oci_fetch
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Ora_Database.h"
#include "Ora_OCIEnv.h"
#include "Ora_StmtTable.h"
#include "vel00_OCI_Lib.h"

namespace {

using L = vel00_OCI_Lib;
const char kConnect[] = "benchhost:1521/BENCH";
const char kQuery[] = "select id, name, amount, created from big";
const char kInfo[] =
    "BEGIN SELECT 'RDB', 'BENCH', '19.3.0.0.0', 190, '64', 'false', 'PRIMARY', 'BENCH', "
    "'benchhost' INTO :db_type, :db_name, :version, :shortversion, :bitversion, :iscluster, "
    ":db_role, :dbinstance_name, :dbhostname FROM dual; END;";

std::string g_dir;

bool setUp() {
  char templ[] = "/tmp/velbench.XXXXXX";
  if (!mkdtemp(templ)) return false;
  g_dir = templ;
  setenv("VELSIM_DIR", g_dir.c_str(), 1);
  setenv("VEL_TRACE", "none", 1);
  std::string db = g_dir + "/benchhost_1521_BENCH.db";
  std::string cmd = std::string(VEL_BUILD_DIR) + "/sim/velsim-mkdb " + VEL_SOURCE_DIR +
                    "/sim/oracle/seeds/single.sql " + db + " >/dev/null";
  if (system(cmd.c_str()) != 0) return false;
  sqlite3* h = nullptr;
  if (sqlite3_open(db.c_str(), &h) != SQLITE_OK) return false;
  std::string sql =
      "CREATE TABLE big(id NUMBER, name VARCHAR2(30), amount NUMBER, created DATE);"
      "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 10000) "
      "INSERT INTO big SELECT i, 'name-' || i, i * 1.25, '2026-12-01 10:00:00' FROM n;";
  int rc = sqlite3_exec(h, sql.c_str(), nullptr, nullptr, nullptr);
  sqlite3_close(h);
  return rc == SQLITE_OK && vel00_OCI_Lib::Init() && Ora_OCIEnv::Init();
}

void BM_SessionIntoAutoStmtTable(benchmark::State& state) {
  OraXMLSQLData catalog;
  OraXMLSQLInfo info("DatabaseInformation");
  info.addSQL(OraXMLSQL(101, kInfo));
  catalog.addUnique(info);
  Ora_Database db(catalog, kConnect, "monitor", "monitor", nullptr, "BENCH", "BENCH");
  Ora_ErrorMsg error;
  if (!db.Connect(error, false)) {
    state.SkipWithError(error.getMessage());
    return;
  }
  for (auto _ : state) {
    Ora_AutoStmtTable table;
    Ora_AutoCommand command(kQuery);
    if (!db.executeTableCmd(command, &table, error, time(nullptr), 60) ||
        table.getRowCount() != 10000) {
      state.SkipWithError("query failed");
      return;
    }
    benchmark::DoNotOptimize(table.getRowCount());
  }
  state.SetItemsProcessed(state.iterations() * 10000);
}

void BM_BareOciFetch(benchmark::State& state) {
  OCIEnv* env = Ora_OCIEnv::m_pOCIEnv;
  OCIError* err = nullptr;
  OCIServer* srv = nullptr;
  OCISvcCtx* svc = nullptr;
  OCISession* ses = nullptr;
  L::pMyOCIHandleAlloc(env, reinterpret_cast<void**>(&err), OCI_HTYPE_ERROR, 0, nullptr);
  L::pMyOCIHandleAlloc(env, reinterpret_cast<void**>(&srv), OCI_HTYPE_SERVER, 0, nullptr);
  L::pMyOCIHandleAlloc(env, reinterpret_cast<void**>(&svc), OCI_HTYPE_SVCCTX, 0, nullptr);
  L::pMyOCIHandleAlloc(env, reinterpret_cast<void**>(&ses), OCI_HTYPE_SESSION, 0, nullptr);
  L::pMyOCIServerAttach(srv, err, reinterpret_cast<const text*>(kConnect), strlen(kConnect), 0);
  L::pMyOCIAttrSet(svc, OCI_HTYPE_SVCCTX, srv, 0, OCI_ATTR_SERVER, err);
  L::pMyOCIAttrSet(ses, OCI_HTYPE_SESSION, const_cast<char*>("monitor"), 7, OCI_ATTR_USERNAME, err);
  L::pMyOCIAttrSet(ses, OCI_HTYPE_SESSION, const_cast<char*>("monitor"), 7, OCI_ATTR_PASSWORD, err);
  if (L::pMyOCISessionBegin(svc, err, ses, OCI_CRED_RDBMS, 0) != OCI_SUCCESS) {
    state.SkipWithError("log-on failed");
    return;
  }
  L::pMyOCIAttrSet(svc, OCI_HTYPE_SVCCTX, ses, 0, OCI_ATTR_SESSION, err);
  for (auto _ : state) {
    OCIStmt* stmt = nullptr;
    L::pMyOCIHandleAlloc(env, reinterpret_cast<void**>(&stmt), OCI_HTYPE_STMT, 0, nullptr);
    L::pMyOCIStmtPrepare(stmt, err, reinterpret_cast<const text*>(kQuery), strlen(kQuery),
                         OCI_NTV_SYNTAX, 0);
    ub4 prefetch = 100;
    L::pMyOCIAttrSet(stmt, OCI_HTYPE_STMT, &prefetch, 0, OCI_ATTR_PREFETCH_ROWS, err);
    L::pMyOCIStmtExecute(svc, stmt, err, 0, 0, nullptr, nullptr, 0);
    char cols[4][64];
    sb2 ind[4];
    for (ub4 i = 0; i < 4; ++i) {
      OCIDefine* def = nullptr;
      L::pMyOCIDefineByPos(stmt, &def, err, i + 1, cols[i], sizeof cols[i], SQLT_STR, &ind[i],
                           nullptr, nullptr, 0);
    }
    long rows = 0;
    while (L::pMyOCIStmtFetch2(stmt, err, 1, OCI_FETCH_NEXT, 0, 0) == OCI_SUCCESS) ++rows;
    L::pMyOCIHandleFree(stmt, OCI_HTYPE_STMT);
    if (rows != 10000) {
      state.SkipWithError("fetch failed");
      return;
    }
  }
  state.SetItemsProcessed(state.iterations() * 10000);
  L::pMyOCISessionEnd(svc, err, ses, 0);
  L::pMyOCIServerDetach(srv, err, 0);
  L::pMyOCIHandleFree(ses, OCI_HTYPE_SESSION);
  L::pMyOCIHandleFree(svc, OCI_HTYPE_SVCCTX);
  L::pMyOCIHandleFree(srv, OCI_HTYPE_SERVER);
  L::pMyOCIHandleFree(err, OCI_HTYPE_ERROR);
}

// Process CPU time: in non-blocking mode the client works on threads of its own.
BENCHMARK(BM_BareOciFetch)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(BM_SessionIntoAutoStmtTable)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

}  // namespace

int main(int argc, char** argv) {
  if (!setUp()) {
    fprintf(stderr, "bench_oci_fetch: set-up failed (is LD_LIBRARY_PATH=build/sim set?)\n");
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  Ora_OCIEnv::Terminate();
  std::string rm = "rm -rf " + g_dir;
  return system(rm.c_str()) == 0 ? 0 : 1;
}
