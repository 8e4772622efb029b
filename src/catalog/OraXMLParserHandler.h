// Reads a SQL catalog file into an OraXMLSQLData through the XML event parser.
//
// Accepted layout (element and attribute names ignoring case; the document element's name is not
// checked):
//   <doc>
//     <SQLInfo id=".." maxrownum=".." simplesql="true" odiversion=".." interval=".." type=".."
//              timeout=".." InstanceIDIndex="..">
//       <SQL dbversion=".." [sqltext=".." clustersqlText=".."]>     (the attributes: old format)
//         <SQLText>..</SQLText> <ClusterText>..</ClusterText>
//         <BaseTable queryname=".." grantname=".."/>
//       </SQL>
//       <DatabaseType value="RDB|ASM|DG" role=".."/>
//     </SQLInfo>
//   </doc>
// Anything else, anything deeper than four levels and anything in the wrong place is ignored.
#ifndef VEL_CATALOG_ORAXMLPARSERHANDLER_H
#define VEL_CATALOG_ORAXMLPARSERHANDLER_H

#include <cstdint>
#include <memory>
#include <string>

#include "OraXMLSQLData.h"

class OraXMLParserHandler {
 public:
  // Parses fileName and adds its entries to data. False for a null or empty name, a file that
  // cannot be opened or read, a parser that cannot be created, or malformed XML; entries added
  // before an error stay in data. A file that ends inside the document is not an error (the
  // parser is never told that the last block came) but is traced.
  static bool parseXML(const char* fileName, OraXMLSQLData& data);

  // Reads VEL_DEFAULT_MAXROWNUM once (1000 when unset or empty).
  explicit OraXMLParserHandler(OraXMLSQLData& data);
  ~OraXMLParserHandler();
  OraXMLParserHandler(const OraXMLParserHandler&) = delete;
  OraXMLParserHandler& operator=(const OraXMLParserHandler&) = delete;

  // Event handlers; userData is the handler. attributes: null-terminated name/value pairs.
  static void startElement(void* userData, const char* name, const char** attributes);
  static void endElement(void* userData, const char* name);
  static void onCharacters(void* userData, const char* text, int length);

  int32_t getDefaultMaxRowNum() const { return m_defaultMaxRowNum; }
  // Depth of the innermost open element (0 outside the document element).
  size_t getDepth() const { return m_depth; }
  // True once the document element has been opened.
  bool sawDocument() const { return m_sawDocument; }

 private:
  // What an open element at depths 2 to 4 is, as far as the catalog cares.
  enum class Kind { Other, SQLInfo, SQL, DatabaseType, SQLText, ClusterText, BaseTable };

  void onStart(const char* name, const char** attributes);
  void onEnd(const char* name);
  void onText(const char* text, int length);
  void startSQLInfo(const char** attributes);
  void startSQL(const char* name, const char** attributes);
  void startBaseTable(const char** attributes);
  void startDatabaseType(const char** attributes);
  Kind kindAt(size_t depth) const {
    return (depth >= 2 && depth <= 4) ? m_kinds[depth] : Kind::Other;
  }

  OraXMLSQLData& m_data;
  // The element stack: only the depth and the kinds of levels 2 to 4 matter, so deeper levels
  // are counted, not stored (a deeply nested file costs no memory here).
  size_t m_depth = 0;
  Kind m_kinds[5] = {Kind::Other, Kind::Other, Kind::Other, Kind::Other, Kind::Other};
  bool m_sawDocument = false;
  std::unique_ptr<OraXMLSQL> m_currentSQL;       // under construction, or null
  std::unique_ptr<OraXMLSQLInfo> m_currentInfo;  // under construction, or null
  // Text of the open SQLText or ClusterText element. A standard string grows geometrically, so a
  // long text delivered in many small pieces is collected in linear time.
  std::string m_chars;
  int32_t m_defaultMaxRowNum;
};

#endif  // VEL_CATALOG_ORAXMLPARSERHANDLER_H
