// Fuzz target: the SQL catalog reader, the reference-file reader and the vel.atr reader, all fed
// the same bytes as a file.
//
// Whatever was loaded is then used the way the program uses it: lookups for several versions and
// both cluster flags, privilege tables for every type and role, a copy merged over the original,
// and the column names of vel.atr applied to the groups read from the reference file. Results are
// checked for the invariants the readers promise (unique ids, one statement per version, valid
// statements, non-empty group names).
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include <cstring>
#include <string>
#include <vector>

#include "FuzzFiles.h"
#include "OraXMLParserHandler.h"
#include "VelAgentDefinitionParserHandler.h"
#include "VelAttrGroups.h"

namespace {

std::string g_file;

void check(bool condition) {
  if (!condition) abort();
}

void exerciseCatalog(const OraXMLSQLData& data) {
  const auto& entries = data.getEntries();
  for (size_t i = 0; i < entries.size(); ++i) {
    const OraXMLSQLInfo& info = entries[i];
    check(data.getSQLInfo(info.getId()) == &info);  // ids are unique
    const std::vector<OraXMLSQL>& list = info.getSQLList();
    for (size_t k = 0; k < list.size(); ++k) {
      check(list[k].isValid());
      for (size_t j = k + 1; j < list.size(); ++j)
        check(list[k].getDBVersion() != list[j].getDBVersion());
      int32_t v = list[k].getDBVersion();
      check(info.findSQL(v) == &list[k]);
      for (int32_t probe : {v - 1, v + 1}) {
        const OraXMLSQL* s = info.findSQL(probe);
        if (s != nullptr) check(s->getDBVersion() <= probe);
      }
    }
    for (int32_t version : {0, 9, 10, 11, 101, 2147483647}) {
      int32_t maxRow = -12345;
      const char* plain = data.getSQL(version, info.getId(), maxRow, false);
      const char* cluster = data.getSQL(version, info.getId(), maxRow, true);
      check(maxRow == info.getMaxRowNum());
      if (plain != nullptr) check(*plain != 0);
      if (cluster != nullptr) check(*cluster != 0);
      for (int32_t type = 0; type <= 3; ++type)
        for (int32_t role = 0; role <= 4; ++role) {
          std::vector<OraXMLSQLTable> tables;
          info.getPrivilegeTables(version, type, role, tables);
          info.getPrivilegeTables(version, type, role, tables);
          for (size_t a = 0; a < tables.size(); ++a)
            for (size_t b = a + 1; b < tables.size(); ++b) check(!(tables[a] == tables[b]));
        }
    }
  }
  // A copy merged over the original keeps the entry count and every id.
  OraXMLSQLData copy = data;
  copy.mergeFrom(data);
  check(copy.size() == data.size());
  data.dump();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_file = velfuzz::tempFile("input.xml");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  velfuzz::writeFile(g_file, data, size);

  OraXMLSQLData catalog;
  OraXMLParserHandler::parseXML(g_file.c_str(), catalog);
  exerciseCatalog(catalog);

  VelAttrGroups groups;
  VelAgentDefinitionParserHandler::parseXML(g_file.c_str(), groups);
  for (const VelAttributeGroupDef& g : groups.getGroups()) {
    check(*g.getName() != 0);
    check(groups.getAGDef(g.getName()) != nullptr);
    for (const VelAttributeDef& a : g.getAttributes()) check(*a.getName() != 0);
  }
  parseATRFile(g_file.c_str(), groups);
  groups.dump();
  return 0;
}
