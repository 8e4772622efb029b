// The attribute groups the collector registers, as process-wide constant texts. The link hands a
// request's handle back as the very pointer that was registered, so the request loop and the
// workers recognise their special groups by comparing the handle with these pointers; whoever
// registers a group must pass the constant itself, never an equal text. The event group is
// kAgentEventGroup (Vel_PostEvent.h).
#ifndef VEL_REQUEST_VELATTRGROUPNAMES_H
#define VEL_REQUEST_VELATTRGROUPNAMES_H

extern const char Monitored_Databases[];
extern const char Database_Information[];
extern const char RDB_Alert_Log_Details[];
extern const char ASM_Alert_Log_Details[];
extern const char RDB_Alert_Log_Summary[];
extern const char ASM_Alert_Log_Summary[];
extern const char Agent_Remote_Connection[];
extern const char Agent_Listener[];
extern const char RDB_Customized_SQL_Summary[];
extern const char RDB_Customized_SQL_Detail[];
extern const char DG_Customized_SQL_Summary[];
extern const char DG_Customized_SQL_Detail[];
extern const char RDB_Top_SQL[];
extern const char RDB_SQLTEXT[];
extern const char DG_Alert_Log_Details[];
extern const char DG_Alert_Log_Summary[];
extern const char DG_Status[];
extern const char RDB_Disk_Space[];
extern const char DG_Disk_Space[];
extern const char RDB_Instance_Info[];
extern const char ASM_Instance[];
extern const char RDB_Parameter[];
extern const char ASM_Parameter[];

// One fixed registration: the group's constant name and the version registered with it.
struct VelAttrGroupRegistration {
  const char* name;
  int version;
};

// The fixed groups in registration order (Agent_Event third, as kAgentEventGroup); the catalog's
// simple-SQL entries follow them at registration time.
extern const VelAttrGroupRegistration kVelFixedAttrGroups[];
extern const int kVelFixedAttrGroupCount;

#endif  // VEL_REQUEST_VELATTRGROUPNAMES_H
