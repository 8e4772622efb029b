// The SQL catalog: statements by identifier and minimum database version, the base tables whose
// privileges they need and the database types and roles those checks apply to.
//
// The catalog is read from XML once at start-up (OraXMLParserHandler), possibly merged with a
// customised catalog, and is read-only afterwards. Every record type is a plain value: copying a
// catalog copies everything, so each database session can keep a private copy and needs no lock.
// Identifiers are compared case-sensitively; table names, database types and roles ignoring case.
#ifndef VEL_CATALOG_ORAXMLSQLDATA_H
#define VEL_CATALOG_ORAXMLSQLDATA_H

#include <cstdint>
#include <deque>
#include <string>
#include <unordered_map>
#include <vector>

#include "VelMemManager.h"
#include "VelString.h"

// Row limit of an entry without "maxrownum" when VEL_DEFAULT_MAXROWNUM is unset or empty.
constexpr int32_t VEL_CATALOG_DEFAULT_MAXROWNUM = 1000;

// One base table of a statement: the name to probe and the name to show in a privilege message.
class OraXMLSQLTable : public Vel_BaseMemPool {
 public:
  OraXMLSQLTable() = default;
  OraXMLSQLTable(const char* queryName, const char* grantName);

  const char* getQueryName() const { return m_queryName.c_str(); }
  const char* getGrantName() const { return m_grantName.c_str(); }

  // Equal when both names are equal ignoring case.
  bool operator==(const OraXMLSQLTable& other) const;
  bool operator!=(const OraXMLSQLTable& other) const { return !(*this == other); }

 private:
  VelString m_queryName;
  VelString m_grantName;
};

// One database-type/role pair of an entry: where its privilege checks apply.
class OraXMLSQLDBType : public Vel_BaseMemPool {
 public:
  // Database types.
  static constexpr int32_t TYPE_NONE = 0;
  static constexpr int32_t TYPE_RDB = 1;
  static constexpr int32_t TYPE_ASM = 2;
  static constexpr int32_t TYPE_DG = 3;
  // Roles; ROLE_ANY matches every role.
  static constexpr int32_t ROLE_ANY = 0;
  static constexpr int32_t ROLE_PRIMARY = 1;
  static constexpr int32_t ROLE_PHYSICAL_STANDBY = 2;
  static constexpr int32_t ROLE_LOGICAL_STANDBY = 3;
  static constexpr int32_t ROLE_SNAPSHOT_STANDBY = 4;

  // value: "RDB", "ASM" or "DG" (ignoring case; anything else gives TYPE_NONE). role: "PRIMARY",
  // "PHYSICAL STANDBY", "LOGICAL STANDBY", "SNAPSHOT STANDBY" (ignoring case; anything else, or
  // none, gives ROLE_ANY). An empty or null value leaves both at 0.
  OraXMLSQLDBType(const char* value, const char* role);
  OraXMLSQLDBType(int32_t databaseType, int32_t role)
      : m_databaseType(databaseType), m_role(role) {}

  int32_t getDatabaseType() const { return m_databaseType; }
  int32_t getRole() const { return m_role; }

 private:
  int32_t m_databaseType = TYPE_NONE;
  int32_t m_role = ROLE_ANY;
};

// One statement for a minimum database version: plain text, optional cluster text, base tables.
class OraXMLSQL : public Vel_BaseMemPool {
 public:
  OraXMLSQL() = default;
  // Absent (null) texts are empty.
  explicit OraXMLSQL(int32_t dbVersion, const char* sqlText = nullptr,
                     const char* clusterSQLText = nullptr);

  int32_t getDBVersion() const { return m_dbVersion; }
  // The texts; "" when absent, never null.
  const char* getSQLText() const { return m_sqlText.c_str(); }
  const char* getClusterSQLText() const { return m_clusterSQLText.c_str(); }
  const std::vector<OraXMLSQLTable>& getBaseTables() const { return m_baseTables; }

  // Replace a text (null clears it). Return false when the memory for the text was not available.
  bool setSQLText(const char* text) { return m_sqlText.assign(text); }
  bool setClusterSQLText(const char* text) { return m_clusterSQLText.assign(text); }

  // A non-zero version and at least one non-empty text.
  bool isValid() const;

  // Appends the table unless a name is empty or an equal table is already listed.
  void addBaseTable(const OraXMLSQLTable& table);

  // Takes other's non-empty texts, and other's base-table list as a whole when it is non-empty.
  // The version stays.
  void mergeFrom(const OraXMLSQL& other);

 private:
  int32_t m_dbVersion = 0;
  VelString m_sqlText;
  VelString m_clusterSQLText;
  std::vector<OraXMLSQLTable> m_baseTables;
};

// One statement identifier with its run settings and its statements, one per database version.
class OraXMLSQLInfo : public Vel_BaseMemPool {
 public:
  OraXMLSQLInfo() = default;
  explicit OraXMLSQLInfo(const char* id, int32_t maxRowNum = VEL_CATALOG_DEFAULT_MAXROWNUM);

