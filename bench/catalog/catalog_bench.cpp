// Loading a generated 1 MiB SQL catalog, against a bare expat pass over the same file read the
// same way (4096-byte blocks, no handlers). The ratio of the two times is the cost the catalog
// model and its handlers add to the XML parsing itself.
#include <benchmark/benchmark.h>
#include <expat.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "OraXMLParserHandler.h"

namespace {

// A catalog of at least minBytes: entries with four versions, cluster texts on two of them, one
// base table each and a database type, laid out like the shipped file.
std::string generateCatalog(size_t minBytes, int& entries) {
  std::string xml = "<?xml version=\"1.0\"?>\n<SQLXML>\n";
  entries = 0;
  while (xml.size() < minBytes) {
    std::string n = std::to_string(entries++);
    xml += "  <SQLInfo id=\"Group_" + n + "\" maxrownum=\"500\" interval=\"60\" type=\"RDB\">\n";
    for (int v = 9; v <= 12; ++v) {
      std::string ver = std::to_string(v);
      xml += "    <SQL dbversion=\"" + ver + "\">\n      <SQLText>SELECT col_" + n + "_" + ver +
             ", name, value, status\n        FROM v$table_" + n +
             " WHERE a &lt; b AND c &gt; d</SQLText>\n";
      if (v % 2 == 0)
        xml += "      <ClusterText>SELECT inst_id, name FROM gv$table_" + n + "</ClusterText>\n";
      xml += "      <BaseTable queryname=\"v$table_" + n + "\" grantname=\"V_$TABLE_" + n +
             "\"/>\n    </SQL>\n";
    }
    xml += "    <DatabaseType value=\"RDB\" role=\"PRIMARY\"/>\n  </SQLInfo>\n";
  }
  xml += "</SQLXML>\n";
  return xml;
}

class CatalogFile {
 public:
  CatalogFile() {
    char dir[] = "/tmp/velcatbench.XXXXXX";
    if (mkdtemp(dir) == nullptr) abort();
    m_dir = dir;
    m_path = m_dir + "/velsql.xml";
    std::string xml = generateCatalog(1u << 20, m_entries);
    m_bytes = xml.size();
    FILE* f = fopen(m_path.c_str(), "w");
    if (f == nullptr || fwrite(xml.data(), 1, xml.size(), f) != xml.size()) abort();
    fclose(f);
  }
  ~CatalogFile() {
    unlink(m_path.c_str());
    rmdir(m_dir.c_str());
  }
  const char* path() const { return m_path.c_str(); }
  int entries() const { return m_entries; }
  size_t bytes() const { return m_bytes; }

 private:
  std::string m_dir, m_path;
  int m_entries = 0;
  size_t m_bytes = 0;
};

const CatalogFile& catalogFile() {
  static CatalogFile file;
  return file;
}

void BM_CatalogLoad(benchmark::State& state) {
  const CatalogFile& file = catalogFile();
  for (auto _ : state) {
    OraXMLSQLData data;
    if (!OraXMLParserHandler::parseXML(file.path(), data)) state.SkipWithError("parse failed");
    if (data.size() != static_cast<size_t>(file.entries())) state.SkipWithError("entries lost");
    benchmark::DoNotOptimize(data.size());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file.bytes()));
}

void BM_BareExpatPass(benchmark::State& state) {
  const CatalogFile& file = catalogFile();
  for (auto _ : state) {
    FILE* f = fopen(file.path(), "r");
    XML_Parser parser = XML_ParserCreate(nullptr);
    char block[4096];
    size_t n;
    while ((n = fread(block, 1, sizeof block, f)) > 0)
      if (XML_Parse(parser, block, static_cast<int>(n), 0) == XML_STATUS_ERROR) {
        state.SkipWithError("expat failed");
        break;
      }
    XML_ParserFree(parser);
    fclose(f);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file.bytes()));
}

}  // namespace

BENCHMARK(BM_CatalogLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareExpatPass)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  setenv("VEL_TRACE", "error", 1);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
