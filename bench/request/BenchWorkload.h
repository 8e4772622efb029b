// The workload of bench_request: its command-line options and what a right answer is.
#ifndef VEL_BENCH_REQUEST_BENCHWORKLOAD_H
#define VEL_BENCH_REQUEST_BENCHWORKLOAD_H

#include <string>
#include <vector>

namespace velbench {

// The group under load, the rows its statement returns, and the statement itself (also run bare
// as the reference).
extern const char kGroup[];
constexpr int kRows = 10;
extern const char kRowsQuery[];
// The seed of the table: row i (1 to 10) is (i, 'row number i', i * 1.25).
extern const char kRowsSeed[];

struct Options {
  std::vector<int> subnodes = {1, 10, 50};  // ascending, without repeats
  double loadSeconds = 10;
  double warmupSeconds = 2;
  int window = 8;  // outstanding requests per subnode in the deep runs
  double idleSeconds = 30;
  double inmemSeconds = 2;
  int ping = 0;  // 0: VEL_PING_INTERVAL not set (the collector's default)
  bool keep = false;
  int rounds = 1;  // runs of the deep window per subnode count
};

// Parses the arguments (argv[1] on) into *o, which holds the defaults on entry. --quick sets
// shorter times wherever it stands; explicit options win over it. False with a one-line reason
// in *error on an unknown option, a missing value or a value out of range.
bool parseOptions(int argc, const char* const* argv, Options* o, std::string* error);

// True when rows are the ten rows of the seed in order: three columns each, the id and the name
// exactly, the value not empty.
bool isSeedRows(const std::vector<std::vector<std::string>>& rows);

}  // namespace velbench

#endif  // VEL_BENCH_REQUEST_BENCHWORKLOAD_H
