#include "VelAgentDefinitionParserHandler.h"

#include <cstdlib>
#include <cstring>

#include "MUT1.h"
#include "VelEncoding.h"
#include "VelXMLFile.h"

VEL_TRACE_UNIT("catalog");

namespace {

// Element names of the reference file, compared exactly, by depth 1 to 3.
const char* const kChain[4] = {nullptr, "agent_ref", "custom", "metric"};

// Value of the first attribute named key (ignoring case), or null.
const char* findAttribute(const char** attributes, const char* key) {
  for (const char** a = attributes; a != nullptr && a[0] != nullptr && a[1] != nullptr; a += 2)
    if (velstricmp(a[0], key) == 0) return a[1];
  return nullptr;
}

}  // namespace

void VelAgentDefinitionParserHandler::startElement(void* userData, const char* name,
                                                   const char** attributes) {
  static_cast<VelAgentDefinitionParserHandler*>(userData)->onStart(name, attributes);
}

void VelAgentDefinitionParserHandler::endElement(void* userData, const char* /*name*/) {
  static_cast<VelAgentDefinitionParserHandler*>(userData)->onEnd();
}

void VelAgentDefinitionParserHandler::onStart(const char* name, const char** attributes) {
  ++m_depth;
  if (m_depth == 1) m_sawDocument = true;
  if (name == nullptr) return;
  if (VEL_TRACE_ON(MUT1_DETAIL)) {
    VEL_DETAIL("Current element name is %s", name);
    for (const char** a = attributes; a != nullptr && a[0] != nullptr && a[1] != nullptr; a += 2)
      VEL_DETAIL("name is %s, value is %s", a[0], a[1]);
  }
  if (m_depth > 3) return;
  // A level is on the chain when its name is the expected one and its parent is on the chain.
  bool parentOnChain = m_depth == 1 || m_chain[m_depth - 1];
  m_chain[m_depth] = parentOnChain && strcmp(name, kChain[m_depth]) == 0;
  if (!m_chain[m_depth]) return;

  if (m_depth == 2) {
    m_group.clear();
    const char* ag = findAttribute(attributes, "ag");
    m_group.setName(ag);
    VEL_DETAIL("AG name is %s", m_group.getName());
  } else if (m_depth == 3 && *m_group.getName() != 0) {
    const char* metricName = findAttribute(attributes, "metricName");
    const char* size = findAttribute(attributes, "size");
    const char* type = findAttribute(attributes, "type");
    if (metricName == nullptr || *metricName == 0) {
      VEL_ERROR("Error at attribute definition in ref file");
      return;
    }
    int32_t sizeValue = velAttrToInt(size);
    VEL_DETAIL("attribute name is:%s, type is:%s, size is:%d", metricName, type ? type : "",
               sizeValue);
    m_group.addAttribute(VelAttributeDef(metricName, type, sizeValue));
  }
}

void VelAgentDefinitionParserHandler::onEnd() {
  if (m_depth == 0) return;  // an unbalanced end event; the parser never sends one
  if (m_depth == 2 && m_chain[2]) {
    if (*m_group.getName() != 0) m_groups.addGroup(m_group);
    m_group.clear();
  }
  if (m_depth <= 3) m_chain[m_depth] = false;
  --m_depth;
}

bool VelAgentDefinitionParserHandler::parseXML(const char* fileName, VelAttrGroups& groups) {
  VEL_FLOW_ENTRY("VelAgentDefinitionParserHandler::parseXML");
  VelAgentDefinitionParserHandler handler(groups);
  if (!velParseXMLFile(fileName, &handler, startElement, endElement, nullptr)) VEL_RETURN(false);
  velTraceIncompleteXML(fileName, handler.sawDocument(), handler.getDepth());
  VEL_DETAIL("Reference file %s parsed, %d attribute groups", fileName,
             static_cast<int>(groups.size()));
  VEL_RETURN(true);
}
