#include "Ora_FilterList.h"

#include <cstdio>
#include <cstring>

#include "MUT1.h"
#include "Ora_OCIEnv.h"
#include "VelEncoding.h"
#include "cp_api.h"

VEL_TRACE_UNIT("filter");

namespace {
const int kLeftSize = 256;
const int kOpSize = 16;
const int kRightSize = 256;
const int kValueSize = 1024;

// The SQL operator of a comparison code, or null for an unsupported one.
const char* simpleOperator(const char* op) {
  static const struct {
    const char* code;
    const char* sql;
  } table[] = {{"EQ", " = "},  {"NE", " != "}, {"GT", " > "},
               {"GE", " >= "}, {"LT", " < "},  {"LE", " <= "}};
  for (const auto& e : table)
    if (velstricmp(op, e.code) == 0) return e.sql;
  return nullptr;
}

void copyBounded(char* out, int size, const char* begin, size_t length) {
  size_t n = length < static_cast<size_t>(size - 1) ? length : static_cast<size_t>(size - 1);
  memcpy(out, begin, n);
  out[n] = 0;
}
}  // namespace

bool Ora_FilterList::existColumn(const char* column) const {
  if (column == nullptr) return false;
  auto& list = const_cast<VelTypePtrList<VelString>&>(m_columnList);
  for (auto it = list.begin(); it != list.end(); ++it)
    if ((*it)->compare(column) == 0) return true;
  return false;
}

void Ora_FilterList::addColumn(const char* column) {
  if (column == nullptr || existColumn(column)) return;
  m_columnList.push_back(new VelString(column));
}

bool Ora_FilterList::parseRequest(const RequestInfo* list) {
  VEL_FLOW_ENTRY("Ora_FilterList::parseRequest");
  for (const RequestInfo* i = list; i != nullptr; i = i->next)
    VEL_FLOWMSG("name is: %s, value is: %s, op is: %s, logicalOp is: %s", i->name ? i->name : "",
                i->value ? i->value : "", i->op ? i->op : "", i->logicalOp ? i->logicalOp : "");
  m_columnList.clear();
  const char* filter = nullptr;
  bool haveFilter = false;
  for (const RequestInfo* i = list; i != nullptr; i = i->next) {
    if (!haveFilter && i->name != nullptr && velstricmp(i->name, "_FILTER") == 0) {
      filter = i->value;
      haveFilter = true;
    }
    if (i->name == nullptr || i->value == nullptr || i->op == nullptr || i->logicalOp == nullptr)
      continue;
    if (velstricmp(i->name, "_req_type") == 0 || velstricmp(i->name, "originnode") == 0 ||
        velstricmp(i->name, "timestamp") == 0)
      continue;
    addColumn(i->name);
  }
  VEL_RETURN(parseFilter(filter));
}

const char* Ora_FilterList::getPairedString(const char* text, char* out, int outSize) {
  if (out != nullptr && outSize > 0) out[0] = 0;
  if (text == nullptr || out == nullptr || outSize <= 0) return nullptr;
  const char* open = strchr(text, '(');
  if (open == nullptr) return nullptr;
  int depth = 0;
  for (const char* p = open; *p; ++p) {
    if (*p == '(') {
      ++depth;
    } else if (*p == ')') {
      if (--depth == 0) {
        copyBounded(out, outSize, open + 1, static_cast<size_t>(p - open - 1));
        return p;
      }
    }
  }
  return nullptr;  // unbalanced: the scan ends
}

char* Ora_FilterList::TrimSingleQuota(char* text) {
  if (text == nullptr || text[0] != '\'') return text;
  char* value = text + 1;
  char* close = strchr(value, '\'');
  if (close != nullptr) *close = 0;
  return value;
}

bool Ora_FilterList::parseFilter(const char* filter) {
  VEL_FLOW_ENTRY("Ora_FilterList::parseFilter");
  if (filter == nullptr || strchr(filter, '(') == nullptr) VEL_RETURN(false);
  char group[kGroupBufferSize];
  bool added = false;
  const char* pos = filter;
  while (pos != nullptr && *pos) {
    const char* close = getPairedString(pos, group, sizeof group);
    if (close == nullptr) break;
    VEL_DETAIL("Parsed String is:%s", group);
    if (group[0] != 0) {
      VelString groupSQL;
      ParseANDString(group, groupSQL);
      m_partSQL.append(added ? "\n OR " : "(");
      m_partSQL.append(groupSQL.c_str());
      added = true;
      VEL_DETAIL("ParseANDString is:%s", groupSQL.c_str());
    }
    pos = strchr(close + 1, '(');
  }
  if (added) m_partSQL.append(")");
  if (VEL_TRACE_ON(MUT1_FLOW)) {
    VEL_FLOWMSG("Total filter is:%d, parsed filter is:%d, PartSQL is:%s.", m_totalFilters,
                m_parsedFilters, m_partSQL.c_str());
    int index = 0;
    for (auto it = m_bindList.begin(); it != m_bindList.end(); ++it, ++index) {
      VEL_FLOWMSG("Index is:%d, BindName is:%s", index, (*it)->m_name.c_str());
      VEL_FLOWMSG("Index is:%d, BindValue is:%s", index, (*it)->m_value.c_str());
    }
  }
  VEL_RETURN(true);
}

