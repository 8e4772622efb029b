// AgentSim: the agent's side of the link, for tests, benchmarks, the demo and velagent.
//
// It listens on a loopback port, can start the collector the way the agent does (no arguments,
// CP_PORT and the other settings in its environment), accepts the collector's connection, reads
// its registration, sends requests and collects every answer and event on a reader thread.
// Every wait takes a time-out in milliseconds, so nothing hangs.
//
// Everything the collector writes is checked against the wire format (AgentWire.h); departures
// are collected as violations(), which a test expects to be empty.
//
// Thread safety: every public function may be called from any thread, except that
// listen/startClient/acceptClient/closeClient/the destructor are meant for one controlling thread.
#ifndef VEL_SIM_AGENT_AGENTSIM_H
#define VEL_SIM_AGENT_AGENTSIM_H

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "AgentWire.h"

namespace velagent {

enum class WaitStatus {
  kOk,            // the awaited answer arrived
  kTimeout,       // it did not arrive in time
  kClosed,        // the collector closed the connection first
  kNotConnected,  // nothing was sent: no connection, or the send failed
};

const char* waitStatusName(WaitStatus s);

struct Answer : DataAnswer {
  WaitStatus status = WaitStatus::kNotConnected;
  bool ok() const { return status == WaitStatus::kOk; }
};

struct TaskResult : TaskAnswer {
  WaitStatus status = WaitStatus::kNotConnected;
  bool ok() const { return status == WaitStatus::kOk; }
};

// How the collector is started.
struct ClientOptions {
  // "NAME=value" entries; they replace variables of the same name.
  std::vector<std::string> env;
  // Start from this process's environment (as the agent passes its own on); false: only env.
  bool inheritEnv = true;
  // Set CP_PORT to the listening port unless env sets it.
  bool setPort = true;
  // The collector's standard output and error are appended to this file; empty: inherited.
  std::string logPath;
};

class AgentSim {
 public:
  AgentSim();
  // Closes the connection; a started collector that is still running is killed and reaped.
  ~AgentSim();
  AgentSim(const AgentSim&) = delete;
  AgentSim& operator=(const AgentSim&) = delete;

  // Listens on 127.0.0.1:port; port 0 takes any free port. port() then tells which.
  bool listen(int port = 0);
  int port() const { return m_port; }

  // The reason of the last failed call, for messages.
  std::string lastError() const;

  // Starts the program without arguments (fork/exec). Needs listen() first when setPort.
  bool startClient(const std::string& path, const ClientOptions& options);
  pid_t clientPid() const { return m_pid; }

  // Waits for the collector to connect. False on time-out, or at once when the started collector
  // has exited first. A previous connection that has ended is released first; its registration
  // and outstanding requests are forgotten (events and violations are kept).
  bool acceptClient(int timeoutMs);
  // True while a connection is open and the collector has not closed it.
  bool connected() const;

  // Accepts (if no connection is open yet) and waits for the registration message.
  bool waitRegistration(int timeoutMs);
  bool registered() const;
  Registration registration() const;
  bool isRegistered(const std::string& group) const;

  // Requests. Each send returns the request id ("" when nothing could be sent); the matching
  // wait returns the answer. An empty subnode or requestStartedId is not written.
  std::string sendDataRequest(const std::string& group, const std::string& subnode,
                              const std::vector<RequestInfoItem>& items,
                              const std::string& requestStartedId = std::string());
  Answer waitAnswer(const std::string& id, int timeoutMs);
  Answer dataRequest(const std::string& group, const std::string& subnode,
                     const std::vector<RequestInfoItem>& items, int timeoutMs,
                     const std::string& requestStartedId = std::string());

  std::string sendTask(const std::string& subnode, const std::string& command,
                       const std::string& user = std::string(), bool hasUser = false);
  TaskResult waitTaskAnswer(const std::string& id, int timeoutMs);
  TaskResult task(const std::string& subnode, const std::string& command, int timeoutMs,
                  const std::string& user = std::string(), bool hasUser = false);

  bool sendStart(const std::string& group, const std::string& subnode,
                 const std::string& requestStartedId);
  bool sendStop(const std::string& group, const std::string& subnode,
                const std::string& requestStartedId, bool shuttingDown);
  bool sendShutdown();
  bool sendConnection(int id);
  // Answers a data request that the collector sent.
  bool sendDataResponse(const std::string& id, const std::string& group,
                        const std::vector<std::vector<std::string>>& rows, int rc);
  // Sends bytes exactly as given. Complete, well-formed dataRequest and taskRequest lines among
  // them are noted as outstanding under their ids (returned in dataIds/taskIds when given), so
  // that their answers are expected.
  bool sendRaw(const std::string& bytes, std::vector<std::string>* dataIds = nullptr,
               std::vector<std::string>* taskIds = nullptr);

