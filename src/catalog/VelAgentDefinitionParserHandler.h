// Reads the agent's reference file into VelAttrGroups through the XML event parser.
//
// Accepted layout (element names exactly, attribute names ignoring case):
//   <agent_ref>
//     <custom ag="Group_Name">
//       <metric metricName=".." type=".." size=".."/>
//     </custom>
//   </agent_ref>
// Every other element, and these in any other place, is ignored.
#ifndef VEL_CATALOG_VELAGENTDEFINITIONPARSERHANDLER_H
#define VEL_CATALOG_VELAGENTDEFINITIONPARSERHANDLER_H

#include <cstddef>

#include "VelAttrGroups.h"

class VelAgentDefinitionParserHandler {
 public:
  // Parses fileName and appends its groups to groups, in file order. False for a null or empty
  // name, a file that cannot be opened or read, a parser that cannot be created, or malformed
  // XML; groups completed before an error stay.
  static bool parseXML(const char* fileName, VelAttrGroups& groups);

  explicit VelAgentDefinitionParserHandler(VelAttrGroups& groups) : m_groups(groups) {}
  VelAgentDefinitionParserHandler(const VelAgentDefinitionParserHandler&) = delete;
  VelAgentDefinitionParserHandler& operator=(const VelAgentDefinitionParserHandler&) = delete;

  // Event handlers; userData is the handler. attributes: null-terminated name/value pairs.
  static void startElement(void* userData, const char* name, const char** attributes);
  static void endElement(void* userData, const char* name);

  // Depth of the innermost open element (0 outside the document element).
  size_t getDepth() const { return m_depth; }
  bool sawDocument() const { return m_sawDocument; }

 private:
  void onStart(const char* name, const char** attributes);
  void onEnd();

  VelAttrGroups& m_groups;
  // The element stack: only whether levels 1 to 3 are agent_ref / custom / metric matters, so
  // deeper levels are counted, not stored.
  size_t m_depth = 0;
  bool m_chain[4] = {false, false, false, false};
  bool m_sawDocument = false;
  VelAttributeGroupDef m_group;  // the group under construction
};

#endif  // VEL_CATALOG_VELAGENTDEFINITIONPARSERHANDLER_H
