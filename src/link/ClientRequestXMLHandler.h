// Collects what one incoming agent message says; cp_WaitForRequest turns it into a Request.
#ifndef VEL_LINK_CLIENTREQUESTXMLHANDLER_H
#define VEL_LINK_CLIENTREQUESTXMLHANDLER_H

#include "List.h"
#include "Parser.h"
#include "cp_api.h"

// One per message. Every text is a heap copy owned by the handler.
class ClientRequestXMLHandler : public XMLHandler {
 public:
  ClientRequestXMLHandler();
  ~ClientRequestXMLHandler() override;
  ClientRequestXMLHandler(const ClientRequestXMLHandler&) = delete;
  ClientRequestXMLHandler& operator=(const ClientRequestXMLHandler&) = delete;

  void startElement(const char* name, HashMap* attributes) override;
  void endElement(const char* name) override;
  using XMLHandler::fatalError;
  void fatalError(const char* message) override;

  const char* getAttrGroup() const { return attrGroup; }
  const char* getTaskRequest() const { return taskCommand; }
  const char* getTaskRequestUser() const { return taskUser; }
  const char* getId() const { return id; }
  const char* getRequestStartedID() const { return requestStartedID; }
  const char* getSubnode() const { return subnode; }
  bool isDataRequest() const { return dataRequest; }
  bool isTaskRequest() const { return taskRequest; }
  bool isRequestStartedRequest() const { return requestStarted; }
  bool isRequestStoppedRequest() const { return requestStopped; }
  bool isShutdownRequest() const { return shutdown; }
  RequestInfo* getRequestInfoHead() const { return requestInfo; }
  bool isShuttingDown() const { return shuttingDown; }
  bool isDataResponse() const { return dataResponse; }
  // List of List* of char*: the rows of a data response; null when none.
  List* getResponseDataList() const { return responseData; }
  bool isConnection() const { return connection; }
  int getConnectionId() const { return connectionId; }
  int getErrorRc() const { return errorRc; }
  // Number of fatalError calls (the parser makes at most one per message).
  int getErrorCount() const { return errorCount; }

 private:
  char* attrGroup = nullptr;
  char* taskCommand = nullptr;
  char* id = nullptr;
  char* requestStartedID = nullptr;
  char* subnode = nullptr;
  RequestInfo* requestInfo = nullptr;
  RequestInfo* requestInfoTail = nullptr;
  bool dataRequest = false;
  bool taskRequest = false;
  bool requestStarted = false;
  bool requestStopped = false;
  bool shuttingDown = false;
  bool shutdown = false;
  bool connection = false;
  int connectionId = 1;
  char* taskUser = nullptr;
  bool dataResponse = false;
  List* responseData = nullptr;
  int errorRc = 0;
  int errorCount = 0;
};

#endif  // VEL_LINK_CLIENTREQUESTXMLHANDLER_H
