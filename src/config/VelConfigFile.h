// The instance configuration as read from the agent's configuration file: the global values
// and one VelConfigInstance per "config" section, with its subnode name.
#ifndef VEL_CONFIG_VELCONFIGFILE_H
#define VEL_CONFIG_VELCONFIGFILE_H

#include "ROV.h"
#include "VelConfigInstance.h"
#include "VelList.h"
#include "VelMemManager.h"
#include "VelString.h"

// Prefix of an encrypted configuration value.
constexpr char kVelEncryptedPrefix[] = "{AES256:keyfile:a}";

// How subnode names are composed; read from the environment once per load.
struct VelSubNodeNaming {
  bool includeAgentName = true;  // VEL_SUBNODE_INCLUDING_AGENTNAME equals YES (any case)
  bool includeHostName = true;   // VEL_SUBNODE_INCLUDING_HOSTNAME equals YES (any case)
  int maxLength = 24;            // VEL_MAX_SUBNODE_NAME_LENGTH when 1..25, else 24

  // Both switches default to "YES" and the length to "24" when the variables are not set.
  static VelSubNodeNaming fromEnvironment();
};

// A connection left out because its subnode name, once cut to the maximum length, is the name
// of an earlier connection.
class VelConfigConflict : public Vel_BaseMemPool {
 public:
  virtual ~VelConfigConflict() = default;
  VelString m_connectionName;  // the stripped identifier of the connection left out
  VelString m_subnodeName;     // the subnode name both would have had
};

class VelConfigFile {
 public:
  // Creates the empty global information and loads the configuration (see load()).
  VelConfigFile();
  ~VelConfigFile();
  VelConfigFile(const VelConfigFile&) = delete;
  VelConfigFile& operator=(const VelConfigFile&) = delete;

  // Reads the configuration of the agent instance named by VEL_INSTANCE_NAME (product code
  // "vl") through the configuration reader, replacing what was loaded before. False when the
  // file cannot be read or holds no configuration for the instance; the object is then empty.
  bool load();
  // The result of the last load().
  bool isLoaded() const { return m_loaded; }

  // Copies the fields of the first instance whose subnode name equals subnode into out; false
  // for a null or empty text or no match.
  bool getInstance(const char* subnode, VelConfigInstance& out) const;

  // Traces the global values and each instance at detail level.
  void dump() const;

  // The global information; the file keeps it until takeGlobalInfo().
  const VelConfigGlobalInfo* getGlobalInfo() const { return m_globalInfo; }
  // Hands the global information over to the caller (null when taken before).
  VelConfigGlobalInfo* takeGlobalInfo();

  // The instances in section order (owned by the file).
  VelTypePtrList<VelConfigInstance>& getInstances() { return m_instances; }
  // Takes the first instance off the list; null when none is left. The caller owns it.
  VelConfigInstance* popInstance() { return m_instances.pop_front(); }

  // The connections the last load left out for a subnode-name conflict, in section order.
  VelTypePtrList<VelConfigConflict>& getConflicts() { return m_conflicts; }

  // Copies into out (size bytes) only the letters, digits, '-', '_' and '.' of in, at most
  // size - 1 of them, and terminates it. Does nothing when in or out is null or size < 2.
  static void stripSubNode(const char* in, char* out, unsigned size);

  // Composes a subnode name: the stripped identifier, then "-" and the agent instance name,
  // then "-" and the host name (each when switched on and not empty), cut to the maximum
  // length. Returns whether it had to be cut.
  static bool composeSubNodeName(const char* strippedId, const char* instanceName,
                                 const char* hostName, const VelSubNodeNaming& naming,
                                 VelString& out);

 private:
  void reset();

  VelConfigGlobalInfo* m_globalInfo;              // owned until taken
  VelTypePtrList<VelConfigInstance> m_instances;  // section order
  VelTypePtrList<VelConfigConflict> m_conflicts;
  bool m_loaded = false;
};

// Looks up the entry name of section into out. A value that starts with the encryption prefix
// is decrypted; a decrypted value longer than 255 bytes leaves out unchanged. False for a null
// section, an empty name, an entry the section lacks (out unchanged) or a failed decryption.
bool VelConfigFileGetEntry(ROV::ConfigSection* section, const char* name, VelString& out);

#endif  // VEL_CONFIG_VELCONFIGFILE_H
