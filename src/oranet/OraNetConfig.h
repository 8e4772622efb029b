// Oracle Net configuration files: which listener.ora and tnsnames.ora files the host has, and
// the listeners and aliases they define. A parser (OraNetConfigListeners, OraNetConfigTnsNames)
// re-reads a file only when its modification time changed, joins each definition that spans
// several lines into one text and extracts addresses and descriptors with case-insensitive ICU
// regular expressions into a locked result list. Each entry carries the time of the read that
// produced it, so a re-read refreshes the entries still there and drops the others while the
// check status of the survivors is kept.
//
// Locking: every operation of OraListenerInfoList and OraNetServiceInfoList holds the list's own
// mutex for its whole duration and calls nothing that takes another lock. A parser object is
// used by one thread at a time; OraNetFileInfoList is not locked.
#ifndef VEL_ORANET_ORANETCONFIG_H
#define VEL_ORANET_ORANETCONFIG_H

#include <unicode/regex.h>
#include <unicode/ucnv.h>
#include <unicode/unistr.h>

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

#include "VelList.h"
#include "VelMemManager.h"
#include "VelMutex.h"
#include "VelString.h"

// The result of one reachability check.
struct OraNetConnStatus {
  static constexpr unsigned kMessageSize = 256;
  enum State { kNotChecked = 0, kReachable = 1, kNotReachable = 2 };

  int m_errorCode = 0;  // 0 success, else the failing code
  char m_message[kMessageSize] = {};
  int m_state = kNotChecked;
  int32_t m_checkTime = 0;  // seconds; when the status was set

  // Now as the check time, at most 255 bytes of text (null: empty), the code, and the state
  // reachable for code 0, not reachable otherwise.
  void setStatus(int code, const char* text);
};

// One listener address of a listener.ora (or the dynamic listener).
class OraListenerInfo : public Vel_BaseMemPool {
 public:
  OraListenerInfo() = default;
  OraListenerInfo(const OraListenerInfo&) = default;
  OraListenerInfo& operator=(const OraListenerInfo&) = default;
  virtual ~OraListenerInfo() = default;

  // Same file (velFilePathCompare), listener name and address.
  bool isEqual(const OraListenerInfo& other) const;
  // Takes protocol, address, host, port, key, pipe and file time of a freshly parsed entry.
  void copyFromParseInfo(const OraListenerInfo& parsed);
  void dumpInfo() const;

  VelString m_listenerName;
  VelString m_protocol;  // "IPC", "NMP", "SDP", "TCP" or "TCPS"
  VelString m_address;   // normalised, e.g. "(PROTOCOL=TCP)(HOST=h)(PORT=1521)"
  VelString m_fileName;
  VelString m_host;  // HOST, or SERVER for NMP
  VelString m_port;  // "-1" when none
  VelString m_key;   // IPC
  VelString m_pipe;  // NMP
  int32_t m_fileTime = 0;
  OraNetConnStatus m_status;
};

// One net service name (alias) of a tnsnames.ora.
class OraNetServiceInfo : public Vel_BaseMemPool {
 public:
  OraNetServiceInfo() = default;
  OraNetServiceInfo(const OraNetServiceInfo&) = default;
  OraNetServiceInfo& operator=(const OraNetServiceInfo&) = default;
  virtual ~OraNetServiceInfo() = default;

  VelString m_name;
  VelString m_descriptor;  // the parenthesised text after "="
  VelString m_fileName;
  int32_t m_fileTime = 0;
  OraNetConnStatus m_status;
};

// What both result lists share: the entries in the order they were first found, owned, with an
// index by the fields that identify one. Every operation holds m_mutex for its whole duration.
template <typename T>
class OraNetInfoListBase {
 public:
  OraNetInfoListBase() = default;
  OraNetInfoListBase(const OraNetInfoListBase&) = delete;
  OraNetInfoListBase& operator=(const OraNetInfoListBase&) = delete;

