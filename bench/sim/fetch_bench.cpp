// A 10,000-row fetch through the client stand-in against the same query run directly with the
// SQLite API. The stand-in is loaded with dlopen and driven through its OCI entry points: text
// defined as null-terminated strings, numbers as OCINumber, one row per fetch call, as the
// program fetches. The direct run steps the same statement and copies the same values out.
// The closing line prints the ratio of the two times.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

typedef int sword;
typedef unsigned int ub4;
typedef unsigned short ub2;
typedef short sb2;
typedef unsigned char ub1;

constexpr int kRows = 10000;
const char* const kQuery = "select id, name, val from rowset order by id";

struct Api {
  sword (*EnvCreate)(void**, ub4, const void*, void*, void*, void*, size_t, void**);
  sword (*HandleAlloc)(const void*, void**, ub4, size_t, void**);
  sword (*HandleFree)(void*, ub4);
  sword (*ServerAttach)(void*, void*, const ub1*, int, ub4);
  sword (*AttrSet)(void*, ub4, void*, ub4, ub4, void*);
  sword (*SessionBegin)(void*, void*, void*, ub4, ub4);
  sword (*StmtPrepare)(void*, void*, const ub1*, ub4, ub4, ub4);
  sword (*DefineByPos)(void*, void**, void*, ub4, void*, int, ub2, void*, ub2*, ub2*, ub4);
  sword (*StmtExecute)(void*, void*, void*, ub4, ub4, const void*, void*, ub4);
  sword (*StmtFetch2)(void*, void*, ub4, ub2, int, ub4);
};

template <class F>
void load(void* lib, F* fn, const char* name) {
  *fn = reinterpret_cast<F>(dlsym(lib, name));
  if (*fn == nullptr) {
    std::fprintf(stderr, "missing %s\n", name);
    abort();
  }
}

// The database and one logged-on stand-in session, made once.
struct Fixture {
  std::string dir, path;
  Api api{};
  void *env = nullptr, *err = nullptr, *srv = nullptr, *svc = nullptr, *ses = nullptr;
  sqlite3* direct = nullptr;

  Fixture() {
    char tmpl[] = "/tmp/velsimbench.XXXXXX";
    if (mkdtemp(tmpl) == nullptr) abort();
    dir = tmpl;
    path = dir + "/bench.db";
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) abort();
    const char* setup =
        "CREATE TABLE sim_users(username TEXT, password TEXT, roles TEXT, locked INTEGER);"
        "INSERT INTO sim_users VALUES('bench','bench','',0);"
        "CREATE TABLE rowset(id INTEGER, name VARCHAR2(30), val NUMBER);"
        "WITH RECURSIVE r(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM r WHERE i<10000) "
        "INSERT INTO rowset SELECT i, 'name of row ' || i, i * 1.25 FROM r;";
    if (sqlite3_exec(db, setup, nullptr, nullptr, nullptr) != SQLITE_OK) abort();
    sqlite3_close(db);
    setenv("VELSIM_DIR", dir.c_str(), 1);

    void* lib = dlopen(VEL_SIM_LIB, RTLD_NOW);
    if (lib == nullptr) abort();
    load(lib, &api.EnvCreate, "OCIEnvCreate");
    load(lib, &api.HandleAlloc, "OCIHandleAlloc");
    load(lib, &api.HandleFree, "OCIHandleFree");
    load(lib, &api.ServerAttach, "OCIServerAttach");
    load(lib, &api.AttrSet, "OCIAttrSet");
    load(lib, &api.SessionBegin, "OCISessionBegin");
    load(lib, &api.StmtPrepare, "OCIStmtPrepare");
    load(lib, &api.DefineByPos, "OCIDefineByPos");
    load(lib, &api.StmtExecute, "OCIStmtExecute");
    load(lib, &api.StmtFetch2, "OCIStmtFetch2");
    api.EnvCreate(&env, 1, nullptr, nullptr, nullptr, nullptr, 0, nullptr);
    api.HandleAlloc(env, &err, 2, 0, nullptr);
    api.HandleAlloc(env, &srv, 8, 0, nullptr);
    api.HandleAlloc(env, &svc, 3, 0, nullptr);
    api.HandleAlloc(env, &ses, 9, 0, nullptr);
    if (api.ServerAttach(srv, err, reinterpret_cast<const ub1*>("bench"), 5, 0) != 0) abort();
    api.AttrSet(svc, 3, srv, 0, 6, err);
    api.AttrSet(ses, 9, const_cast<char*>("bench"), 5, 22, err);
    api.AttrSet(ses, 9, const_cast<char*>("bench"), 5, 23, err);
    if (api.SessionBegin(svc, err, ses, 1, 0) != 0) abort();
    if (sqlite3_open(path.c_str(), &direct) != SQLITE_OK) abort();
  }
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

