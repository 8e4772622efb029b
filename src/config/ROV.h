// Configuration reader of the agent runtime (ROV).
//
// The agent keeps one configuration file per agent instance. The reader turns it into an
// AgentConfig: a set of instance configurations, each an ordered list of sections, each section
// a name, an optional identifier and a table of entries.
//
// File location: $VEL_CONFIG_FILE when set, otherwise
// $ORMONDHOME/config/<product code>_<instance name>.cfg (for example vl_inst1.cfg).
//
// File format (INI style):
//   # comment line            ; comment line
//   [default]                 a section without identifier
//   [config PROD db/1]        section "config", identifier "PROD db/1" (the rest, trimmed)
//   KEY = value               entry; blanks around '=' and at both ends are ignored
// - A '#' or ';' as the first non-blank character makes the line a comment. A header may be
//   followed by blanks and a comment; entry values are taken verbatim (a '#' inside a value is
//   part of it, as passwords may hold one).
// - Keys are case-sensitive and hold no blanks; section names are kept as written.
// - A later entry of the same key in one section replaces the earlier value.
// - Sections keep file order; a name may repeat (one "config" section per connection).
// - Line ends may be LF or CRLF; a UTF-8 byte-order mark at the start is ignored.
// - A malformed line (no '=', unclosed or empty header, empty key, key with blanks, text after
//   a header, an entry before the first header, a NUL byte) is reported with one error trace
//   line naming the file, the line number and the reason, and skipped; the rest of the file is
//   read. Line contents are never traced, since they may hold secrets.
//
// Ownership: an AgentConfig owns its instance configurations, which own their sections. Pointers
// handed out stay valid until the AgentConfig is destroyed or parsed into again. Nothing here
// throws; failures are reported by result and a trace line.
#ifndef VEL_CONFIG_ROV_H
#define VEL_CONFIG_ROV_H

#include <cstddef>
#include <string>
#include <vector>

namespace ROV {

// A small owning byte string; the text is always NUL-terminated and never null.
class String {
 public:
  String() = default;
  explicit String(const char* text) { assign(text); }
  String(const char* text, size_t length) { assign(text, length); }

  // A null text makes the string empty.
  void assign(const char* text);
  void assign(const char* text, size_t length);
  void clear();

  const char* c_str() const { return m_text.c_str(); }
  size_t length() const { return m_text.size(); }
  bool empty() const { return m_text.empty(); }

 private:
  std::string m_text;
};

// One "[name identifier]" section and its entries, in file order.
class ConfigSection {
 public:
  ConfigSection(const char* name, const char* id);

  // The section name ("default", "config", ...); never null.
  const char* getName() const { return m_name.c_str(); }
  // The identifier after the name, trimmed; "" when the header has none. Never null.
  const char* getID() const { return m_id.c_str(); }

  // Copies the value of the entry called name into value and returns true; false (value
  // unchanged) for a null name or an entry the section lacks.
  bool getEntryValue(const char* name, String& value) const;

  int getNumEntries() const { return static_cast<int>(m_entries.size()); }
  // The name of entry i (0-based, file order of first appearance); null when out of range.
  const char* getEntryName(int i) const;

  // Adds an entry or replaces the value of an existing one.
  void setEntry(const char* name, const char* value);

 private:
  struct Entry {
    std::string name;
    std::string value;
  };
  std::string m_name;
  std::string m_id;
  std::vector<Entry> m_entries;
};

// The configuration of one agent instance: its sections in file order.
class InstanceConfig {
 public:
  explicit InstanceConfig(const char* name);
  ~InstanceConfig();
  InstanceConfig(const InstanceConfig&) = delete;
  InstanceConfig& operator=(const InstanceConfig&) = delete;

  const char* getName() const { return m_name.c_str(); }
  int getNumSections() const { return static_cast<int>(m_sections.size()); }
  // Section i (0-based); null when out of range. The instance keeps ownership.
  ConfigSection* getSection(int i) const;

  // Appends a new empty section and returns it (owned by the instance).
  ConfigSection* addSection(const char* name, const char* id);

 private:
  std::string m_name;
  std::vector<ConfigSection*> m_sections;  // owned
};

// Everything one parse produced for a product.
class AgentConfig {
 public:
  AgentConfig() = default;
  ~AgentConfig();
  AgentConfig(const AgentConfig&) = delete;
  AgentConfig& operator=(const AgentConfig&) = delete;

  // The configuration of the named instance (exact, case-sensitive match; a null name is
  // taken as ""); null when there is none. The AgentConfig keeps ownership.
  InstanceConfig* getInstance(const char* instanceName) const;
  int getNumInstances() const { return static_cast<int>(m_instances.size()); }
  const char* getProductCode() const { return m_productCode.c_str(); }
  // The file of the last parse ("" before any).
  const char* getSourceName() const { return m_source.c_str(); }

  // Drops every instance.
  void clear();

 private:
  friend class ConfigParser;
  std::string m_productCode;
  std::string m_source;
  std::vector<InstanceConfig*> m_instances;  // owned
};

class ConfigParser {
 public:
  // Reads the configuration file of the instance (location above) into out, replacing what it
  // held. False when the location cannot be worked out or the file cannot be read (a trace line
  // names the file and the reason); malformed lines do not make it fail. An empty file gives
  // an instance without sections.
  static bool parseConfig(const char* productCode, const char* instanceName, AgentConfig& out);

  // As parseConfig, from an explicit path.
  static bool parseFile(const char* path, const char* productCode, const char* instanceName,
                        AgentConfig& out);

  // Parses text already in memory; sourceName only names it in traces. Returns false only for
  // null arguments. Returns the number of malformed lines in *badLines when badLines is set.
  static bool parseText(const char* text, size_t length, const char* sourceName,
                        const char* productCode, const char* instanceName, AgentConfig& out,
                        int* badLines = nullptr);

  // Works out the file location of the instance into path; false (with a trace) when neither
  // VEL_CONFIG_FILE nor ORMONDHOME is set.
  static bool getConfigPath(const char* productCode, const char* instanceName, std::string& path);

  // Files larger than this are refused as not being a configuration file.
  static constexpr size_t kMaxFileSize = 4u * 1024u * 1024u;
};

}  // namespace ROV

#endif  // VEL_CONFIG_ROV_H