bool Ora_FilterList::ParseANDString(const char* group, VelString& out) {
  char item[kItemBufferSize];
  bool first = true;
  const char* pos = group;
  while (pos != nullptr && *pos) {
    const char* close = getPairedString(pos, item, sizeof item);
    if (close == nullptr) break;
    VEL_DETAIL("Parsed String is:%s", item);
    if (item[0] != 0) {
      VelString itemSQL;
      if (ParseItem(item, itemSQL) && itemSQL.length() > 0) {
        out.append(first ? "(" : " AND ");
        out.append(itemSQL.c_str());
        first = false;
        VEL_DETAIL("item SQL is:%s", itemSQL.c_str());
      }
    }
    pos = close + 1;
  }
  // A group none of whose items could even be split into three parts would otherwise read "()"
  // and break the statement; it is kept as always true, so no rows are lost.
  if (first) out.append("((1=1)");
  out.append(")");
  return true;
}

bool Ora_FilterList::ParseItem(const char* item, VelString& out) {
  out.clear();
  if (item == nullptr) return false;
  const char* blank1 = strchr(item, ' ');
  if (blank1 == nullptr) return false;
  const char* blank2 = strchr(blank1 + 1, ' ');
  if (blank2 == nullptr) return false;
  char left[kLeftSize], op[kOpSize], right[kRightSize];
  copyBounded(left, sizeof left, item, static_cast<size_t>(blank1 - item));
  copyBounded(op, sizeof op, blank1 + 1, static_cast<size_t>(blank2 - blank1 - 1));
  copyBounded(right, sizeof right, blank2 + 1, strlen(blank2 + 1));
  if (left[0] == 0 || op[0] == 0 || right[0] == 0) return false;
  ++m_totalFilters;
  VEL_DETAIL("left is:%s, op is:%s, right is:%s", left, op, right);
  if (strncmp(left, "SCAN(", 5) == 0)
    ParseScanFilter(left, op, right, out);
  else if (strncmp(left, "SUBSTR(", 7) == 0)
    ParseSubstringFilter(left, op, right, out);
  else if (strchr(left, '(') != nullptr)
    out.assign("(1=1)");
  else
    ParseSimpleItem(left, op, right, out);
  return true;
}

void Ora_FilterList::addBind(const char* value, VelString& out, const char* column,
                             const char* sqlOperator) {
  char name[32];
  snprintf(name, sizeof name, ":BindValue%d", m_bindCount++);
  BindInfo* bind = new BindInfo;
  bind->m_name.assign(name);
  bind->m_value.assign(value);
  m_bindList.push_back(bind);
  out.assign("(");
  out.append(column);
  out.append(sqlOperator);
  out.append(name);
  out.append(")");
  ++m_parsedFilters;
}

void Ora_FilterList::ParseSimpleItem(const char* left, const char* op, const char* right,
                                     VelString& out) {
  if (!existColumn(left)) {
    out.assign("(1=1)");
    return;
  }
  const char* sqlOperator = simpleOperator(op);
  if (sqlOperator == nullptr) {
    VEL_ERROR("Error! Unsupported op code %s", op);
    out.assign("(1=1)");
    return;
  }
  char value[kValueSize];
  copyBounded(value, sizeof value, right, strlen(right));
  addBind(TrimSingleQuota(value), out, left, sqlOperator);
}

namespace {
// The column inside "SCAN(col)" or "SUBSTR(col, ...)": from the parenthesis up to the closing
// one or the first argument separator, blanks removed.
void columnOf(const char* left, char* column, int size) {
  column[0] = 0;
  const char* open = strchr(left, '(');
  if (open == nullptr) return;
  const char* begin = open + 1;
  while (*begin == ' ') ++begin;
  const char* end = begin;
  while (*end && *end != ')' && *end != ',') ++end;
  while (end > begin && end[-1] == ' ') --end;
  copyBounded(column, size, begin, static_cast<size_t>(end - begin));
}
}  // namespace

