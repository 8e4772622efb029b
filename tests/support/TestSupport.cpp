#include "TestSupport.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace veltest {
namespace {

void removeTree(const std::string& path) {
  DIR* dir = opendir(path.c_str());
  if (dir) {
    while (dirent* e = readdir(dir)) {
      std::string name = e->d_name;
      if (name == "." || name == "..") continue;
      std::string child = path + "/" + name;
      struct stat st;
      if (lstat(child.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        removeTree(child);
      else
        unlink(child.c_str());
    }
    closedir(dir);
  }
  rmdir(path.c_str());
}

}  // namespace

TempDir::TempDir() {
  const char* base = getenv("TMPDIR");
  std::string templ = std::string(base && *base ? base : "/tmp") + "/veltest.XXXXXX";
  char* made = mkdtemp(templ.data());
  m_path = made ? made : "";
}

TempDir::~TempDir() {
  if (!m_path.empty()) removeTree(m_path);
}

std::string TempDir::file(const std::string& name) const { return m_path + "/" + name; }

ScopedEnv::ScopedEnv(const char* name, const char* value) : m_name(name) {
  const char* old = getenv(name);
  m_hadOld = old != nullptr;
  if (old) m_old = old;
  if (value)
    setenv(name, value, 1);
  else
    unsetenv(name);
}

ScopedEnv::~ScopedEnv() {
  if (m_hadOld)
    setenv(m_name.c_str(), m_old.c_str(), 1);
  else
    unsetenv(m_name.c_str());
}

bool writeFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  return static_cast<bool>(out);
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string buildDir() { return VEL_BUILD_DIR; }

}  // namespace veltest
