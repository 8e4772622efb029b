#include "BenchWorkload.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>

namespace velbench {

const char kGroup[] = "BENCH_ROWS";
const char kRowsQuery[] = "select id, name, val from bench_rows order by id";
const char kRowsSeed[] =
    "CREATE TABLE bench_rows(id NUMBER, name VARCHAR2(30), val NUMBER);\n"
    "WITH RECURSIVE r(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM r WHERE i < 10)\n"
    "  INSERT INTO bench_rows SELECT i, 'row number ' || i, i * 1.25 FROM r;\n";

namespace {

bool parseNumber(const std::string& text, double low, double high, double* out) {
  const char* p = text.c_str();
  char* end = nullptr;
  double v = std::strtod(p, &end);
  if (end == p || *end != '\0' || !(v >= low && v <= high)) return false;
  *out = v;
  return true;
}

bool parseWhole(const std::string& text, int low, int high, int* out) {
  double v = 0;
  if (!parseNumber(text, low, high, &v) || v != static_cast<int>(v)) return false;
  *out = static_cast<int>(v);
  return true;
}

}  // namespace

bool parseOptions(int argc, const char* const* argv, Options* o, std::string* error) {
  // --quick first, so that the options given beside it keep their values.
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) != "--quick") continue;
    o->loadSeconds = 4;
    o->warmupSeconds = 1;
    o->idleSeconds = 8;
    o->inmemSeconds = 1;
  }
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--quick") continue;
    if (a == "--keep") {
      o->keep = true;
      continue;
    }
    bool known = a == "--subnodes" || a == "--load-seconds" || a == "--warmup-seconds" ||
                 a == "--idle-seconds" || a == "--inmem-seconds" || a == "--window" ||
                 a == "--rounds" || a == "--ping";
    if (!known) {
      *error = "unknown option " + a;
      return false;
    }
    if (i + 1 >= argc) {
      *error = a + " needs a value";
      return false;
    }
    std::string value = argv[++i];
    bool ok = false;
    if (a == "--subnodes") {
      std::vector<int> list;
      std::stringstream items(value);
      std::string item;
      int n = 0;
      ok = true;
      while (ok && std::getline(items, item, ',')) {
        ok = parseWhole(item, 1, 500, &n);
        list.push_back(n);
      }
      // "1," leaves getline without an empty last item: the trailing comma is refused here.
      ok = ok && !list.empty() && value.back() != ',';
      std::sort(list.begin(), list.end());
      list.erase(std::unique(list.begin(), list.end()), list.end());
      if (ok) o->subnodes = list;
    } else if (a == "--load-seconds") {
      ok = parseNumber(value, 0.5, 3600, &o->loadSeconds);
    } else if (a == "--warmup-seconds") {
      ok = parseNumber(value, 0, 3600, &o->warmupSeconds);
    } else if (a == "--idle-seconds") {
      ok = parseNumber(value, 1, 3600, &o->idleSeconds);
    } else if (a == "--inmem-seconds") {
      ok = parseNumber(value, 0.1, 3600, &o->inmemSeconds);
    } else if (a == "--window") {
      // The collector refuses requests beyond its queue length (51 by default).
      ok = parseWhole(value, 1, 50, &o->window);
    } else if (a == "--rounds") {
      ok = parseWhole(value, 1, 1000, &o->rounds);
    } else if (a == "--ping") {
      ok = parseWhole(value, 1, 86400, &o->ping);
    }
    if (!ok) {
      *error = "bad value for " + a + ": " + value;
      return false;
    }
  }
  return true;
}

bool isSeedRows(const std::vector<std::vector<std::string>>& rows) {
  if (rows.size() != static_cast<size_t>(kRows)) return false;
  for (size_t i = 0; i < rows.size(); ++i) {
    const std::vector<std::string>& row = rows[i];
    std::string id = std::to_string(i + 1);
    if (row.size() != 3 || row[0] != id || row[1] != "row number " + id || row[2].empty())
      return false;
  }
  return true;
}

}  // namespace velbench
