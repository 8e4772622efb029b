// Fuzz target: filter text through the translation, as a request's "_FILTER" item with a few
// requested columns; the resulting statement text must stay balanced enough to be one string and
// every bind must be named in it.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Ora_FilterList.h"
#include "cp_api.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string filter(reinterpret_cast<const char*>(data), size);
  filter = filter.c_str();  // the agent's values never hold a NUL
  RequestInfo f{const_cast<char*>("_FILTER"), filter.data(), const_cast<char*>("EQ"),
                const_cast<char*>("AND"), nullptr};
  RequestInfo name{const_cast<char*>("NAME"), const_cast<char*>("x"), const_cast<char*>("EQ"),
                   const_cast<char*>("AND"), &f};
  RequestInfo id{const_cast<char*>("ID"), const_cast<char*>("x"), const_cast<char*>("EQ"),
                 const_cast<char*>("AND"), &name};
  Ora_SimpleFilterCommand command("select 1 from dual", 10, &id);
  std::string sql = command.getSQL();
  const Ora_FilterList& list = command.getFilterList();
  if (list.getParsedFilters() > list.getTotalFilters()) abort();
  auto& binds = const_cast<Ora_FilterList&>(list).getBindList();
  for (auto it = binds.begin(); it != binds.end(); ++it)
    if (sql.find((*it)->m_name.c_str()) == std::string::npos) abort();
  return 0;
}
