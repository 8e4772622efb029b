// Attribute-group definitions: per group served to the agent, its attributes in order with their
// type, size and the database column behind each.
//
// Filled once at start-up from the agent's reference file (VelAgentDefinitionParserHandler) and
// from vel.atr (parseATRFile); read-only afterwards. Plain values: copying copies everything.
#ifndef VEL_CATALOG_VELATTRGROUPS_H
#define VEL_CATALOG_VELATTRGROUPS_H

#include <cstdint>
#include <vector>

#include "VelMemManager.h"
#include "VelString.h"

// One attribute of a group.
class VelAttributeDef : public Vel_BaseMemPool {
 public:
  VelAttributeDef() = default;
  VelAttributeDef(const char* name, const char* type, int32_t size)
      : m_name(name), m_type(type), m_size(size) {}

  const char* getName() const { return m_name.c_str(); }
  // Database column behind the attribute; "" until vel.atr names one.
  const char* getColumnName() const { return m_columnName.c_str(); }
  // The agent's type text, as given.
  const char* getType() const { return m_type.c_str(); }
  int32_t getSize() const { return m_size; }

  bool setColumnName(const char* column) { return m_columnName.assign(column); }

 private:
  VelString m_name;
  VelString m_columnName;
  VelString m_type;
  int32_t m_size = 0;
};

// One attribute group: its name and its attributes in file order.
class VelAttributeGroupDef : public Vel_BaseMemPool {
 public:
  VelAttributeGroupDef() = default;
  explicit VelAttributeGroupDef(const char* name) : m_name(name) {}

  const char* getName() const { return m_name.c_str(); }
  bool setName(const char* name) { return m_name.assign(name); }
  const std::vector<VelAttributeDef>& getAttributes() const { return m_attributes; }
  std::vector<VelAttributeDef>& getAttributes() { return m_attributes; }
  size_t getAttributeCount() const { return m_attributes.size(); }

  void addAttribute(const VelAttributeDef& attribute) { m_attributes.push_back(attribute); }
  // Empties the name and the attribute list.
  void clear();

 private:
  VelString m_name;
  std::vector<VelAttributeDef> m_attributes;
};

// All groups, in the order they were read; a name may occur twice (lookups find the first).
class VelAttrGroups : public Vel_BaseMemPool {
 public:
  const std::vector<VelAttributeGroupDef>& getGroups() const { return m_groups; }
  std::vector<VelAttributeGroupDef>& getGroups() { return m_groups; }
  size_t size() const { return m_groups.size(); }

  void addGroup(const VelAttributeGroupDef& group) { m_groups.push_back(group); }

  // The first group whose name equals name exactly; null for a null or empty name or no match.
  // Points into this object (valid until a group is added).
  const VelAttributeGroupDef* getAGDef(const char* name) const;

  // Traces every group and attribute (detailed level).
  void dump() const;

 private:
  std::vector<VelAttributeGroupDef> m_groups;
};

// Reads vel.atr and sets the column names it gives: a "name VEL_<group>.<attribute>" line
// followed by a "colu <column>" line. Lines of other forms are ignored; a missing file is traced.
void parseATRFile(const char* fileName, VelAttrGroups& groups);

// Sets the column of the first attribute named attribute (exactly) in the first group named group
// (ignoring case). Nothing happens when an argument is null or nothing matches.
void setAttrColumnName(VelAttrGroups& groups, const char* group, const char* attribute,
                       const char* column);

#endif  // VEL_CATALOG_VELATTRGROUPS_H
