// Statements of the client stand-in: prepare, binds, defines, describe, execute (queries, DML,
// PL/SQL blocks), fetch.
//
// Execution runs the query's first prefetch batch, so that statement errors and the delays of a
// slow statement belong to the execute call as with the real client; fetches hand out prefetched
// rows and go back to SQLite only when the batch is used up.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <unordered_map>

#include "SimNumber.h"
#include "SimOci.h"

using namespace vsim;

namespace {

// Bind variables by name. A buffer that holds no valid input value (an output-only NUMBER not
// yet set, say) fails only when a statement reads it.
struct Vars {
  std::map<std::string, Val> values;
  std::map<std::string, ErrRec> bad;
  Val& operator[](const std::string& k) { return values[k]; }
};

std::string upperAscii(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

ErrRec sqliteErr(sqlite3* db, int rc) {
  const OraError e = mapSqliteError(rc, sqlite3_errmsg(db));
  return makeErr(e.code, e.text);
}

// ---- value conversions -------------------------------------------------------------------------

std::string hexOf(const std::string& bytes) {
  static const char* const kHex = "0123456789ABCDEF";
  std::string r;
  for (unsigned char c : bytes) {
    r += kHex[c >> 4];
    r += kHex[c & 15];
  }
  return r;
}

std::string valText(const Val& v) {
  switch (v.type) {
    case Val::Int: {
      char buf[32];
      std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(v.i));
      return buf;
    }
    case Val::Real: {
      Decimal d;
      return decimalFromDouble(v.d, &d) ? decimalText(d) : std::string("~");
    }
    case Val::Blob:
      return hexOf(v.s);
    default:
      return v.s;
  }
}

bool valDecimal(const Val& v, Decimal* d, ErrRec* e) {
  switch (v.type) {
    case Val::Int:
      *d = decimalFromInt(v.i);
      return true;
    case Val::Real:
      if (decimalFromDouble(v.d, d)) return true;
      *e = makeErr(1426);
      return false;
    case Val::Text:
      if (parseDecimal(v.s, d)) return true;
      *e = makeErr(1722);
      return false;
    default:
      *e = makeErr(932, "inconsistent datatypes: expected NUMBER got BINARY");
      return false;
  }
}

bool valDate(const Val& v, SimDate* out, ErrRec* e) {
  if (v.type == Val::Text) {
    if (parseDate(v.s, out)) return true;
    *e = makeErr(1861);
    return false;
  }
  *e = makeErr(932, "inconsistent datatypes: expected DATE got NUMBER");
  return false;
}

bool isTextType(ub2 dty) {
  return dty == kSqltStr || dty == kSqltChr || dty == kSqltAfc || dty == kSqltLng;
}

bool supportedType(ub2 dty) {
  return isTextType(dty) || dty == kSqltVnu || dty == kSqltInt || dty == kSqltOdt ||
         dty == kSqltBin;
}

// The value of a caller's buffer (a bind's input).
bool bufferVal(const OCIBind* b, Val* v, ErrRec* e) {
  *v = Val();
  if (b->indp != nullptr && *b->indp == -1) return true;
  if (b->valuep == nullptr || b->dty == kSqltRset) return true;
  const char* p = static_cast<const char*>(b->valuep);
  switch (b->dty) {
    case kSqltStr: {
      const size_t n = b->valueSize > 0 ? strnlen(p, static_cast<size_t>(b->valueSize)) : 0;
      if (n > 0) {  // an empty string is NULL, as in Oracle
        v->type = Val::Text;
        v->s.assign(p, n);
      }
      return true;
    }
    case kSqltChr:
    case kSqltAfc:
    case kSqltBin: {
      size_t n = b->valueSize > 0 ? static_cast<size_t>(b->valueSize) : 0;
      if (b->alenp != nullptr) n = *b->alenp;
      if (n > 0) {
        v->type = b->dty == kSqltBin ? Val::Blob : Val::Text;
        v->s.assign(p, n);
      }
      return true;
    }
    case kSqltVnu: {
      Decimal d;
      if (b->valueSize < 1 || !decodeNumber(static_cast<const ub1*>(b->valuep), &d)) {
        *e = makeErr(1722);
        return false;
      }
      *v = decimalToVal(d);
      return true;
    }
    case kSqltInt: {
      v->type = Val::Int;
      switch (b->valueSize) {
        case 1:
          v->i = *reinterpret_cast<const int8_t*>(p);
          return true;
        case 2: {
          int16_t x;
          std::memcpy(&x, p, 2);
          v->i = x;
          return true;
        }
        case 4: {
          int32_t x;
          std::memcpy(&x, p, 4);
          v->i = x;
          return true;
        }
        case 8: {
          int64_t x;
          std::memcpy(&x, p, 8);
          v->i = x;
          return true;
        }
        default:
          *e = makeErr(3115, "unsupported network datatype or representation");
          return false;
      }
    }
    case kSqltOdt: {
      SimDate d;
      std::memcpy(&d, p, sizeof d);
      v->type = Val::Text;
      v->s = dateText(d);
      return true;
    }
    default:
      *e = makeErr(3115, "unsupported network datatype or representation");
      return false;
  }
}

// Where a value goes: a define's row slot or an output bind.
struct Target {
  void* valuep;
  sb4 size;
  ub2 dty;
  sb2* indp;
  ub2* lenp;
  ub2* rcodep;
};

// Stores v into t. A NULL without an indicator fails with ORA-01405. Text too long for the buffer
// is cut (ORA-01406 in *truncated) for a define, refused with ORA-06502 for an output bind.
bool storeVal(const Val& v, const Target& t, bool forBind, bool* truncated, ErrRec* e) {
  if (t.rcodep) *t.rcodep = 0;
  if (v.type == Val::Null) {
    if (t.indp == nullptr) {
      if (t.rcodep) *t.rcodep = 1405;
      *e = makeErr(1405);
      return false;
    }
    *t.indp = -1;
    if (t.lenp) *t.lenp = 0;
    return true;
  }
  if (t.indp) *t.indp = 0;
  if (t.valuep == nullptr) return true;
  char* p = static_cast<char*>(t.valuep);
  if (isTextType(t.dty) || t.dty == kSqltBin) {
    std::string converted;
    const bool raw = v.type == Val::Text || (t.dty == kSqltBin && v.type == Val::Blob);
    if (!raw) converted = valText(v);
    const std::string& s = raw ? v.s : converted;
    const size_t room =
        t.size <= 0 ? 0 : static_cast<size_t>(t.dty == kSqltStr ? t.size - 1 : t.size);
    size_t n = s.size();
    if (n > room) {
      if (forBind) {
        *e = makeErr(6502);
        return false;
      }
      n = room;
      *truncated = true;
      if (t.rcodep) *t.rcodep = 1406;
      if (t.indp) *t.indp = static_cast<sb2>(s.size() > 32767 ? 32767 : s.size());
    }
    std::memcpy(p, s.data(), n);
    if (t.dty == kSqltStr && t.size > 0) p[n] = 0;
    if (t.lenp) *t.lenp = static_cast<ub2>(n);
    return true;
  }
  if (t.dty == kSqltVnu) {
    if (v.type == Val::Int && t.size >= kNumberSize) {
      encodeInt(v.i, static_cast<ub1*>(t.valuep));
      if (t.lenp) *t.lenp = kNumberSize;
      return true;
    }
    Decimal d;
    if (!valDecimal(v, &d, e)) return false;
    ub1 num[kNumberSize];
    if (!encodeNumber(d, num)) {
      *e = makeErr(1426);
      return false;
    }
    std::memcpy(p, num, static_cast<size_t>(t.size < kNumberSize ? t.size : kNumberSize));
    if (t.lenp) *t.lenp = kNumberSize;
    return true;
  }
  if (t.dty == kSqltInt) {
    Decimal d;
    int64_t x = 0;
    if (!valDecimal(v, &d, e)) return false;
    if (!decimalToInt64(d, &x)) {
      *e = makeErr(1426);
      return false;
    }
    switch (t.size) {
      case 1: {
        const int8_t y = static_cast<int8_t>(x);
        std::memcpy(p, &y, 1);
        break;
      }
      case 2: {
        const int16_t y = static_cast<int16_t>(x);
        std::memcpy(p, &y, 2);
        break;
      }
      case 4: {
        const int32_t y = static_cast<int32_t>(x);
        std::memcpy(p, &y, 4);
        break;
      }
      case 8:
        std::memcpy(p, &x, 8);
        break;
      default:
        *e = makeErr(3115, "unsupported network datatype or representation");
        return false;
    }
    if (t.lenp) *t.lenp = static_cast<ub2>(t.size);
    return true;
  }
  if (t.dty == kSqltOdt) {
    SimDate d;
    if (!valDate(v, &d, e)) return false;
    if (t.size < static_cast<sb4>(sizeof d)) {
      *e = makeErr(3115, "unsupported network datatype or representation");
      return false;
    }
    std::memcpy(p, &d, sizeof d);
    if (t.lenp) *t.lenp = sizeof d;
    return true;
  }
  *e = makeErr(3115, "unsupported network datatype or representation");
  return false;
}

// ---- describe ----------------------------------------------------------------------------------

int sizeIn(const std::string& decl, int dflt, bool* charSemantics) {
  const size_t open = decl.find('(');
  if (open == std::string::npos) return dflt;
  int n = dflt;
  char unit[16] = {0};
  const int got = std::sscanf(decl.c_str() + open + 1, " %d %15[A-Z]", &n, unit);
  if (got == 2 && std::strcmp(unit, "CHAR") == 0 && charSemantics) *charSemantics = true;
  return got >= 1 && n > 0 ? n : dflt;
}

bool startsWith(const std::string& s, const char* p) {
  return s.compare(0, std::strlen(p), p) == 0;
}

// A declared column type as OCI describes it; undeclared (expression) columns take the type of
// their first value.
VsimColumn describeColumn(const char* declared, const char* name, Val::Type first) {
  VsimColumn c;
  c.name = upperAscii(name ? name : "");
  std::string d = upperAscii(declared ? declared : "");
  while (!d.empty() && d[0] == ' ') d.erase(0, 1);
  bool charSem = false;
  auto text = [&](ub2 type, int size) {
    c.type = type;
    c.charSize = static_cast<ub2>(size);
    c.charUsed = charSem ? 1 : 0;
    const int bytes = charSem ? size * 4 : size;
    c.dataSize = static_cast<ub2>(bytes > 32767 ? 32767 : bytes);
  };
  // Lengths count characters for the national types and for a declaration such as
  // "VARCHAR2 CHAR(10)" (SQLite does not accept Oracle's "VARCHAR2(10 CHAR)"), else bytes.
  charSem = startsWith(d, "N") || d.find(" CHAR") != std::string::npos;
  if (startsWith(d, "VARCHAR") || startsWith(d, "NVARCHAR") || startsWith(d, "CHARACTER VARYING")) {
    text(kSqltChr, sizeIn(d, 4000, &charSem));
  } else if (startsWith(d, "CHAR") || startsWith(d, "NCHAR")) {
    text(kSqltAfc, sizeIn(d, 1, &charSem));
  } else if (startsWith(d, "CLOB") || startsWith(d, "NCLOB")) {
    charSem = false;
    c.type = kSqltClob;
    c.dataSize = 4000;
    c.charSize = 4000;
  } else if (startsWith(d, "LONG RAW")) {
    // As a real client describes them: LONG and LONG RAW with their own types and no size.
    c.type = kSqltLbi;
    c.dataSize = 0;
  } else if (startsWith(d, "LONG")) {
    charSem = false;
    c.type = kSqltLng;
    c.dataSize = 0;
  } else if (startsWith(d, "TEXT")) {
    text(kSqltChr, 4000);
  } else if (startsWith(d, "BINARY_FLOAT")) {
    c.type = kSqltIbFloat;
    c.dataSize = 4;
  } else if (startsWith(d, "BINARY_DOUBLE")) {
    c.type = kSqltIbDouble;
    c.dataSize = 8;
  } else if (startsWith(d, "NUMBER") || startsWith(d, "INT") || startsWith(d, "FLOAT") ||
             startsWith(d, "DEC") || startsWith(d, "NUMERIC") || startsWith(d, "REAL") ||
             startsWith(d, "DOUBLE") || startsWith(d, "SMALLINT") || startsWith(d, "BIGINT")) {
    c.type = kSqltNum;
    c.dataSize = 22;
  } else if (startsWith(d, "DATE")) {
    c.type = kSqltDat;
    c.dataSize = 7;
  } else if (startsWith(d, "TIMESTAMP")) {
    if (d.find("LOCAL") != std::string::npos) {
      c.type = kSqltTimestampLtz;
      c.dataSize = 11;
    } else if (d.find("TIME ZONE") != std::string::npos) {
      c.type = kSqltTimestampTz;
      c.dataSize = 13;
    } else {
      c.type = kSqltTimestamp;
      c.dataSize = 11;
    }
  } else if (startsWith(d, "BLOB")) {
    c.type = kSqltBlob;
    c.dataSize = 4000;
  } else if (startsWith(d, "RAW")) {
    c.type = kSqltBin;
    c.dataSize = static_cast<ub2>(sizeIn(d, 2000, nullptr));
  } else if (first == Val::Int || first == Val::Real) {
    c.type = kSqltNum;
    c.dataSize = 22;
  } else if (first == Val::Blob) {
    c.type = kSqltBin;
    c.dataSize = 2000;
  } else {
    text(kSqltChr, 4000);
  }
  return c;
}

void describe(OCIStmt* st) {
  st->columns.clear();
  const int n = sqlite3_column_count(st->cursor);
  const std::vector<Val>* first = st->rows.size() > st->nextRow ? &st->rows[st->nextRow] : nullptr;
  for (int i = 0; i < n; ++i) {
    const Val::Type t = first != nullptr ? (*first)[static_cast<size_t>(i)].type : Val::Null;
    st->columns.push_back(describeColumn(sqlite3_column_decltype(st->cursor, i),
                                         sqlite3_column_name(st->cursor, i), t));
  }
}

// ---- cursors -----------------------------------------------------------------------------------

// How many rows one trip to SQLite reads ahead: the prefetch count, but never fewer than 256, as
// reading ahead is invisible to the caller and saves a round per row. While the rows stay small,
// each trip of a cursor asks for twice as many as the last, up to 4096: in non-blocking mode every
// trip is a hand-off to the worker thread and back, which a real client pays once per network
// round trip, not once per few hundred rows of a long result. A trip of wide rows ends once it
// holds 4 MiB of text, as a client's prefetch memory bounds a round trip; the fetch asks for the
// rest on its next trip.
constexpr size_t kTripRowsMax = 4096;
constexpr size_t kTripBytesForGrowth = 256 * 1024;
constexpr size_t kTripBytesMax = 4 * 1024 * 1024;
constexpr size_t kToTheEnd = static_cast<size_t>(-1);

size_t batchRows(const OCIStmt* st, size_t needed) {
  size_t n = st->prefetchRows > 256 ? st->prefetchRows : 256;
  const bool handedOff =
      st->svc != nullptr && st->svc->server != nullptr && st->svc->server->nonblocking;
  if (handedOff && st->lastTripRows >= n && st->lastTripBytes < kTripBytesForGrowth)
    n = std::max(n, std::min(st->lastTripRows * 2, kTripRowsMax));
  return n > needed ? n : needed;
}

// Tops up the prefetched rows to at least `want`; a failure is kept for after the rows.
void fillRows(OCIStmt* st, size_t want) {
  if (st->nextRow >= st->rows.size()) {
    st->rows.clear();
    st->nextRow = 0;
  }
  st->lastTripRows = want;
  st->lastTripBytes = 0;
  sqlite3* db = sqlite3_db_handle(st->cursor);
  while (!st->exhausted && st->rows.size() - st->nextRow < want) {
    const int rc = sqlite3_step(st->cursor);
    if (rc == SQLITE_ROW) {
      const int n = sqlite3_column_count(st->cursor);
      std::vector<Val> row;
      row.reserve(static_cast<size_t>(n));
      for (int i = 0; i < n; ++i) {
        row.push_back(columnVal(st->cursor, i));
        st->lastTripBytes += row.back().s.size();
      }
      st->rows.push_back(std::move(row));
      if (st->lastTripBytes >= kTripBytesMax && want != kToTheEnd) break;
    } else {
      if (rc != SQLITE_DONE) st->pendingError = sqliteErr(db, rc);
      st->exhausted = true;
      sqlite3_reset(st->cursor);  // ends the read transaction
    }
  }
}

bool bindAll(sqlite3_stmt* cs, const Vars& vars, ErrRec* e) {
  const int n = sqlite3_bind_parameter_count(cs);
  for (int i = 1; i <= n; ++i) {
    const char* name = sqlite3_bind_parameter_name(cs, i);
    const std::string key = upperAscii(name != nullptr && name[0] != 0 ? name + 1 : "");
    const auto it = vars.values.find(key);
    if (it == vars.values.end()) {
      const auto bad = vars.bad.find(key);
      *e = bad != vars.bad.end() ? bad->second : makeErr(1008);
      return false;
    }
    bindVal(cs, i, it->second);
  }
  return true;
}

bool prepareBound(sqlite3* db, const SqlText& sql, const Vars& vars, sqlite3_stmt** out,
                  ErrRec* e) {
  *out = nullptr;
  const int rc =
      sqlite3_prepare_v2(db, sql.sql.c_str(), static_cast<int>(sql.sql.size()), out, nullptr);
  if (rc != SQLITE_OK || *out == nullptr) {
    *e = rc != SQLITE_OK ? sqliteErr(db, rc) : makeErr(900);
    sqlite3_finalize(*out);
    *out = nullptr;
    return false;
  }
  if (!bindAll(*out, vars, e)) {
    sqlite3_finalize(*out);
    *out = nullptr;
    return false;
  }
  return true;
}

// A session keeps up to kIdleQueries of its queries prepared once their cursors close, and a query
// of the same text takes one back instead of preparing again: SQLite's prepare costs as much as
// running a short query, and a real server answers a repeated text of a session from its cursor
// cache. SQLite prepares a kept statement again by itself when the schema changed.
constexpr size_t kIdleQueries = 16;

bool prepareQuery(OCISession* ses, const SqlText& sql, const Vars& vars, sqlite3_stmt** out,
                  ErrRec* e) {
  auto& idle = ses->idleQueries;
  for (size_t i = idle.size(); i-- > 0;) {
    if (idle[i].first != sql.sql) continue;
    sqlite3_stmt* cs = idle[i].second;
    idle.erase(idle.begin() + static_cast<long>(i));
    if (!bindAll(cs, vars, e)) {
      sqlite3_finalize(cs);
      *out = nullptr;
      return false;
    }
    *out = cs;
    return true;
  }
  return prepareBound(ses->db, sql, vars, out, e);
}

// Parks a closed cursor's statement with its session for a later query of the same text.
void keepQuery(OCISession* ses, std::string key, sqlite3_stmt* cs) {
  sqlite3_reset(cs);  // ends its read transaction
  sqlite3_clear_bindings(cs);
  auto& idle = ses->idleQueries;
  idle.emplace_back(std::move(key), cs);
  if (idle.size() > kIdleQueries) {
    sqlite3_finalize(idle.front().second);
    idle.erase(idle.begin());
  }
}

}  // namespace

