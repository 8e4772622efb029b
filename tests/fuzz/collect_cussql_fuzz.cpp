// Fuzz target: the customized SQL file reader. The input is parsed twice (the second read carries
// statements over); only statements with id and text, no id twice, time-outs in bounds.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include <set>
#include <string>

#include "VelCustomizedSQL.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("VEL_TRACE", "none", 1);
  setenv("CDP_COLLECTION_TIMEOUT", "60", 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Vel_CustomizedSQLList list("fuzz.properties");
  const char* text = reinterpret_cast<const char*>(data);
  for (int pass = 0; pass < 2; ++pass) {
    list.parse(text, size, 1000 + pass);
    std::set<std::string> ids;
    for (auto it = list.getStatements().begin(); it != list.getStatements().end(); ++it) {
      const VelCustomizedSQL* s = *it;
      if (s->m_sqlId.length() == 0 || s->m_sqlText.length() == 0) abort();
      if (!ids.insert(s->m_sqlId.c_str()).second) abort();
      if (s->m_timeout != 60 && (s->m_timeout <= Vel_CustomizedSQLList::kMinTimeout ||
                                 s->m_timeout >= Vel_CustomizedSQLList::kMaxTimeout))
        abort();
      if (list.getSQLRecord(s->m_sqlId.c_str()) != s) abort();
    }
  }
  return 0;
}