  const char* getId() const { return m_id.c_str(); }
  int32_t getMaxRowNum() const { return m_maxRowNum; }
  bool isSimpleSQL() const { return m_simpleSQL; }
  int32_t getODIVersion() const { return m_odiVersion; }
  int32_t getInterval() const { return m_interval; }
  // Subnode type an interval statement belongs to; "" when none.
  const char* getType() const { return m_type.c_str(); }
  int32_t getTimeout() const { return m_timeout; }
  // Column that identifies the instance in a row; -1 when none.
  int32_t getInstanceIDIndex() const { return m_instanceIDIndex; }
  const std::vector<OraXMLSQL>& getSQLList() const { return m_sqlList; }
  const std::vector<OraXMLSQLDBType>& getDatabaseTypes() const { return m_databaseTypes; }

  void setMaxRowNum(int32_t value) { m_maxRowNum = value; }
  void setSimpleSQL(bool value) { m_simpleSQL = value; }
  void setODIVersion(int32_t value) { m_odiVersion = value; }
  void setInterval(int32_t value) { m_interval = value; }
  bool setType(const char* value) { return m_type.assign(value); }
  void setTimeout(int32_t value) { m_timeout = value; }
  void setInstanceIDIndex(int32_t value) { m_instanceIDIndex = value; }

  // The statement for version: the one of exactly that version, else the one with the greatest
  // version below it (the earlier of equal ones); null when every version is higher.
  const OraXMLSQL* findSQL(int32_t version) const;

  // The text of findSQL(version): its cluster text when isCluster and that is non-empty, else its
  // plain text; null when there is no statement or the chosen text is empty. Points into this
  // entry.
  const char* getSQL(int32_t version, bool isCluster) const;

  // Appends a valid statement whose version is not listed yet; otherwise traces and drops it.
  // Returns whether it was added.
  bool addSQL(const OraXMLSQL& sql);

  // Appends a database-type/role pair (no checks).
  void addDatabaseType(const OraXMLSQLDBType& type) { m_databaseTypes.push_back(type); }

  // Folds a customised entry into this shipped one: non-zero interval, timeout and row limit and
  // a non-empty type replace these; a statement of a listed version is merged into it, one of a
  // new version appended. Simple-SQL flag, ODI version, instance column and database types stay.
  void mergeFrom(const OraXMLSQLInfo& other);

  // When a database-type entry matches (same type, and role 0 or equal to role), extends tables
  // with the base tables of findSQL(version) that it does not hold yet.
  void getPrivilegeTables(int32_t version, int32_t databaseType, int32_t role,
                          std::vector<OraXMLSQLTable>& tables) const;

 private:
  VelString m_id;
  int32_t m_maxRowNum = VEL_CATALOG_DEFAULT_MAXROWNUM;
  bool m_simpleSQL = false;
  int32_t m_odiVersion = 0;
  int32_t m_interval = 0;
  std::vector<OraXMLSQL> m_sqlList;
  std::vector<OraXMLSQLDBType> m_databaseTypes;
  VelString m_type;
  int32_t m_timeout = 0;
  int32_t m_instanceIDIndex = -1;
};

// The catalog: entries in file order with unique identifiers (the first one wins).
class OraXMLSQLData : public Vel_BaseMemPool {
 public:
  // Entries in order. A deque: appending never moves the entries already there, so pointers
  // handed out by getSQLInfo stay valid while entries are added.
  const std::deque<OraXMLSQLInfo>& getEntries() const { return m_entries; }
  size_t size() const { return m_entries.size(); }

  // The entry whose id equals sqlId exactly; null for a null id or no match. Points into this
  // catalog (valid while the catalog lives).
  const OraXMLSQLInfo* getSQLInfo(const char* sqlId) const;
  OraXMLSQLInfo* getSQLInfo(const char* sqlId);

  // The text for sqlId, version and cluster flag (see OraXMLSQLInfo::getSQL), or null. When the
  // id is found, maxRowNum is set to its row limit (even if no text is found); otherwise it is
  // left unchanged. The pointer is valid while the catalog lives unchanged.
  const char* getSQL(int32_t version, const char* sqlId, int32_t& maxRowNum, bool isCluster) const;

  // Appends a copy unless an entry of the same id exists (then traces and drops it). Returns
  // whether it was added.
  bool addUnique(const OraXMLSQLInfo& info);

  // Folds a customised catalog in: an entry of a known id is merged into it, a new one appended.
  void mergeFrom(const OraXMLSQLData& other);

  // Traces every entry and statement (detailed level).
  void dump() const;

 private:
  std::deque<OraXMLSQLInfo> m_entries;
  // Position of each id in m_entries, so that lookups and loading stay fast for large catalogs
  // (ids are unique, so this finds the one entry a walk from the front would find).
  std::unordered_map<std::string, size_t> m_index;
};

#endif  // VEL_CATALOG_ORAXMLSQLDATA_H
