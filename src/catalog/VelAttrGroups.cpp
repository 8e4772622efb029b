#include "VelAttrGroups.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "MUT1.h"
#include "VelEncoding.h"
#include "VelUtil.h"

VEL_TRACE_UNIT("catalog");

namespace {

constexpr size_t kLineSize = 4096;  // a line of vel.atr holds at most 4095 bytes
constexpr size_t kGroupSize = 64;   // group name buffer
constexpr size_t kNameSize = 100;   // attribute and column name buffers
const char kNamePrefix[] = "name VEL_";
const char kColumnPrefix[] = "colu ";

// Copies at most n bytes of src (and at most size - 1 in all) into dst and terminates it.
void copyBounded(char* dst, size_t size, const char* src, size_t n) {
  if (n > size - 1) n = size - 1;
  memcpy(dst, src, n);
  dst[n] = 0;
}

}  // namespace

void VelAttributeGroupDef::clear() {
  m_name.clear();
  m_attributes.clear();
}

const VelAttributeGroupDef* VelAttrGroups::getAGDef(const char* name) const {
  if (name == nullptr || *name == 0) return nullptr;
  for (const VelAttributeGroupDef& g : m_groups)
    if (strcmp(g.getName(), name) == 0) return &g;
  return nullptr;
}

void VelAttrGroups::dump() const {
  VEL_FLOW_ENTRY("VelAttrGroups::dump");
  if (!VEL_TRACE_ON(MUT1_DETAIL)) return;
  for (const VelAttributeGroupDef& g : m_groups) {
    VEL_DETAIL("Current Attribute Group is:%s", g.getName());
    for (const VelAttributeDef& a : g.getAttributes())
      VEL_DETAIL("Current Attr is:%s, name is:%s, colname is:%s, type is:%s, size is:%d",
                 g.getName(), a.getName(), a.getColumnName(), a.getType(), a.getSize());
  }
}

void setAttrColumnName(VelAttrGroups& groups, const char* group, const char* attribute,
                       const char* column) {
  VEL_FLOW_ENTRY("setAttrColumnName");
  if (group == nullptr || attribute == nullptr || column == nullptr) return;
  for (VelAttributeGroupDef& g : groups.getGroups()) {
    if (velstricmp(g.getName(), group) != 0) continue;
    for (VelAttributeDef& a : g.getAttributes()) {
      if (strcmp(a.getName(), attribute) == 0) {
        a.setColumnName(column);
        return;
      }
    }
    return;  // only the first group of that name is searched
  }
}

void parseATRFile(const char* fileName, VelAttrGroups& groups) {
  VEL_FLOW_ENTRY("parseATRFile");
  if (fileName == nullptr || *fileName == 0) {
    VEL_ERROR("Error, invalid file name:%s", fileName ? fileName : "");
    return;
  }
  FILE* f = fopen(fileName, "r");
  if (f == nullptr) {
    VEL_ERROR("Can't open file: %s, errno is %d", fileName, errno);
    return;
  }
  char line[kLineSize];
  char group[kGroupSize] = "";
  char attribute[kNameSize] = "";
  char column[kNameSize] = "";
  int matched = 0;
  while (fgets(line, sizeof line, f) != nullptr) {
    velTrimRight(line);
    size_t len = strlen(line);
    VEL_DETAIL("Current read line is: %s, len is %d", line, static_cast<int>(len));
    if (strncmp(line, kNamePrefix, sizeof kNamePrefix - 1) == 0) {
      const char* rest = line + sizeof kNamePrefix - 1;
      const char* dot = strchr(rest, '.');
      column[0] = 0;
      if (dot == nullptr) {
        // A name without "<group>.<attribute>" defines nothing. Its colu line must not be
        // attached to the attribute named before it, so the pending names are dropped too.
        VEL_DETAIL("Line without group and attribute is ignored: %s", line);
        group[0] = 0;
        attribute[0] = 0;
        continue;
      }
      copyBounded(group, sizeof group, rest, static_cast<size_t>(dot - rest));
      copyBounded(attribute, sizeof attribute, dot + 1, strlen(dot + 1));
    } else if (strncmp(line, kColumnPrefix, sizeof kColumnPrefix - 1) == 0) {
      const char* rest = line + sizeof kColumnPrefix - 1;
      copyBounded(column, sizeof column, rest, strlen(rest));
      if (group[0] != 0 && attribute[0] != 0 && column[0] != 0) {
        setAttrColumnName(groups, group, attribute, column);
        ++matched;
        group[0] = 0;
        attribute[0] = 0;
        column[0] = 0;
      }
    }
  }
  if (ferror(f) != 0) VEL_ERROR("Error reading file: %s, errno is %d", fileName, errno);
  (void)fclose(f);
  VEL_DETAIL("File %s read, %d column names given", fileName, matched);
}