namespace vsim {

void dropIdleQueries(OCISession* ses) {
  for (auto& q : ses->idleQueries) sqlite3_finalize(q.second);
  ses->idleQueries.clear();
}

}  // namespace vsim

namespace {

// Opens cs as the cursor of st and runs its first batch; false with the statement's failure.
bool openCursor(OCIStmt* st, OCISvcCtx* svc, OCISession* ses, sqlite3_stmt* cs, ErrRec* e) {
  closeCursor(st);
  st->cursor = cs;
  st->svc = svc;
  st->session = ses;
  ses->cursors.insert(st);
  fillRows(st, batchRows(st, 1));
  if (st->rows.empty() && st->pendingError.code != 0) {
    *e = st->pendingError;
    closeCursor(st);
    return false;
  }
  describe(st);
  st->executed = true;
  return true;
}

bool inputVars(const OCIStmt* st, Vars* vars, ErrRec* /*e*/) {
  for (const OCIBind* b : st->binds) {
    Val v;
    ErrRec e;
    if (bufferVal(b, &v, &e)) {
      vars->values[b->name] = v;
    } else {
      vars->bad[b->name] = e;
    }
  }
  return true;
}

bool execSql(sqlite3* db, const char* sql) {
  return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

// Starts the session's write transaction unless one is open. Open cursors of the session are
// read to their end first: a WAL read snapshot held by a half-read cursor would keep the
// connection from ever taking the write lock once another session has committed.
void drainCursors(OCISession* ses) {
  for (OCIStmt* other : ses->cursors) {
    if (other->cursor != nullptr && !other->exhausted) fillRows(other, kToTheEnd);
  }
}

bool beginWrite(OCISession* ses, ErrRec* e) {
  sqlite3* db = ses->db;
  if (!sqlite3_get_autocommit(db)) return true;
  drainCursors(ses);
  if (execSql(db, "BEGIN IMMEDIATE")) return true;
  *e = sqliteErr(db, sqlite3_errcode(db));
  return false;
}

// Runs a statement that returns no rows to its end.
bool runToEnd(sqlite3* db, sqlite3_stmt* cs, ub4* changes, ErrRec* e) {
  int rc;
  while ((rc = sqlite3_step(cs)) == SQLITE_ROW) {
  }
  if (rc != SQLITE_DONE) {
    *e = sqliteErr(db, rc);
    return false;
  }
  if (changes) *changes = static_cast<ub4>(sqlite3_changes(db));
  return true;
}

OCIBind* findBind(OCIStmt* st, const std::string& name) {
  for (OCIBind* b : st->binds)
    if (b->name == name) return b;
  return nullptr;
}

// ---- PL/SQL ------------------------------------------------------------------------------------

bool runStep(OCISvcCtx* svc, OCIStmt* st, OCISession* ses, const PlsqlStep& step, Vars* vars,
             std::map<std::string, bool>* assigned, bool* savepoint, ErrRec* e) {
  sqlite3* db = ses->db;
  sqlite3_stmt* cs = nullptr;
  switch (step.kind) {
    case PlsqlStep::Null:
      return true;
    case PlsqlStep::Commit:
      if (!sqlite3_get_autocommit(db)) execSql(db, "COMMIT");
      *savepoint = false;
      return true;
    case PlsqlStep::Sleep:
      if (breakableSleep(svc, step.seconds)) return true;
      *e = makeErr(1013);
      return false;
    case PlsqlStep::Raise:
      *e = makeErr(step.code, step.text);
      return false;
    case PlsqlStep::Assign:
    case PlsqlStep::SelectInto: {
      if (!prepareBound(db, step.sql, *vars, &cs, e)) return false;
      int rc = sqlite3_step(cs);
      const size_t want = step.kind == PlsqlStep::Assign ? 1 : step.into.size();
      bool ok = true;
      if (rc == SQLITE_ROW) {
        const size_t n = static_cast<size_t>(sqlite3_column_count(cs));
        if (n != want) {
          *e = makeErr(n < want ? 947 : 913);
          ok = false;
        } else {
          std::vector<Val> row;
          for (size_t i = 0; i < n; ++i) row.push_back(columnVal(cs, static_cast<int>(i)));
          if (step.kind == PlsqlStep::SelectInto && (rc = sqlite3_step(cs)) == SQLITE_ROW) {
            *e = makeErr(1422);
            ok = false;
          } else if (step.kind == PlsqlStep::SelectInto && rc != SQLITE_DONE) {
            *e = sqliteErr(db, rc);
            ok = false;
          } else {
            for (size_t i = 0; i < n; ++i) {
              const std::string& name = step.kind == PlsqlStep::Assign ? step.target : step.into[i];
              (*vars)[name] = row[i];
              (*assigned)[name] = true;
            }
          }
        }
      } else if (rc == SQLITE_DONE) {
        *e = makeErr(1403);
        ok = false;
      } else {
        *e = sqliteErr(db, rc);
        ok = false;
      }
      sqlite3_finalize(cs);
      return ok;
    }
    case PlsqlStep::OpenCursor: {
      OCIBind* b = findBind(st, step.target);
      if (b == nullptr || b->dty != kSqltRset || b->valuep == nullptr) {
        *e = makeErr(1008);
        return false;
      }
      OCIStmt* cur = *static_cast<OCIStmt**>(b->valuep);
      if (!isHandle(cur, kHtStmt) || cur == st) {
        *e = makeErr(1008);
        return false;
      }
      if (!prepareBound(db, step.sql, *vars, &cs, e)) return false;
      closeCursor(cur);
      cur->sql = step.sql;
      cur->sql.kind = StmtKind::Select;
      cur->steps.clear();
      cur->prepared = true;
      return openCursor(cur, svc, ses, cs, e);
    }
    case PlsqlStep::Dml: {
      if (!beginWrite(ses, e)) return false;
      if (!*savepoint) *savepoint = execSql(db, "SAVEPOINT vsim_block");
      if (!prepareBound(db, step.sql, *vars, &cs, e)) return false;
      const bool ok = runToEnd(db, cs, &st->rowCount, e);
      sqlite3_finalize(cs);
      return ok;
    }
  }
  return true;
}

sword runPlsql(OCISvcCtx* svc, OCIStmt* st, OCISession* ses, ub4 mode, ErrList* errs) {
  sqlite3* db = ses->db;
  ErrRec e;
  Vars vars;
  if (!inputVars(st, &vars, &e)) {
    errs->push_back(e);
    return kError;
  }
  std::map<std::string, bool> assigned;
  bool savepoint = false;
  bool ok = true;
  for (const PlsqlStep& step : st->steps) {
    if (breakRequested(svc)) {
      e = makeErr(1013);
      ok = false;
    } else {
      ok = runStep(svc, st, ses, step, &vars, &assigned, &savepoint, &e);
    }
    if (!ok) break;
  }
  if (ok) {
    for (OCIBind* b : st->binds) {
      if (b->dty == kSqltRset || assigned.find(b->name) == assigned.end()) continue;
      Target t{b->valuep, b->valueSize, b->dty, b->indp, b->alenp, b->rcodep};
      bool truncated = false;
      if (!storeVal(vars[b->name], t, true, &truncated, &e)) {
        ok = false;
        break;
      }
    }
  }
  if (!ok) {
    // An unhandled error undoes the block's own work.
    if (savepoint && !sqlite3_get_autocommit(db)) {
      execSql(db, "ROLLBACK TO vsim_block");
      execSql(db, "RELEASE vsim_block");
    }
    errs->push_back(e);
    return kError;
  }
  if (savepoint && !sqlite3_get_autocommit(db)) execSql(db, "RELEASE vsim_block");
  if ((mode & kCommitOnSuccess) && !sqlite3_get_autocommit(db)) execSql(db, "COMMIT");
  st->executed = true;
  return kSuccess;
}

// ---- execute -----------------------------------------------------------------------------------

sword fetchRows(OCIStmt* st, OCIError* err, ub4 nrows);

sword execute(OCISvcCtx* svc, OCIStmt* st, OCISession* ses, ub4 iters, ub4 mode, ErrList* errs) {
  sqlite3* db = ses->db;
  setActiveDb(svc, db);
  auto failWith = [errs](const ErrRec& e) {
    errs->push_back(e);
    return kError;
  };
  // Each statement sees what other sessions committed before it started, as in Oracle: half-read
  // cursors of the session are read to their end so that SQLite drops their old read snapshot.
  closeCursor(st);
  if (sqlite3_get_autocommit(db)) drainCursors(ses);
  const FaultPlan faults = readFaults(ses, st->text);
  if (faults.delayMs > 0 && !breakableSleep(svc, faults.delayMs / 1000.0)) {
    return failWith(makeErr(1013));
  }
  if (faults.drop) {
    if (ses->server != nullptr) ses->server->dropped = true;
    return failWith(makeErr(3113));
  }
  if (faults.errorCode != 0) return failWith(makeErr(faults.errorCode));
  if (breakRequested(svc)) return failWith(makeErr(1013));

  const bool plsql = st->sql.kind == StmtKind::Plsql;
  const bool query = st->sql.kind == StmtKind::Select;
  if (mode & kParseOnly) {
    if (plsql) return kSuccess;  // the block was parsed when prepared
    sqlite3_stmt* cs = nullptr;
    const int rc = sqlite3_prepare_v2(db, st->sql.sql.c_str(), -1, &cs, nullptr);
    sqlite3_finalize(cs);
    return rc == SQLITE_OK ? kSuccess : failWith(sqliteErr(db, rc));
  }
  if (!query && iters == 0) return failWith(makeErr(24333));
  if (plsql) return runPlsql(svc, st, ses, mode, errs);

  ErrRec e;
  Vars vars;
  if (!inputVars(st, &vars, &e)) return failWith(e);
  closeCursor(st);
  sqlite3_stmt* cs = nullptr;
  if (st->sql.kind == StmtKind::Other) {
    // Transaction control goes to the session's transaction; anything else (DDL) commits first.
    const std::string head = upperAscii(st->sql.sql.substr(0, 8));
    if (startsWith(head, "COMMIT") || startsWith(head, "ROLLBACK")) {
      if (!sqlite3_get_autocommit(db))
        execSql(db, startsWith(head, "COMMIT") ? "COMMIT" : "ROLLBACK");
      st->executed = true;
      return kSuccess;
    }
    if (!sqlite3_get_autocommit(db)) execSql(db, "COMMIT");
    drainCursors(ses);
  }
  if (query ? !prepareQuery(ses, st->sql, vars, &cs, &e)
            : !prepareBound(db, st->sql, vars, &cs, &e))
    return failWith(e);
  if (query) {
    if (mode & kDescribeOnly) {
      closeCursor(st);
      st->cursor = cs;
      st->cursorKey = st->sql.sql;
      st->svc = svc;
      st->session = ses;
      ses->cursors.insert(st);
      describe(st);
      return kSuccess;
    }
    armInlineDeadline(svc);
    if (!openCursor(st, svc, ses, cs, &e)) return failWith(e);
    st->cursorKey = st->sql.sql;
    st->dropAfterRows = faults.dropAfterRows;
    return kSuccess;
  }
  if (st->sql.kind != StmtKind::Other && !beginWrite(ses, &e)) {
    sqlite3_finalize(cs);
    return failWith(e);
  }
  const bool ok = runToEnd(db, cs, &st->rowCount, &e);
  sqlite3_finalize(cs);
  if (!ok) return failWith(e);
  if ((mode & kCommitOnSuccess) && !sqlite3_get_autocommit(db)) execSql(db, "COMMIT");
  st->executed = true;
  return kSuccess;
}

void freeBinds(OCIStmt* st) {
  for (OCIBind* b : st->binds) deleteHandle(b);
  st->binds.clear();
  for (OCIDefine* d : st->defines) deleteHandle(d);
  st->defines.clear();
}

// Copies the next prefetched row into the defines at row slot r. Returns OCI_SUCCESS,
// OCI_SUCCESS_WITH_INFO (truncated with indicators) or OCI_ERROR (with *e).
sword deliverRow(OCIStmt* st, ub4 r, ErrRec* e) {
  const std::vector<Val>& row = st->rows[st->nextRow++];
  ++st->rowCount;
  sword status = kSuccess;
  for (OCIDefine* d : st->defines) {
    if (d == nullptr || d->position > row.size()) continue;
    const size_t stride = d->valueSize > 0 ? static_cast<size_t>(d->valueSize) : 0;
    Target t{d->valuep ? static_cast<char*>(d->valuep) + r * stride : nullptr,
             d->valueSize,
             d->dty,
             d->indp ? d->indp + r : nullptr,
             d->rlenp ? d->rlenp + r : nullptr,
             d->rcodep ? d->rcodep + r : nullptr};
    bool truncated = false;
    ErrRec one;
    if (!storeVal(row[d->position - 1], t, false, &truncated, &one)) {
      if (status != kError) *e = one;
      status = kError;
    } else if (truncated && status != kError) {
      // The value is delivered cut; with an indicator the row still counts as fetched.
      *e = makeErr(1406);
      status = t.indp != nullptr ? kSuccessWithInfo : kError;
    }
  }
  return status;
}

bool sessionLost(const OCIStmt* st) {
  return st->session != nullptr && st->session->server != nullptr && st->session->server->dropped;
}

}  // namespace

namespace vsim {

void closeCursor(OCIStmt* st) {
  if (st->cursor != nullptr) {
    OCISession* ses = st->session;
    if (!st->cursorKey.empty() && ses != nullptr && ses->db == sqlite3_db_handle(st->cursor)) {
      keepQuery(ses, std::move(st->cursorKey), st->cursor);
    } else {
      sqlite3_finalize(st->cursor);
    }
  }
  st->cursor = nullptr;
  st->cursorKey.clear();
  if (st->session != nullptr) st->session->cursors.erase(st);
  st->session = nullptr;
  st->svc = nullptr;
  st->columns.clear();
  st->rows.clear();
  st->nextRow = 0;
  st->lastTripRows = 0;
  st->lastTripBytes = 0;
  st->dropAfterRows = -1;
  st->executed = false;
  st->exhausted = false;
  st->endReported = false;
  st->pendingError = ErrRec();
  st->rowCount = 0;
}

}  // namespace vsim

void vsimFreeStmt(OCIStmt* st) {
  closeCursor(st);
  freeBinds(st);
  for (OCIParam* p : st->params) deleteHandle(p);
  st->params.clear();
  deleteHandle(st);
}

namespace {

// Translating the Oracle dialect costs more than SQLite's own parse of the result, and a program
// prepares the same few hundred texts over and over, as a real server sees them and answers a
// repeated text from its cursor cache. Translations (failures too) are kept by text, process-wide,
// forgotten all at once when 1024 are held.
bool translateCached(const std::string& text, SqlText* out, OraError* err) {
  struct Entry {
    bool ok;
    SqlText sql;
    OraError error;
  };
  static std::mutex mu;
  static std::unordered_map<std::string, Entry> cache;
  {
    std::lock_guard<std::mutex> lk(mu);
    const auto it = cache.find(text);
    if (it != cache.end()) {
      *out = it->second.sql;
      *err = it->second.error;
      return it->second.ok;
    }
  }
  const bool ok = translateSql(text, out, err);
  std::lock_guard<std::mutex> lk(mu);
  if (cache.size() >= 1024) cache.clear();
  cache.emplace(text, Entry{ok, *out, *err});
  return ok;
}

}  // namespace

VSIM_API sword OCIStmtPrepare(OCIStmt* stmtp, OCIError* errhp, const text* stmt, ub4 stmtLen,
                              ub4 /*language*/, ub4 /*mode*/) {
  if (!isHandle(stmtp, kHtStmt) || !isHandle(errhp, kHtError)) return kInvalidHandle;
  closeCursor(stmtp);
  freeBinds(stmtp);
  stmtp->prepared = false;
  stmtp->steps.clear();
  stmtp->sql = SqlText();
  stmtp->text.assign(stmt != nullptr ? reinterpret_cast<const char*>(stmt) : "",
                     stmt != nullptr ? stmtLen : 0);
  OraError e;
  if (!translateCached(stmtp->text, &stmtp->sql, &e)) return failCode(errhp, e.code, e.text);
  if (stmtp->sql.kind == StmtKind::Plsql && !parsePlsql(stmtp->text, &stmtp->steps, &e)) {
    return failCode(errhp, e.code, e.text);
  }
  stmtp->prepared = true;
  return kSuccess;
}

VSIM_API sword OCIBindByName(OCIStmt* stmtp, OCIBind** bindp, OCIError* errhp,
                             const text* placeholder, sb4 placehLen, void* valuep, sb4 valueSz,
                             ub2 dty, void* indp, ub2* alenp, ub2* rcodep, ub4 /*maxarrLen*/,
                             ub4* /*curelep*/, ub4 /*mode*/) {
  if (!isHandle(stmtp, kHtStmt) || !isHandle(errhp, kHtError) || bindp == nullptr) {
    return kInvalidHandle;
  }
  if (!stmtp->prepared) return failCode(errhp, 24337);
  if (placeholder == nullptr) return failCode(errhp, 1036);
  const char* p = reinterpret_cast<const char*>(placeholder);
  std::string name(p, placehLen > 0 ? static_cast<size_t>(placehLen) : std::strlen(p));
  if (!name.empty() && name[0] == ':') name.erase(0, 1);
  name = upperAscii(name);
  bool known = false;
  for (const std::string& b : stmtp->sql.binds) known = known || b == name;
  if (!known) return failCode(errhp, 1036);
  if (!supportedType(dty) && dty != kSqltRset) {
    return failCode(errhp, 3115, "unsupported network datatype or representation");
  }
  OCIBind* b = findBind(stmtp, name);
  if (b == nullptr) {
    b = newHandle<OCIBind>(stmtp->env, kHtBind);
    if (b == nullptr) return failCode(errhp, 4030, "out of process memory");
    stmtp->binds.push_back(b);
  }
  b->stmt = stmtp;
  b->name = name;
  b->valuep = valuep;
  b->valueSize = valueSz;
  b->dty = dty;
  b->indp = static_cast<sb2*>(indp);
  b->alenp = alenp;
  b->rcodep = rcodep;
  b->maxDataSize = valueSz > 0 ? static_cast<ub4>(valueSz) : 0;
  *bindp = b;
  return kSuccess;
}

VSIM_API sword OCIDefineByPos(OCIStmt* stmtp, OCIDefine** defnp, OCIError* errhp, ub4 position,
                              void* valuep, sb4 valueSz, ub2 dty, void* indp, ub2* rlenp,
                              ub2* rcodep, ub4 /*mode*/) {
  if (!isHandle(stmtp, kHtStmt) || !isHandle(errhp, kHtError) || defnp == nullptr) {
    return kInvalidHandle;
  }
  if (position < 1 || (stmtp->executed && position > stmtp->columns.size())) {
    return failCode(errhp, 1007, "variable not in select list");
  }
  if (!supportedType(dty)) {
    return failCode(errhp, 3115, "unsupported network datatype or representation");
  }
  if (stmtp->defines.size() < position) stmtp->defines.resize(position, nullptr);
  OCIDefine*& d = stmtp->defines[position - 1];
  if (d == nullptr) {
    d = newHandle<OCIDefine>(stmtp->env, kHtDefine);
    if (d == nullptr) return failCode(errhp, 4030, "out of process memory");
  }
  d->stmt = stmtp;
  d->position = position;
  d->valuep = valuep;
  d->valueSize = valueSz;
  d->dty = dty;
  d->indp = static_cast<sb2*>(indp);
  d->rlenp = rlenp;
  d->rcodep = rcodep;
  *defnp = d;
  return kSuccess;
}

VSIM_API sword OCIParamGet(const void* hndlp, ub4 htype, OCIError* errhp, void** parmdpp, ub4 pos) {
  if (htype != kHtStmt || !isHandle(hndlp, kHtStmt) || !isHandle(errhp, kHtError) ||
      parmdpp == nullptr) {
    return kInvalidHandle;
  }
  OCIStmt* st = const_cast<OCIStmt*>(static_cast<const OCIStmt*>(hndlp));
  if (st->cursor == nullptr && !st->executed) return failCode(errhp, 24338);
  if (pos < 1 || pos > st->columns.size()) return failCode(errhp, 24334);
  OCIParam* p = newHandle<OCIParam>(st->env, kDtParam);
  if (p == nullptr) return failCode(errhp, 4030, "out of process memory");
  p->stmt = st;
  p->col = st->columns[pos - 1];
  st->params.insert(p);
  *parmdpp = p;
  return kSuccess;
}

VSIM_API sword OCIStmtExecute(OCISvcCtx* svchp, OCIStmt* stmtp, OCIError* errhp, ub4 iters,
                              ub4 /*rowoff*/, const OCISnapshot* /*snapIn*/,
                              OCISnapshot* /*snapOut*/, ub4 mode) {
  if (!isHandle(svchp, kHtSvcCtx) || !isHandle(stmtp, kHtStmt) || !isHandle(errhp, kHtError)) {
    return kInvalidHandle;
  }
  OCISession* ses = svchp->session;
  // The checks belong to a new call; the same call made again collects the running one.
  if (!callPending(svchp, OCISvcCtx::Execute, stmtp)) {
    if (svchp->server != nullptr && svchp->server->dropped) return failCode(errhp, 3114);
    if (ses == nullptr || ses->db == nullptr) return failCode(errhp, 1012);
    if (!stmtp->prepared) return failCode(errhp, 24337);
  }
  // A query's execute can start over: it closes the statement's cursor before anything else.
  const bool rerunnable = stmtp->sql.kind == StmtKind::Select;
  sword rc = runCall(
      svchp, errhp, OCISvcCtx::Execute, stmtp,
      [svchp, stmtp, ses, iters, mode](ErrList* errs) {
        return execute(svchp, stmtp, ses, iters, mode, errs);
      },
      rerunnable);
  // A query executed with iterations fetches its first row at once.
  if (rc == kSuccess && stmtp->sql.kind == StmtKind::Select && iters > 0 &&
      !(mode & (kDescribeOnly | kParseOnly))) {
    rc = fetchRows(stmtp, errhp, 1);
  }
  return rc;
}

namespace {

sword fetchRows(OCIStmt* st, OCIError* err, ub4 nrows) {
  sword status = kSuccess;
  ErrRec info;
  for (ub4 r = 0; r < nrows; ++r) {
    // While a read-ahead runs on the worker, the rows belong to it: only collect.
    const bool pending = st->svc != nullptr && callPending(st->svc, OCISvcCtx::Fetch, st);
    if (pending || st->nextRow >= st->rows.size()) {
      if (pending) {
        // fall through to the call below, which collects
      } else if (st->pendingError.code != 0) {
        const ErrRec e = st->pendingError;
        st->pendingError = ErrRec();
        return fail(err, e);
      } else if (st->exhausted) {
        st->endReported = true;
        fail(err, makeErr(1403));  // the end of the rows carries "no data found"
        return kNoData;
      }
      OCISvcCtx* svc = st->svc;
      // While a read-ahead runs, its cursor's fields belong to the worker: the size only matters
      // for a new one.
      const size_t want = pending ? 0 : batchRows(st, nrows - r);
      const sword rc = runCall(svc, err, OCISvcCtx::Fetch, st, [svc, st, want](ErrList*) {
        setActiveDb(svc, st->session->db);
        fillRows(st, want);
        return kSuccess;
      });
      if (rc != kSuccess) return rc;
      if (st->nextRow >= st->rows.size()) {
        --r;  // the batch brought no row: report its end or failure
        continue;
      }
    }
    if (st->dropAfterRows >= 0 && st->rowCount >= st->dropAfterRows) {
      if (st->session != nullptr && st->session->server != nullptr)
        st->session->server->dropped = true;
      return fail(err, makeErr(3113));
    }
    ErrRec e;
    const sword one = deliverRow(st, r, &e);
    if (one == kError) return fail(err, e);
    if (one == kSuccessWithInfo) {
      status = kSuccessWithInfo;
      info = e;
    }
  }
  if (status == kSuccessWithInfo) fail(err, info);
  return status;
}

}  // namespace

VSIM_API sword OCIStmtFetch2(OCIStmt* stmtp, OCIError* errhp, ub4 nrows, ub2 orientation,
                             sb4 /*fetchOffset*/, ub4 /*mode*/) {
  if (!isHandle(stmtp, kHtStmt) || !isHandle(errhp, kHtError)) return kInvalidHandle;
  if (stmtp->svc != nullptr && callPending(stmtp->svc, OCISvcCtx::Fetch, stmtp)) {
    return fetchRows(stmtp, errhp, nrows);
  }
  if (sessionLost(stmtp)) return failCode(errhp, 3114);
  if (!stmtp->executed || stmtp->cursor == nullptr) {
    return failCode(errhp, stmtp->executed ? 1002 : 24338);
  }
  if (orientation != 0 && orientation != kFetchNext) return failCode(errhp, 1002);
  if (stmtp->endReported) return failCode(errhp, 1002);
  if (nrows == 0) {
    closeCursor(stmtp);
    return kSuccess;
  }
  return fetchRows(stmtp, errhp, nrows);
}
