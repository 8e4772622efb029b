// The directory of monitored connections.
#include "VelConfig.h"

#include <cstdlib>
#include <cstring>

#include "MUT1.h"
#include "PEB1.h"
#include "TEV.h"
#include "VelConfigFile.h"
#include "Vel_PostEvent.h"

VEL_TRACE_UNIT("config");

namespace {
// Agent event id of a connection left out for a subnode-name conflict.
constexpr int kConfigConflictEventId = 1000;
}  // namespace

VelConfigItem::VelConfigItem(VelConfigInstance* instance) : m_instance(instance) {
  if (m_instance != nullptr) m_subnodeName = m_instance->m_subnodeName;
}

VelConfigItem::~VelConfigItem() { delete m_instance; }

bool VelConfigItem::getConfigInfo(VelConfigInstance& out) const {
  if (m_instance == nullptr) return false;
  out = *m_instance;
  return true;
}

VelConfig::VelConfig() : m_globalInfo(nullptr) {
  VEL_FLOW_ENTRY("VelConfig::VelConfig");
  VelConfigFile file;
  // The configuration the process serves is dumped once, at detailed tracing (passwords by their
  // length only).
  if (VEL_TRACE_ON(MUT1_DETAIL)) file.dump();
  m_globalInfo = file.takeGlobalInfo();
  while (VelConfigInstance* instance = file.popInstance()) {
    VelConfigItem* item = new VelConfigItem(instance);
    if (item == nullptr) {
      VEL_ERROR("Error at memory allocation");
      delete instance;
      continue;
    }
    m_items.push_back(item);
  }
  for (VelTypePtrListIterator<VelConfigConflict> it = file.getConflicts().begin();
       it != file.getConflicts().end(); ++it) {
    Vel_PostEvent::postConfigErrorInfo((*it)->m_connectionName.c_str(),
                                       (*it)->m_subnodeName.c_str(), kConfigConflictEventId);
  }
}

VelConfig::~VelConfig() { delete m_globalInfo; }

VelConfigItem* VelConfig::searchBySubNode(const char* subnode) {
  if (subnode == nullptr) return nullptr;
  for (VelTypePtrListIterator<VelConfigItem> it = m_items.begin(); it != m_items.end(); ++it) {
    if (strcmp((*it)->getSubNodeName().c_str(), subnode) == 0) return *it;
  }
  return nullptr;
}

bool VelConfig::getConfigInfo(const char* subnode, VelConfigInstance& out) {
  VEL_FLOW_ENTRY("VelConfig::getConfigInfo");
  VelMutexHandler lock(m_mutex);
  VelConfigItem* item = searchBySubNode(subnode);
  if (item == nullptr) VEL_RETURN(false);
  VEL_RETURN(item->getConfigInfo(out));
}

bool VelConfig::getDBInfo(const char* subnode, Ora_DatabaseInfo& out) {
  VEL_FLOW_ENTRY("VelConfig::getDBInfo");
  VelMutexHandler lock(m_mutex);
  VelConfigItem* item = searchBySubNode(subnode);
  if (item == nullptr) VEL_RETURN(false);
  item->getDBInfo(out);
  VEL_RETURN(true);
}

const char* VelConfig::getHostName() {
  const char* name = getenv("NOVAG_HOSTNAME");
  if (name != nullptr) return name;
  return TEV_GetHostname();
}

bool VelConfig::getOrmondHome(VelString& out) {
  const char* home = PEB1_GetEnv("ORMONDHOME", nullptr);
  if (home == nullptr) {
    VEL_ERROR("There is no %s defined", "ORMONDHOME");
    return false;
  }
  out.assign(home);
  return true;
}
