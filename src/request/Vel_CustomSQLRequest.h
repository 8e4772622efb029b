// The customized SQL groups: the summary groups list every statement of the operator's file
// (velcussql.properties, see VelCustomizedSQL.h) with the outcome of its last run; the detail
// groups run the statements a request names and return their rows in a fixed shape of five text,
// five numeric and two date columns. Both requests are built and used by the subnode's worker,
// which owns the statement list; sends hold the send mutex for the whole answer.
#ifndef VEL_REQUEST_VEL_CUSTOMSQLREQUEST_H
#define VEL_REQUEST_VEL_CUSTOMSQLREQUEST_H

#include "Ora_Command.h"
#include "Ora_StmtTable.h"
#include "VelCustomizedSQL.h"
#include "Vel_Request.h"

// One customized statement under the row limit VEL_DEFAULT_MAXROWNUM (1000), bound as
// ":velmaxrownum".
class Ora_CustomCommand : public Ora_TableCommand {
 public:
  explicit Ora_CustomCommand(const char* sql);
  int onBindParameters(OCIStmt* statement, OCIError* errorHandle) override;
  int onDefineParameters(OCIStmt*, OCIError*) override { return 0; }
  const char* getMaxRowNumText() const { return m_maxRowNumText; }

 private:
  char m_maxRowNumText[20];
};

// The fixed shape of a detail row: slots 0-4 take the first five text columns of the result in
// column order, slots 5-9 the first five numeric columns, slots 10-11 the first two date columns.
// Each fetched row is kept as 12 values in slot order; a numeric slot without a column holds
// kNoNumber, other slots without a column an empty text.
class Ora_CustomTable : public Ora_DynamicStmtTable {
 public:
  static constexpr int kSlots = 12;
  static constexpr int kTextSlots = 5;
  static constexpr int kNumberSlots = 5;
  static constexpr int kDateSlots = 2;
  static constexpr const char* kNoNumber = "-99999999900";

  void onFetch(OCIError* errorHandle) override;
  // The name of the column in slot, or null when the slot has none.
  const char* getColumnName(int slot) const;
  // The column index of slot, -1 when none.
  int getSlotColumn(int slot) const { return slot >= 0 && slot < kSlots ? m_slotColumn[slot] : -1; }
  // Builds the slot map from the kinds of the result columns (Ora_DefInfo::Kind, in column
  // order).
  void buildSlots(const Ora_DefInfo::Kind* kinds, unsigned count);
  const Ora_SimpleTable& getRows() const { return m_rows; }

 private:
  bool m_mapped = false;
  int m_slotColumn[kSlots] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
  Ora_SimpleTable m_rows;
};

class Vel_CustomSQLSummaryRequest : public Vel_BaseDataRequest {
 public:
  explicit Vel_CustomSQLSummaryRequest(Vel_AgentFacRequest& request)
      : Vel_BaseDataRequest(request) {}
  // One row of 11 values per listed statement, then the end of the answer.
  void send(VelMutex& sendMutex, const Vel_CustomizedSQLList& list,
            const VelCachedInstanceList& instances);
};

class Vel_CustomSQLDetailRequest : public Vel_BaseDataRequest {
 public:
  static constexpr int kValues = 28;
  explicit Vel_CustomSQLDetailRequest(Vel_AgentFacRequest& request)
      : Vel_BaseDataRequest(request) {}
  // Runs every listed statement named by a "SQLID" condition, each under its own time-out,
  // sends its rows, and records its outcome in the list; a failing statement never stops the
  // others. The answer always ends.
  void process(Ora_Database& database, Vel_CustomizedSQLList& list, VelMutex& sendMutex,
               const VelCachedInstanceList& instances);

 private:
  void setAttrValues(const Ora_CustomTable& table, const char* sqlId,
                     const VelCachedInstanceList& instances);
};

#endif  // VEL_REQUEST_VEL_CUSTOMSQLREQUEST_H