  // Notes an id as outstanding for a data request of group that was sent by other means (raw
  // bytes the reader above cannot take for a request, a message split over several sends).
  void expectAnswer(const std::string& id, const std::string& group);

  // Ids sent and not yet answered.
  std::vector<std::string> outstanding() const;

  // Events in arrival order.
  std::vector<Event> events() const;
  size_t eventCount() const;
  // True once at least count events have arrived in total.
  bool waitEvents(size_t count, int timeoutMs);

  // Answers whose id was not outstanding (never sent, or answered before); each is also a
  // violation. Taking them empties the list.
  std::vector<DataAnswer> takeUnclaimedAnswers();
  std::vector<TaskAnswer> takeUnclaimedTaskAnswers();

  // Data requests the collector sent, in arrival order.
  std::vector<ClientRequest> clientRequests() const;
  bool waitClientRequests(size_t count, int timeoutMs);

  // Every departure from the wire format seen so far, one text each.
  std::vector<std::string> violations() const;
  // Every message line received (without its line feed), in order; kept only while
  // recording is on (the default; benchmarks turn it off to keep memory flat).
  std::vector<std::string> received() const;
  void setRecordReceived(bool on);

  // The agent closes its end of the connection.
  void closeClient();
  // True once the collector has closed its end (end of stream).
  bool waitClientClosed(int timeoutMs);

  // Waits for the started collector to end: its exit code, 128 + signal number when a signal
  // ended it, or -1 on time-out (it keeps running) or when none was started.
  int waitClientExit(int timeoutMs);
  // Sends SIGKILL to a started collector that is still running and reaps it.
  void killClient();

 private:
  // Wakes every waiter: the link closed. The first takes m_mutex, the second expects it held.
  void wakeEveryone();
  void wakeEveryoneLocked();
  // Waits for the answer stored in answers under id; m_mutex held through lock.
  template <typename Map>
  bool waitForAnswer(std::unique_lock<std::mutex>& lock, const std::string& id, const Map& answers,
                     std::chrono::steady_clock::time_point deadline);
  void readerLoop(int fd);
  void onLine(std::string line);
  void releaseConnection();
  bool sendBytes(const std::string& bytes);
  std::string nextId();
  bool pollChildExit(int* status);
  void setError(const std::string& text);

  int m_listenFd = -1;
  int m_port = 0;
  pid_t m_pid = -1;
  bool m_reaped = false;
  int m_exitCode = -1;

  std::mutex m_sendMutex;  // serialises writes on m_fd
  int m_fd = -1;           // guarded by m_sendMutex
  // The same descriptor, readable without the lock, so that closing can shut the socket down
  // (waking a send blocked on a collector that does not read) before it takes the lock.
  std::atomic<int> m_liveFd{-1};
  std::thread m_reader;

  mutable std::mutex m_mutex;    // guards everything below
  std::condition_variable m_cv;  // registration, events, client requests, the end of the link
  // Each thread waiting for an answer waits on a condition of its own, keyed by the request id,
  // so that an answer wakes the one thread that waits for it rather than every driver thread.
  std::map<std::string, std::condition_variable*> m_answerWaiters;
  std::string m_error;
  bool m_connected = false;
  bool m_peerClosed = false;
  bool m_agentClosed = false;
  bool m_hasRegistration = false;
  bool m_startedSinceAccept = false;  // a client was started after the last accepted connection
  Registration m_registration;
  size_t m_messageCount = 0;  // messages of the current connection
  size_t m_seq = 0;           // messages of every connection
  unsigned long m_idCounter = 0;
  std::map<std::string, std::string> m_outstandingData;  // id -> group
  std::set<std::string> m_outstandingTasks;
  std::map<std::string, DataAnswer> m_answers;  // arrived, awaited
  std::map<std::string, TaskAnswer> m_taskAnswers;
  std::vector<DataAnswer> m_unclaimed;
  std::vector<TaskAnswer> m_unclaimedTasks;
  std::vector<Event> m_events;
  std::vector<ClientRequest> m_clientRequests;
  std::vector<std::string> m_violations;
  std::vector<std::string> m_received;
  bool m_recordReceived = true;
};

}  // namespace velagent

#endif  // VEL_SIM_AGENT_AGENTSIM_H
