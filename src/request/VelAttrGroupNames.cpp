#include "VelAttrGroupNames.h"

#include "Vel_PostEvent.h"

const char Monitored_Databases[] = "Monitored_Databases";
const char Database_Information[] = "Database_Information";
const char RDB_Alert_Log_Details[] = "RDB_Alert_Log_Details";
const char ASM_Alert_Log_Details[] = "ASM_Alert_Log_Details";
const char RDB_Alert_Log_Summary[] = "RDB_Alert_Log_Summary";
const char ASM_Alert_Log_Summary[] = "ASM_Alert_Log_Summary";
const char Agent_Remote_Connection[] = "Agent_Remote_Connection";
const char Agent_Listener[] = "Agent_Listener";
const char RDB_Customized_SQL_Summary[] = "RDB_Customized_SQL_Summary";
const char RDB_Customized_SQL_Detail[] = "RDB_Customized_SQL_Detail";
const char DG_Customized_SQL_Summary[] = "DG_Customized_SQL_Summary";
const char DG_Customized_SQL_Detail[] = "DG_Customized_SQL_Detail";
const char RDB_Top_SQL[] = "RDB_Top_SQL";
const char RDB_SQLTEXT[] = "RDB_SQLTEXT";
const char DG_Alert_Log_Details[] = "DG_Alert_Log_Details";
const char DG_Alert_Log_Summary[] = "DG_Alert_Log_Summary";
const char DG_Status[] = "DG_Status";
const char RDB_Disk_Space[] = "RDB_Disk_Space";
const char DG_Disk_Space[] = "DG_Disk_Space";
const char RDB_Instance_Info[] = "RDB_Instance_Info";
const char ASM_Instance[] = "ASM_Instance";
const char RDB_Parameter[] = "RDB_Parameter";
const char ASM_Parameter[] = "ASM_Parameter";

const VelAttrGroupRegistration kVelFixedAttrGroups[] = {
    {Monitored_Databases, 1},
    {Database_Information, 1},
    {kAgentEventGroup, 1},
    {RDB_Alert_Log_Details, 1},
    {ASM_Alert_Log_Details, 1},
    {RDB_Alert_Log_Summary, 1},
    {ASM_Alert_Log_Summary, 1},
    {Agent_Remote_Connection, 2},
    {Agent_Listener, 2},
    {RDB_Customized_SQL_Summary, 2},
    {RDB_Customized_SQL_Detail, 2},
    {DG_Customized_SQL_Summary, 2},
    {DG_Customized_SQL_Detail, 2},
    {RDB_Top_SQL, 2},
    {RDB_SQLTEXT, 2},
    {DG_Alert_Log_Details, 2},
    {DG_Alert_Log_Summary, 2},
    {DG_Status, 2},
    {RDB_Disk_Space, 2},
    {DG_Disk_Space, 2},
    {RDB_Instance_Info, 1},
    {ASM_Instance, 1},
    {RDB_Parameter, 2},
    {ASM_Parameter, 1},
};
const int kVelFixedAttrGroupCount =
    static_cast<int>(sizeof(kVelFixedAttrGroups) / sizeof(kVelFixedAttrGroups[0]));