// One pass through the stand-in; returns the rows fetched.
int standInPass(bool nonblocking, ub4 prefetch) {
  Fixture& f = fixture();
  const Api& a = f.api;
  ub1 mode = nonblocking ? 1 : 0;
  a.AttrSet(f.svc, 3, &mode, 0, 3, f.err);
  void* stmt = nullptr;
  a.HandleAlloc(f.env, &stmt, 4, 0, nullptr);
  a.StmtPrepare(stmt, f.err, reinterpret_cast<const ub1*>(kQuery),
                static_cast<ub4>(std::strlen(kQuery)), 1, 0);
  a.AttrSet(stmt, 4, &prefetch, 0, 11, f.err);
  ub1 id[22], val[22];
  char name[31];
  sb2 ind[3];
  void* d = nullptr;
  a.DefineByPos(stmt, &d, f.err, 1, id, 22, 6, &ind[0], nullptr, nullptr, 0);
  a.DefineByPos(stmt, &d, f.err, 2, name, sizeof name, 5, &ind[1], nullptr, nullptr, 0);
  a.DefineByPos(stmt, &d, f.err, 3, val, 22, 6, &ind[2], nullptr, nullptr, 0);
  sword rc;
  while ((rc = a.StmtExecute(f.svc, stmt, f.err, 0, 0, nullptr, nullptr, 0)) == -3123) {
  }
  int rows = 0;
  while (rc == 0) {
    while ((rc = a.StmtFetch2(stmt, f.err, 1, 2, 1, 0)) == -3123) {
    }
    if (rc == 0) ++rows;
  }
  a.HandleFree(stmt, 4);
  return rows;
}

int directPass() {
  sqlite3* db = fixture().direct;
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, kQuery, -1, &st, nullptr);
  char name[31];
  int rows = 0;
  long long idSum = 0;
  double valSum = 0;
  while (sqlite3_step(st) == SQLITE_ROW) {
    idSum += sqlite3_column_int64(st, 0);
    const unsigned char* t = sqlite3_column_text(st, 1);
    std::snprintf(name, sizeof name, "%s", t ? reinterpret_cast<const char*>(t) : "");
    valSum += sqlite3_column_double(st, 2);
    ++rows;
  }
  sqlite3_finalize(st);
  benchmark::DoNotOptimize(idSum);
  benchmark::DoNotOptimize(valSum);
  benchmark::DoNotOptimize(name[0]);
  return rows;
}

void BM_DirectSqlite(benchmark::State& state) {
  for (auto _ : state) {
    if (directPass() != kRows) state.SkipWithError("row count");
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_DirectSqlite)->Unit(benchmark::kMillisecond);

void BM_StandInBlocking(benchmark::State& state) {
  for (auto _ : state) {
    if (standInPass(false, 1) != kRows) state.SkipWithError("row count");
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_StandInBlocking)->Unit(benchmark::kMillisecond);

// The program's own settings: non-blocking mode, 100 rows prefetched.
void BM_StandInNonBlockingPrefetch100(benchmark::State& state) {
  for (auto _ : state) {
    if (standInPass(true, 100) != kRows) state.SkipWithError("row count");
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_StandInNonBlockingPrefetch100)->Unit(benchmark::kMillisecond);

template <class Pass>
double medianMs(Pass pass, int rounds) {
  std::vector<double> ms;
  for (int i = 0; i < rounds; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    pass();
    ms.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
  }
  std::sort(ms.begin(), ms.end());
  return ms[ms.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  const double direct = medianMs(directPass, 21);
  const double blocking = medianMs([] { standInPass(false, 1); }, 21);
  const double nonblocking = medianMs([] { standInPass(true, 100); }, 21);
  std::printf(
      "10000-row fetch, median of 21: direct SQLite %.2f ms, stand-in blocking %.2f ms (ratio "
      "%.2f), stand-in non-blocking prefetch 100 %.2f ms (ratio %.2f)\n",
      direct, blocking, blocking / direct, nonblocking, nonblocking / direct);
  return 0;
}
