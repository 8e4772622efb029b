// The disk-space groups (RDB_Disk_Space, DG_Disk_Space): for every file-system location the
// database writes to (archive and dump destinations, data and temp files) the free and used space
// of the file system that holds it. The database names the locations through catalog statements;
// the sizes are measured on this host, so only locations of the instance running here (or rows
// that name no instance) are measured; the others, ASM locations ("+DISK") and paths that cannot
// be measured are reported with "NO" and "-1" figures.
//
// Used by the subnode's worker alone, which keeps the Vel_DiskSpaceInstanceInfo across requests;
// send holds the send mutex for the whole answer.
#ifndef VEL_REQUEST_VEL_DISKSPACEREQUEST_H
#define VEL_REQUEST_VEL_DISKSPACEREQUEST_H

#include "Ora_StmtTable.h"
#include "VelString.h"
#include "Vel_Request.h"

// Which instance of the database runs on this host; detection runs while the identifier is empty
// and not again once it is set (also to "-1": none here).
class Vel_DiskSpaceInstanceInfo {
 public:
  VelString m_localInstanceId;
  VelString m_localInstanceName;
};

class Vel_DiskSpaceRequest : public Vel_BaseDataRequest {
 public:
  static constexpr int kValues = 14;

  explicit Vel_DiskSpaceRequest(Vel_AgentFacRequest& request) : Vel_BaseDataRequest(request) {}

  // Detects the local instance when not yet known, then collects the rows of the four location
  // statements; a failing statement (raised as an Oracle event) does not stop the next.
  void process(Ora_Database& database, Vel_DiskSpaceInstanceInfo& info,
               const VelCachedInstanceList& instances);
  void detectLocalInstanceId(Ora_Database& database, Vel_DiskSpaceInstanceInfo& info);
  bool appendRows(Ora_Database& database, const char* sqlId, const Vel_DiskSpaceInstanceInfo& info,
                  const VelCachedInstanceList& instances);
  void send(VelMutex& sendMutex);

  // The measured figures of path as values 6 to 12 of a row (free bytes, free MB x 100, total
  // bytes, total MB x 100, free percent x 100, used bytes, used MB x 100); false, values
  // untouched, when the file system cannot be measured.
  static bool measure(const char* path, char out[7][24]);
  const Ora_SimpleTable& getRows() const { return m_rows; }

 private:
  Ora_SimpleTable m_rows;
};

#endif  // VEL_REQUEST_VEL_DISKSPACEREQUEST_H