  // Calls fn(const T&) for each entry in list order, under the list's mutex.
  template <typename Fn>
  void forEach(Fn fn) {
    VelMutexHandler lock(m_mutex);
    for (T* info : m_list) fn(*info);
  }
  unsigned getCount() {
    VelMutexHandler lock(m_mutex);
    return m_list.size();
  }

 protected:
  // The entry of key, or null. m_mutex held.
  T* find(const std::string& key) {
    auto found = m_index.find(key);
    return found != m_index.end() ? found->second : nullptr;
  }
  // Appends entry (owned from now on, deleted on failure) under key; false when no memory is
  // left. m_mutex held.
  bool insert(std::string key, T* entry) {
    if (entry == nullptr) return false;
    if (!m_list.push_back(entry)) {
      delete entry;
      return false;
    }
    m_index.emplace(std::move(key), entry);
    return true;
  }
  // Deletes the entries of file whose file time differs from fileTime, tracing each with
  // trace(entry); keyOf(entry) is its index key. m_mutex held.
  template <typename KeyOf, typename Trace>
  void dropOrphans(const VelString& file, long fileTime, KeyOf keyOf, Trace trace);

  VelMutex m_mutex;
  VelTypePtrList<T> m_list;                     // guarded by m_mutex
  std::unordered_map<std::string, T*> m_index;  // guarded by m_mutex
};

// The listeners of every file, shared between the listener thread and the request loop.
class OraListenerInfoList : public OraNetInfoListBase<OraListenerInfo> {
 public:
  // Refreshes the equal entry (isEqual) from info, or appends a copy not yet checked. False when
  // no memory is left.
  bool add(const OraListenerInfo& info);
  // Stores a check result into the entry of that file, name and address; whether it was found.
  bool updateStatus(const VelString& file, const VelString& name, const VelString& address,
                    const OraNetConnStatus& status);
  // Removes the entries of file whose file time differs from fileTime.
  void clearOrphanInfo(const VelString& file, long fileTime);
};

// The aliases of every file, shared between the alias thread and the request loop.
class OraNetServiceInfoList : public OraNetInfoListBase<OraNetServiceInfo> {
 public:
  // Refreshes the alias of that file and name (descriptor, file time) or appends a new one not
  // yet checked. False when no memory is left.
  bool add(const VelString& file, const VelString& name, const VelString& descriptor,
           long fileTime);
  bool updateStatus(const VelString& file, const VelString& name, const OraNetConnStatus& status);
  void clearOrphanInfo(const VelString& file, long fileTime);
};

template <typename T>
template <typename KeyOf, typename Trace>
void OraNetInfoListBase<T>::dropOrphans(const VelString& file, long fileTime, KeyOf keyOf,
                                        Trace trace) {
  VelTypePtrList<T> kept;
  while (T* p = m_list.pop_front()) {
    if (file.compare(p->m_fileName.c_str()) != 0 || p->m_fileTime == fileTime) {
      if (kept.push_back(p)) continue;
    } else {
      trace(*p);
    }
    m_index.erase(keyOf(*p));
    delete p;
  }
  while (T* p = kept.pop_front()) {
    if (m_list.push_back(p)) continue;
    m_index.erase(keyOf(*p));
    delete p;
  }
}

// A file to read and the modification time seen at its last read.
class OraNetFileInfo : public Vel_BaseMemPool {
 public:
  explicit OraNetFileInfo(const char* path) : m_path(path) {}
  virtual ~OraNetFileInfo() = default;
  VelString m_path;
  long m_lastTime = 0;
};

// The files to read, without duplicates. Not locked: one thread owns it.
class OraNetFileInfoList : public VelTypePtrList<OraNetFileInfo> {
 public:
  enum Type { kListener = 1, kTnsNames = 2 };
  // Adds the candidate files of a type: TNS_ADMIN and VEL_ORACLE_HOME/network/admin (unless
  // VEL_LOAD_ORACLE_NET is "FALSE"), then every folder of VEL_TNS_PATHS (":"-separated).
  void addFileInfo(int type);
  // Takes info over, or deletes it when its path is already in the list; whether it was added.
  bool add(OraNetFileInfo* info);
};

