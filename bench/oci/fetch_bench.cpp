// 10,000 rows of four columns: Ora_Database::executeTableCmd into an Ora_AutoStmtTable (the
// program's path: non-blocking calls, polling, describe, text conversion, row copies) against
// bare OCI calls on the same client (blocking, text defines, one row per fetch). Each path alone,
// then both in turn with the median ratio of the pairs (BM_CollectorOverBare).
//   LD_LIBRARY_PATH=build/sim build/bin/bench_oci_fetch
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <thread>
#include <vector>

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

// The collector's path: a session of the program, a dynamic statement table.
struct CollectorPath {
  OraXMLSQLData catalog;
  std::unique_ptr<Ora_Database> db;
  Ora_ErrorMsg error;

  bool open() {
    OraXMLSQLInfo info("DatabaseInformation");
    info.addSQL(OraXMLSQL(101, kInfo));
    catalog.addUnique(info);
    db.reset(new Ora_Database(catalog, kConnect, "monitor", "monitor", nullptr, "BENCH", "BENCH"));
    return db->Connect(error, false);
  }
  bool run() {
    Ora_AutoStmtTable table;
    Ora_AutoCommand command(kQuery);
    return db->executeTableCmd(command, &table, error, time(nullptr), 60) &&
           table.getRowCount() == 10000;
  }
};

// The reference: bare OCI calls on a session of its own, blocking, text defines, a row per fetch.
struct BarePath {
  OCIEnv* env = Ora_OCIEnv::m_pOCIEnv;
  OCIError* err = nullptr;
  OCIServer* srv = nullptr;
  OCISvcCtx* svc = nullptr;
  OCISession* ses = nullptr;

  bool open() {
    L::pMyOCIHandleAlloc(env, reinterpret_cast<void**>(&err), OCI_HTYPE_ERROR, 0, nullptr);
    L::pMyOCIHandleAlloc(env, reinterpret_cast<void**>(&srv), OCI_HTYPE_SERVER, 0, nullptr);
    L::pMyOCIHandleAlloc(env, reinterpret_cast<void**>(&svc), OCI_HTYPE_SVCCTX, 0, nullptr);
    L::pMyOCIHandleAlloc(env, reinterpret_cast<void**>(&ses), OCI_HTYPE_SESSION, 0, nullptr);
    L::pMyOCIServerAttach(srv, err, reinterpret_cast<const text*>(kConnect), strlen(kConnect), 0);
    L::pMyOCIAttrSet(svc, OCI_HTYPE_SVCCTX, srv, 0, OCI_ATTR_SERVER, err);
    L::pMyOCIAttrSet(ses, OCI_HTYPE_SESSION, const_cast<char*>("monitor"), 7, OCI_ATTR_USERNAME,
                     err);
    L::pMyOCIAttrSet(ses, OCI_HTYPE_SESSION, const_cast<char*>("monitor"), 7, OCI_ATTR_PASSWORD,
                     err);
    if (L::pMyOCISessionBegin(svc, err, ses, OCI_CRED_RDBMS, 0) != OCI_SUCCESS) return false;
    L::pMyOCIAttrSet(svc, OCI_HTYPE_SVCCTX, ses, 0, OCI_ATTR_SESSION, err);
    return true;
  }
  bool run() {
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
    return rows == 10000;
  }
  ~BarePath() {
    if (ses == nullptr) return;
    L::pMyOCISessionEnd(svc, err, ses, 0);
    L::pMyOCIServerDetach(srv, err, 0);
    L::pMyOCIHandleFree(ses, OCI_HTYPE_SESSION);
    L::pMyOCIHandleFree(svc, OCI_HTYPE_SVCCTX);
    L::pMyOCIHandleFree(srv, OCI_HTYPE_SERVER);
    L::pMyOCIHandleFree(err, OCI_HTYPE_ERROR);
  }
};

template <typename Path>
void BM_Path(benchmark::State& state) {
  Path path;
  if (!path.open()) {
    state.SkipWithError("log-on failed");
    return;
  }
  for (auto _ : state) {
    if (!path.run()) {
      state.SkipWithError("query failed");
      return;
    }
  }
  state.SetItemsProcessed(state.iterations() * 10000);
}

double processCpuMs() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

// Both paths in turn, each pair measured back to back, so that a slow spell of a shared machine
// falls on both sides of a pair: the counter "ratio" is the median of the pairs' ratios of the
// collector's process CPU to the bare fetch's, the figure to compare across runs.
void BM_CollectorOverBare(benchmark::State& state) {
  BarePath bare;
  CollectorPath collector;
  if (!bare.open() || !collector.open()) {
    state.SkipWithError("log-on failed");
    return;
  }
  std::vector<double> ratios, bareMs, collectorMs;
  for (auto _ : state) {
    const double t0 = processCpuMs();
    const bool bareOk = bare.run();
    const double t1 = processCpuMs();
    const bool collectorOk = collector.run();
    const double t2 = processCpuMs();
    if (!bareOk || !collectorOk) {
      state.SkipWithError("query failed");
      return;
    }
    bareMs.push_back(t1 - t0);
    collectorMs.push_back(t2 - t1);
    ratios.push_back((t2 - t1) / (t1 - t0));
  }
  auto median = [](std::vector<double> v) {
    std::nth_element(v.begin(), v.begin() + static_cast<long>(v.size() / 2), v.end());
    return v[v.size() / 2];
  };
  state.counters["bare_ms"] = median(bareMs);
  state.counters["collector_ms"] = median(collectorMs);
  state.counters["ratio"] = median(ratios);
}

// Process CPU time: in non-blocking mode the client works on threads of its own.
BENCHMARK_TEMPLATE(BM_Path, BarePath)
    ->Name("BM_BareOciFetch")
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();
BENCHMARK_TEMPLATE(BM_Path, CollectorPath)
    ->Name("BM_SessionIntoAutoStmtTable")
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();
BENCHMARK(BM_CollectorOverBare)->Unit(benchmark::kMillisecond)->MinTime(3)->MeasureProcessCPUTime();

}  // namespace

int main(int argc, char** argv) {
  // glibc takes its mutexes (SQLite's, malloc's) without atomic instructions while a process has
  // one thread; velclient never has one thread, and the collector's path starts the stand-in's
  // worker. A thread that only sleeps puts the bare reference under the same conditions from the
  // first run on, whichever order the runs come in.
  std::thread idle([] { pause(); });
  idle.detach();
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
