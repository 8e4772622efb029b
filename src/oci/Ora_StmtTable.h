// Statement tables: describe a query's result columns, define one fetch buffer per column,
// convert each fetched value to text and keep the rows.
#ifndef VEL_OCI_ORA_STMTTABLE_H
#define VEL_OCI_ORA_STMTTABLE_H

#include <cstdint>
#include <vector>

#include "Ora_OCIEnv.h"
#include "VelMemManager.h"
#include "ocidefs.h"

// The program's column limit.
constexpr unsigned kVelMaxColumns = 128;

// One column's fetch buffer.
class Ora_DefInfo {
 public:
  enum Kind : uint8_t { kUnsupported = 0, kText = 1, kNumber = 2, kDate = 3 };
  // The longest text value kept (a VARCHAR2's limit); longer values are cut.
  static constexpr int kMaxTextBytes = 4000;
  static constexpr int kTextAreaSize = kMaxTextBytes + 1;

  // Chooses kind and buffer for an OCI data type and column size.
  void set(uint16_t dataType, int columnSize);
  // The size a consumer reserves for the value's text form.
  int getBufferLen() const;
  // The fetched value as text (numbers times 10^shift); a NULL number gives nullText or "-1"
  // scaled by the shift, a NULL date or text an empty text. Null for an unsupported kind or a
  // null error handle.
  const char* getWXAString(OCIError* errorHandle, int shift, const char* nullText);

  short m_indicator = 0;
  int m_bufferLength = 0;
  Kind m_kind = kUnsupported;
  void* m_pData = nullptr;
  OCINumber m_number;
  OCIDate m_date;
  char m_text[kTextAreaSize];
};

// The fetch buffers of one session: a count and 128 buffers allocated together.
class Ora_DefInfoArray : public Vel_BaseMemPool {
 public:
  Ora_DefInfoArray();
  ~Ora_DefInfoArray();
  Ora_DefInfoArray(const Ora_DefInfoArray&) = delete;
  Ora_DefInfoArray& operator=(const Ora_DefInfoArray&) = delete;

  // The buffer of column index, or null when index is not below the count.
  Ora_DefInfo* getDefInfo(unsigned index);
  void setCount(unsigned count) { m_count = count; }
  unsigned getCount() const { return m_count; }
  bool isValid() const { return m_infos != nullptr; }

 private:
  unsigned m_count = 0;
  Ora_DefInfo* m_infos = nullptr;  // kVelMaxColumns elements, owned
};

// A column's name, at most 32 characters kept.
struct Ora_ColumnInfo {
  char m_name[33] = {0};
};

// The text values of one stored row: value pointers into the storage of the table that holds it.
class Ora_SimpleRow {
 public:
  unsigned getCount() const { return m_count; }
  const char* getValue(unsigned index) const { return index < m_count ? m_values[index] : nullptr; }

 private:
  friend class Ora_SimpleTable;
  const char** m_values = nullptr;
  unsigned m_count = 0;
};

// An ordered list of rows of text. Rows are copied into storage blocks of the pool that the
// table owns, many rows to a block (1 KiB at first, doubling up to 32 KiB), so that a fetched
// row costs no pool operation of its own; clear() gives every block back.
class Ora_SimpleTable : public Vel_BaseMemPool {
 public:
  Ora_SimpleTable() = default;
  ~Ora_SimpleTable() { clear(); }
  Ora_SimpleTable(const Ora_SimpleTable&) = delete;
  Ora_SimpleTable& operator=(const Ora_SimpleTable&) = delete;

  // Copies count (1..128) values as one row at the end; a null value becomes an empty text.
  // False, with nothing stored, for a null array, a count outside 1..128 or when the pool refuses.
  bool append(const char** values, unsigned count);
  void clear();
  unsigned size() const { return static_cast<unsigned>(m_rows.size()); }
  const Ora_SimpleRow* at(unsigned index) const {
    return index < m_rows.size() ? &m_rows[index] : nullptr;
  }
  // Copies the value pointers of row index into out; false when the row is missing or its value
  // count is not count.
  bool get(unsigned index, const char** out, int count) const;

 private:
  static constexpr size_t kFirstBlock = 1024;
  static constexpr size_t kLargestBlock = 32768;
  // n bytes (a multiple of the pointer size) from the current block, or from a new one when it
  // is full; null when the pool refuses.
  char* take(size_t n);

  std::vector<Ora_SimpleRow> m_rows;
  void* m_lastBlock = nullptr;  // newest storage block; each block starts with the previous one
  char* m_free = nullptr;       // unused bytes of the newest block
  size_t m_freeSize = 0;
  size_t m_nextBlockSize = kFirstBlock;
};

class Ora_BaseStmtTable : public Vel_BaseMemPool {
 public:
  virtual ~Ora_BaseStmtTable() = default;
  virtual int onDefineParameters(OCIStmt*, OCIError*) { return 0; }
  // Runs the fetch loop: onBeforeFetch, then one row at a time with a shared 60-second budget.
  virtual int executeFetch(OCISvcCtx* serviceContext, OCIStmt* statement, OCIError* errorHandle,
                           Ora_ErrorMsg& error, Ora_DefInfoArray* defineArray);
  virtual void onFetch(OCIError* errorHandle) = 0;
  virtual void onFetchFail() {}
  virtual int onBeforeFetch(OCIStmt*, OCIError*) { return 0; }
  virtual void onAfterFetch(OCIError*) {}
  // True for a fetched row, and for the truncation errors 1406 and 24345 (the row is kept).
  virtual bool isOKFetch(Ora_ErrorMsg& error);

  static constexpr double kFetchTimeout = 60.0;

 protected:
  Ora_DefInfoArray* m_pDefineArray = nullptr;  // lent by the session for one fetch
};

class Ora_DynamicStmtTable : public Ora_BaseStmtTable {
 public:
  // Describes and defines every result column (at most 128).
  int onBeforeFetch(OCIStmt* statement, OCIError* errorHandle) override;
  virtual unsigned getColumnCount() const { return m_columnCount; }
  virtual unsigned getRowCount() const { return m_rowCount; }
  const char* getColumnName(unsigned index) const {
    return index < m_columnCount ? m_columns[index].m_name : nullptr;
  }

 protected:
  unsigned m_columnCount = 0;
  unsigned m_rowCount = 0;
  Ora_ColumnInfo m_columns[kVelMaxColumns];
  const char* m_rowValues[kVelMaxColumns] = {nullptr};

 private:
  // Describes column position (1-based) from its parameter descriptor, sets up its fetch buffer
  // and defines it, and keeps its name; the status of the last failed call, else of the type read.
  int describeColumn(OCIStmt* statement, OCIError* errorHandle, ub4 position, void* param);
};

// Keeps every fetched row as text.
class Ora_AutoStmtTable : public Ora_DynamicStmtTable {
 public:
  void onFetch(OCIError* errorHandle) override;
  void onAfterFetch(OCIError* errorHandle) override;
  // Copies the value pointers of a stored row; false unless index is below the stored rows and
  // count equals the row's value count.
  bool getRow(unsigned index, const char** out, int count) const;
  unsigned getStoredRowCount() const { return m_table.size(); }
  void clearRows() {
    m_table.clear();
    m_rowCount = 0;
  }

 protected:
  Ora_SimpleTable m_table;
};

#endif  // VEL_OCI_ORA_STMTTABLE_H
