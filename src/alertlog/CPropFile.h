// CPropFile: one small text file of name=value lines held in memory. The alert-log subsystem
// keeps three of them: the message-identifier file (pattern=severity), the runtime file (read
// positions of the alert logs) and the runtime file's template.
//
// File format: one property per line, split at the first '='; name and value are trimmed of
// blanks, tabs, CR and LF and neither may be empty. Blank lines and lines beginning with '#' are
// comments. A later duplicate key replaces the earlier value in the earlier key's place. Lines of
// any length are read whole.
//
// Contract: load() re-reads the file only when its modification time is newer than the one seen
// at the last load or save; a failed load or save leaves the properties in memory unchanged.
// save() keeps the comments and junk lines that were read, in their places, and writes through a
// temporary file renamed over the old one, so a crash never leaves a half-written file. Texts
// returned by the getters belong to the object and stay valid until that value changes or the
// object is cleared. Nothing throws.
//
// Locking: none. An object is used by one thread at a time (the alert-log thread).
#ifndef VEL_ALERTLOG_CPROPFILE_H
#define VEL_ALERTLOG_CPROPFILE_H

#include <ctime>
#include <vector>

#include "VelString.h"

class CPropFile {
 public:
  // Stores the path; reads nothing.
  explicit CPropFile(const char* path);
  ~CPropFile();
  CPropFile(const CPropFile&) = delete;
  CPropFile& operator=(const CPropFile&) = delete;

  // Forgets every property and comment, clears the modified flag and the file time (so the next
  // load of an existing file reads it).
  void clear();
  int size() const { return static_cast<int>(m_keys.size()); }
  // Key / value at a position in insertion order; null (and a trace) when out of range.
  const char* getKeyAt(int index) const;
  const char* getPropertyAt(int index) const;
  // Value of the key (case-sensitive), else dflt (which may be null).
  const char* getProperty(const char* key, const char* dflt) const;
  // The value as atoi / base-10 strtoll reads it; dflt for a missing key or a conversion error.
  int getPropertyAsInt(const char* key, int dflt) const;
  long long getPropertyAsLong(const char* key, long long dflt) const;
  // Changes the value of an existing key (setting the modified flag when it differs) or appends
  // a new key at the end. False, and nothing changes, for a null or empty key or value.
  bool setProperty(const char* key, const char* value);
  bool setPropertyAsInt(const char* key, int value);
  bool setPropertyAsLong(const char* key, long long value);

  // Whether the file's modification time is newer than the one seen at the last load or save.
  // False (with a trace) when the file cannot be stat'ed.
  bool needLoad();
  // Re-reads the file when needLoad(); true only when it was read.
  bool load();
  // Whether the file can be opened for reading.
  bool fileExists() const;
  // Writes the header line (when not null), then the properties and kept comments in order;
  // mode 0664. False (memory unchanged) when the file cannot be written.
  bool save(const char* header);

  // Set when an existing key received a different value; cleared by save and clear.
  bool isModified() const { return m_bModified; }
  const char* getFileName() const { return m_sFileName.c_str(); }

 private:
  using Lines = std::vector<VelString*>;
  int find(const char* key) const;
  void parseLine(char* line, int number, Lines& pending);
  static void freeLines(Lines& lines);

  bool m_bModified = false;
  time_t m_tFileTime = 0;  // mtime after the last successful load or save; 0 = none
  VelString m_sFileName;
  std::vector<VelString*> m_keys;    // owned, unique, never empty
  std::vector<VelString*> m_values;  // owned; m_values[i] belongs to m_keys[i]
  // Comment, blank and junk lines read before property i (m_before[i]) or after the last one
  // (m_trailer), owned, kept so that save writes them back in their places.
  std::vector<Lines> m_before;  // same length as m_keys
  Lines m_trailer;
};

#endif  // VEL_ALERTLOG_CPROPFILE_H
