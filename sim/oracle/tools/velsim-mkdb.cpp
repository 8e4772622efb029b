// velsim-mkdb SEED.sql [MORE.sql ...] OUT.db: builds a database file of the Oracle stand-in from
// SQL seeds (applied in order, in one transaction). OUT.db is replaced if it exists and is left
// in WAL mode, as the stand-in opens it.
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "SeedLoader.h"

namespace {

void removeDb(const std::string& path) {
  unlink(path.c_str());
  unlink((path + "-wal").c_str());
  unlink((path + "-shm").c_str());
  unlink((path + "-journal").c_str());
}

int fail(sqlite3* db, const std::string& out, const std::string& message) {
  std::fprintf(stderr, "velsim-mkdb: %s\n", message.c_str());
  sqlite3_close(db);
  removeDb(out);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: velsim-mkdb SEED.sql [MORE.sql ...] OUT.db\n");
    return 2;
  }
  const std::string out = argv[argc - 1];
  removeDb(out);
  sqlite3* db = nullptr;
  if (sqlite3_open(out.c_str(), &db) != SQLITE_OK) {
    return fail(db, out, out + ": " + (db ? sqlite3_errmsg(db) : "cannot open"));
  }
  char* msg = nullptr;
  if (sqlite3_exec(db, "PRAGMA journal_mode=WAL; BEGIN", nullptr, nullptr, &msg) != SQLITE_OK) {
    const std::string text = msg ? msg : "error";
    sqlite3_free(msg);
    return fail(db, out, out + ": " + text);
  }
  for (int i = 1; i < argc - 1; ++i) {
    std::string err;
    if (!vsim::loadSeed(db, argv[i], &err)) return fail(db, out, err);
  }
  if (sqlite3_exec(db, "COMMIT", nullptr, nullptr, &msg) != SQLITE_OK) {
    const std::string text = msg ? msg : "error";
    sqlite3_free(msg);
    return fail(db, out, out + ": " + text);
  }
  if (sqlite3_close(db) != SQLITE_OK) {
    std::fprintf(stderr, "velsim-mkdb: %s: close failed\n", out.c_str());
    return 1;
  }
  return 0;
}
