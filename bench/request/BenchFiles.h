// Files of a collector run driven from a benchmark (bench_request, bench_soak): a temporary work
// folder, small file helpers, the catalog entries every session needs, and the names of the
// benchmark subnodes and their simulated databases. No locking: each run owns its files.
#ifndef VEL_BENCH_REQUEST_BENCHFILES_H
#define VEL_BENCH_REQUEST_BENCHFILES_H

#include <string>

#include "AgentSim.h"

namespace velbench {

bool writeText(const std::string& path, const std::string& text);
// The whole file; empty when it cannot be read.
std::string readText(const std::string& path);
bool copyFile(const std::string& from, const std::string& to);
bool exists(const std::string& path);

// A fresh folder under TMPDIR (or /tmp), removed with its contents unless kept.
class WorkDir {
 public:
  explicit WorkDir(bool keep);
  ~WorkDir();
  WorkDir(const WorkDir&) = delete;
  WorkDir& operator=(const WorkDir&) = delete;
  bool ok() const { return !m_path.empty(); }
  std::string file(const std::string& name) const { return m_path + "/" + name; }
  const std::string& path() const { return m_path; }

 private:
  std::string m_path;
  bool m_keep;
};

// One catalog entry; attrs are the SQLInfo attributes from the id's opening quote on.
std::string catalogEntry(const std::string& attrs, const std::string& sql);
// The statements every session runs to connect: database information, instances and the
// instance cache's 17 columns.
std::string sessionCatalogEntries();
// A catalog document holding entries.
std::string catalogDocument(const std::string& entries);

// Subnode i (from 1): "DB<i>", connect string "benchhost<i>:1521/DB<i>", and the file name of
// its simulated database.
std::string subnodeName(int i);
std::string connectString(int i);
std::string databaseFile(int i);

// How a benchmark starts the collector: the files of dir (velsql.xml, ref.xml, vel.atr), the
// configuration configFile, the stand-in of buildDir serving the databases of simDir, subnode
// names without agent or host name; its output goes to logPath.
velagent::ClientOptions collectorOptions(const std::string& buildDir, const WorkDir& dir,
                                         const WorkDir& sim, const std::string& configFile,
                                         const std::string& logPath);

// Makes the seed database seedDb from the stand-in's single-instance seed with the SQL file
// extraSql applied, through build/sim/velsim-mkdb (its output in log). False on failure.
bool makeSeedDatabase(const std::string& buildDir, const std::string& sourceDir,
                      const std::string& extraSql, const std::string& seedDb,
                      const std::string& log);
// Copies the seed (and its write-ahead log, when there is one) to target.
bool copyDatabase(const std::string& seedDb, const std::string& target);

}  // namespace velbench

#endif  // VEL_BENCH_REQUEST_BENCHFILES_H
