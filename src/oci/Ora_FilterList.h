// Translation of an agent request's filter into a WHERE fragment with bind variables.
//
// The "_FILTER" value is a sequence of parenthesised groups joined by OR; each group holds
// parenthesised items joined by AND; an item is "left op right". Items the database cannot
// evaluate become "(1=1)", so the database never returns fewer rows than the agent asked for.
#ifndef VEL_OCI_ORA_FILTERLIST_H
#define VEL_OCI_ORA_FILTERLIST_H

#include "Ora_Command.h"
#include "VelList.h"
#include "VelMemManager.h"
#include "VelString.h"

struct RequestInfo;

class Ora_FilterList : public Vel_BaseMemPool {
 public:
  // One bind variable: name ":BindValue<n>" and its value.
  class BindInfo : public Vel_BaseMemPool {
   public:
    VelString m_name;
    VelString m_value;
  };

  static constexpr int kGroupBufferSize = 4096;
  static constexpr int kItemBufferSize = 1024;

  // Collects the requested columns and translates the first "_FILTER" item.
  bool parseRequest(const RequestInfo* list);
  // Translates a filter text; false when there is none (no "(" in it).
  bool parseFilter(const char* filter);
  bool ParseANDString(const char* group, VelString& out);
  bool ParseItem(const char* item, VelString& out);
  void ParseSimpleItem(const char* left, const char* op, const char* right, VelString& out);
  void ParseScanFilter(const char* left, const char* op, const char* right, VelString& out);
  void ParseSubstringFilter(const char* left, const char* op, const char* right, VelString& out);
  // Copies the content of the first parenthesised part of text (cut to outSize - 1 bytes) and
  // returns a pointer to its closing parenthesis, or null when there is none.
  static const char* getPairedString(const char* text, char* out, int outSize);
  // Removes a leading single quote and cuts at the next one; returns the text.
  static char* TrimSingleQuota(char* text);
  bool existColumn(const char* column) const;
  // Adds a column name to the requested columns (exact comparison, no duplicates).
  void addColumn(const char* column);

  const VelString& getPartSQL() const { return m_partSQL; }
  VelTypePtrList<BindInfo>& getBindList() { return m_bindList; }
  int getBindCount() const { return m_bindCount; }
  int getTotalFilters() const { return m_totalFilters; }
  int getParsedFilters() const { return m_parsedFilters; }

 private:
  void addBind(const char* value, VelString& out, const char* column, const char* sqlOperator);
  // Binds "%value%" for a LIKE comparison; an empty value gives "(1=1)".
  void addLikeBind(const char* right, VelString& out, const char* column, const char* sqlOperator);

  VelString m_partSQL;
  VelTypePtrList<BindInfo> m_bindList;
  VelTypePtrList<VelString> m_columnList;
  int m_totalFilters = 0;
  int m_parsedFilters = 0;
  int m_bindCount = 0;
};

// A catalog query wrapped with the request's filter as a WHERE clause with binds; the row limit
// is added only when the database evaluates the whole filter.
class Ora_SimpleFilterCommand : public Ora_SimpleCommand {
 public:
  Ora_SimpleFilterCommand(const char* sql, int maxRowNum, const RequestInfo* items);
  int onBindParameters(OCIStmt* statement, OCIError* errorHandle) override;
  const Ora_FilterList& getFilterList() const { return m_filterList; }

 private:
  Ora_FilterList m_filterList;
};

#endif  // VEL_OCI_ORA_FILTERLIST_H