void Ora_FilterList::ParseScanFilter(const char* left, const char* op, const char* right,
                                     VelString& out) {
  char column[kLeftSize];
  columnOf(left, column, sizeof column);
  VEL_DETAIL("Column name is:%s", column);
  if (!existColumn(column)) {
    out.assign("(1=1)");
    return;
  }
  const char* sqlOperator = nullptr;
  if (velstricmp(op, "EQ") == 0) {
    sqlOperator = " LIKE ";
  } else if (velstricmp(op, "NE") == 0) {
    sqlOperator = " NOT LIKE ";
  } else {
    VEL_ERROR("Error! Unsupported op code %s", op);
    out.assign("(1=1)");
    return;
  }
  addLikeBind(right, out, column, sqlOperator);
}

void Ora_FilterList::ParseSubstringFilter(const char* left, const char* op, const char* right,
                                          VelString& out) {
  char column[kLeftSize];
  columnOf(left, column, sizeof column);
  VEL_DETAIL("Column name is:%s", column);
  if (!existColumn(column) || velstricmp(op, "EQ") != 0) {
    out.assign("(1=1)");
    return;
  }
  addLikeBind(right, out, column, " LIKE ");
}

void Ora_FilterList::addLikeBind(const char* right, VelString& out, const char* column,
                                 const char* sqlOperator) {
  char value[kValueSize];
  copyBounded(value, sizeof value, right, strlen(right));
  const char* unquoted = TrimSingleQuota(value);
  if (unquoted == nullptr || *unquoted == 0) {
    out.assign("(1=1)");
    return;
  }
  // A substring search: the value anywhere in the column.
  VelString pattern("%");
  pattern.append(unquoted);
  pattern.append("%");
  addBind(pattern.c_str(), out, column, sqlOperator);
}

Ora_SimpleFilterCommand::Ora_SimpleFilterCommand(const char* sql, int maxRowNum,
                                                 const RequestInfo* items)
    : Ora_SimpleCommand(sql, maxRowNum) {
  VEL_FLOW_ENTRY("Ora_SimpleFilterCommand::Ora_SimpleFilterCommand");
  if (VEL_TRACE_ON(MUT1_DETAIL))
    for (const RequestInfo* i = items; i != nullptr; i = i->next)
      VEL_DETAIL("name is: %s, value is: %s, op is: %s, logicalOp is: %s", i->name ? i->name : "",
                 i->value ? i->value : "", i->op ? i->op : "", i->logicalOp ? i->logicalOp : "");
  m_filterList.parseRequest(items);
  if (m_filterList.getParsedFilters() == 0) {
    m_sql.assign(sql);
    VEL_FLOWMSG("The SQL is: %s, without filter", m_sql.c_str());
    return;
  }
  bool allParsed = m_filterList.getParsedFilters() == m_filterList.getTotalFilters();
  m_sql.assign("select * from (");
  m_sql.append(sql);
  m_sql.append(") where (");
  m_sql.append(m_filterList.getPartSQL().c_str());
  m_sql.append(" )");
  if (allParsed) m_sql.append("AND (ROWNUM<= :maxrownum)");
  VEL_FLOWMSG("AllFilterParsed is:%d, MaxRowNum is : %d", allParsed ? 1 : 0, m_maxRowNum);
  VEL_FLOWMSG("The SQL is: %s", m_sql.c_str());
}

int Ora_SimpleFilterCommand::onBindParameters(OCIStmt* statement, OCIError* errorHandle) {
  if (m_filterList.getParsedFilters() == 0) return 0;
  auto& binds = m_filterList.getBindList();
  for (auto it = binds.begin(); it != binds.end(); ++it) {
    Ora_FilterList::BindInfo* bind = *it;
    VEL_FLOWMSG("Binding parameter %s , value is %s", bind->m_name.c_str(), bind->m_value.c_str());
    int rc = BindParameter(statement, errorHandle, bind->m_name.c_str(),
                           const_cast<char*>(bind->m_value.c_str()),
                           static_cast<int>(bind->m_value.length()) + 1, SQLT_STR);
    if (!Ora_OK(rc)) return rc;
  }
  if (m_filterList.getParsedFilters() == m_filterList.getTotalFilters())
    return bindMaxRowNum(statement, errorHandle);
  return 0;
}