// The common reader of both file kinds.
class OraNetConfigBase {
 public:
  // The longest definition (and physical line) kept; longer ones are dropped as invalid.
  static constexpr size_t kMaxEntryLength = 64 * 1024;

  OraNetConfigBase();
  virtual ~OraNetConfigBase();
  OraNetConfigBase(const OraNetConfigBase&) = delete;
  OraNetConfigBase& operator=(const OraNetConfigBase&) = delete;

  // Reads and parses path when its modification time differs from lastTime. Returns the
  // modification time seen now (0 when the file cannot be read), which the caller gives back as
  // lastTime next time.
  long ReadNetConfigFile(const char* path, long lastTime);

  // Cuts line at its first "#", trims blanks, tabs, CR and LF at both ends; null when nothing
  // remains.
  virtual char* PreProcessLine(char* line);
  virtual void onParseWholeLine(VelString& entry) = 0;
  virtual void onBeforeReadFile(const VelString& path);
  virtual void onAfterReadFile(const VelString& path) = 0;
  virtual const char* shortFileName() const = 0;

 protected:
  // Compiles "\s*(NAMECLASS)\s*=\s*" + tail, case-insensitive; null (traced) on failure.
  std::unique_ptr<icu::RegexPattern> compileEntryPattern(const char* tail);
  static std::unique_ptr<icu::RegexPattern> compile(const icu::UnicodeString& pattern);
  bool toUnicode(const char* text, int32_t length, icu::UnicodeString& out);
  bool fromUnicode(const icu::UnicodeString& text, VelString& out);
  // group of a successful match as UTF-8, surrounding blanks removed.
  bool groupText(icu::RegexMatcher& matcher, int group, VelString& out);
  // The entry text shortened for a trace line.
  static std::string traceText(const VelString& entry);

  UConverter* m_converter = nullptr;  // null: no line is ever parsed
  VelString m_fileName;               // the file of the current read
  long m_fileTime = 0;                // its modification time
  std::unique_ptr<icu::RegexPattern> m_entryPattern;
  std::unique_ptr<icu::RegexMatcher> m_entryMatcher;
  // The definition being parsed: the matchers keep a reference to their input, so it lives here.
  icu::UnicodeString m_text;

 private:
  void handOver(std::string& gathered, bool& oversized);
};

// listener.ora: one OraListenerInfo per ADDRESS of every definition.
class OraNetConfigListeners : public OraNetConfigBase {
 public:
  explicit OraNetConfigListeners(OraListenerInfoList& list);
  ~OraNetConfigListeners() override;

  void onParseWholeLine(VelString& entry) override;
  void onAfterReadFile(const VelString& path) override;
  const char* shortFileName() const override { return "listener.ora"; }

  // Fills info's protocol, address, host, port, key and pipe from an address text; false for a
  // text without "(", an unknown protocol or a missing needed value.
  bool parseAddr(const icu::UnicodeString& address, OraListenerInfo& info);

 private:
  OraListenerInfoList& m_list;
  std::unique_ptr<icu::RegexPattern> m_addressPattern;
  std::unique_ptr<icu::RegexPattern> m_pairPattern;
  std::unique_ptr<icu::RegexMatcher> m_addressMatcher;
  std::unique_ptr<icu::RegexMatcher> m_pairMatcher;
  icu::UnicodeString m_addressText;  // the input of m_pairMatcher
};

// tnsnames.ora: one OraNetServiceInfo per alias.
class OraNetConfigTnsNames : public OraNetConfigBase {
 public:
  explicit OraNetConfigTnsNames(OraNetServiceInfoList& list);
  ~OraNetConfigTnsNames() override;

  void onParseWholeLine(VelString& entry) override;
  void onAfterReadFile(const VelString& path) override;
  const char* shortFileName() const override { return "tnsnames.ora"; }

 private:
  OraNetServiceInfoList& m_list;
};

#endif  // VEL_ORANET_ORANETCONFIG_H
