#include "AgentSim.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

extern char** environ;

namespace velagent {

namespace {

using Clock = std::chrono::steady_clock;

// A send that cannot proceed for this long (the collector does not read) fails.
constexpr long kSendTimeoutSeconds = 20;

// A line longer than this is not a message of the link; it is reported and skipped.
constexpr size_t kMaxLine = 256u * 1024 * 1024;

Clock::time_point deadlineAfter(int timeoutMs) {
  return Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
}

int msLeft(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

std::string errnoText(const char* what) { return std::string(what) + ": " + strerror(errno); }

std::string shortened(const std::string& text) {
  constexpr size_t kShown = 160;
  if (text.size() <= kShown) return text;
  return text.substr(0, kShown) + "...(" + std::to_string(text.size()) + " bytes)";
}

}  // namespace

const char* waitStatusName(WaitStatus s) {
  switch (s) {
    case WaitStatus::kOk:
      return "ok";
    case WaitStatus::kTimeout:
      return "timeout";
    case WaitStatus::kClosed:
      return "closed";
    case WaitStatus::kNotConnected:
      return "not connected";
  }
  return "?";
}

AgentSim::AgentSim() = default;

AgentSim::~AgentSim() {
  releaseConnection();
  if (m_listenFd >= 0) close(m_listenFd);
  killClient();
}

void AgentSim::setError(const std::string& text) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_error = text;
}

std::string AgentSim::lastError() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_error;
}

bool AgentSim::listen(int port) {
  if (m_listenFd >= 0) {
    setError("already listening");
    return false;
  }
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    setError(errnoText("socket"));
    return false;
  }
  int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (port < 0 || port > 65535 || bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(fd, 8) != 0) {
    setError(port < 0 || port > 65535 ? "port out of range" : errnoText("bind/listen"));
    close(fd);
    return false;
  }
  socklen_t len = sizeof addr;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    setError(errnoText("getsockname"));
    close(fd);
    return false;
  }
  m_listenFd = fd;
  m_port = ntohs(addr.sin_port);
  return true;
}

bool AgentSim::startClient(const std::string& path, const ClientOptions& options) {
  if (m_pid > 0 && !m_reaped) {
    setError("a client is already running");
    return false;
  }
  if (access(path.c_str(), X_OK) != 0) {
    setError(errnoText(("cannot execute " + path).c_str()));
    return false;
  }
  // Build the environment: inherited entries, minus the ones we replace, then ours.
  auto keyOf = [](const std::string& entry) { return entry.substr(0, entry.find('=')); };
  std::set<std::string> replaced;
  std::vector<std::string> envList;
  for (const auto& e : options.env) {
    if (e.find('=') == std::string::npos || e[0] == '=') {
      setError("environment entry without NAME=: " + e);
      return false;
    }
    replaced.insert(keyOf(e));
  }
  bool portGiven = replaced.count("CP_PORT") != 0;
  if (options.setPort && !portGiven) {
    if (m_listenFd < 0) {
      setError("not listening: no port to give the client");
      return false;
    }
    replaced.insert("CP_PORT");
  }
  if (options.inheritEnv) {
    for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
      std::string entry(*e);
      if (replaced.count(keyOf(entry)) == 0) envList.push_back(entry);
    }
  }
  envList.insert(envList.end(), options.env.begin(), options.env.end());
  if (options.setPort && !portGiven) envList.push_back("CP_PORT=" + std::to_string(m_port));

  std::vector<char*> envp;
  for (auto& e : envList) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::string prog = path;
  char* argv[] = {prog.data(), nullptr};

  int logFd = -1;
  if (!options.logPath.empty()) {
    logFd = open(options.logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (logFd < 0) {
      setError(errnoText(("cannot open " + options.logPath).c_str()));
      return false;
    }
  }
  pid_t pid = fork();
  if (pid < 0) {
    setError(errnoText("fork"));
    if (logFd >= 0) close(logFd);
    return false;
  }
  if (pid == 0) {
    // Child: only async-signal-safe calls from here on.
    if (logFd >= 0) {
      dup2(logFd, 1);
      dup2(logFd, 2);
    }
    execve(argv[0], argv, envp.data());
    _exit(127);
  }
  if (logFd >= 0) close(logFd);
  m_pid = pid;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_startedSinceAccept = true;
  }
  m_reaped = false;
  m_exitCode = -1;
  return true;
}

bool AgentSim::pollChildExit(int* status) {
  if (m_pid <= 0) return false;
  if (m_reaped) {
    *status = m_exitCode;
    return true;
  }
  int ws = 0;
  pid_t r = waitpid(m_pid, &ws, WNOHANG);
  if (r != m_pid) return false;
  m_reaped = true;
  if (WIFEXITED(ws)) {
    m_exitCode = WEXITSTATUS(ws);
  } else if (WIFSIGNALED(ws)) {
    m_exitCode = 128 + WTERMSIG(ws);
  } else {
    m_exitCode = 255;
  }
  *status = m_exitCode;
  return true;
}

bool AgentSim::acceptClient(int timeoutMs) {
  if (m_listenFd < 0) {
    setError("not listening");
    return false;
  }
  if (connected()) return true;
  releaseConnection();
  auto deadline = deadlineAfter(timeoutMs);
  for (;;) {
    // Poll in slices so that a started client that dies before connecting is noticed.
    pollfd p{m_listenFd, POLLIN, 0};
    int slice = msLeft(deadline);
    if (slice > 50) slice = 50;
    int r = poll(&p, 1, slice);
    if (r < 0 && errno != EINTR) {
      setError(errnoText("poll"));
      return false;
    }
    if (r > 0) break;
    int status = 0;
    if (pollChildExit(&status)) {
      setError("the client exited with status " + std::to_string(status) + " before connecting");
      return false;
    }
    if (msLeft(deadline) == 0) {
      setError("no client connected within " + std::to_string(timeoutMs) + " ms");
      return false;
    }
  }
  int fd = accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) {
    setError(errnoText("accept"));
    return false;
  }
  int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  // A collector that stops reading cannot block a send for ever.
  timeval sendLimit{kSendTimeoutSeconds, 0};
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &sendLimit, sizeof sendLimit);
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_connected = true;
    m_startedSinceAccept = false;
    m_peerClosed = false;
    m_agentClosed = false;
    m_hasRegistration = false;
    m_registration = Registration();
    m_messageCount = 0;
    m_outstandingData.clear();
    m_outstandingTasks.clear();
  }
  {
    std::lock_guard<std::mutex> lock(m_sendMutex);
    m_fd = fd;
    m_liveFd = fd;
  }
  m_reader = std::thread(&AgentSim::readerLoop, this, fd);
  return true;
}

bool AgentSim::connected() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_connected && !m_peerClosed && !m_agentClosed;
}

void AgentSim::releaseConnection() {
  int fd = m_liveFd.load();
  if (fd >= 0) shutdown(fd, SHUT_RDWR);  // wakes the reader and any blocked sender
  if (m_reader.joinable()) m_reader.join();
  {
    std::lock_guard<std::mutex> lock(m_sendMutex);
    m_liveFd = -1;
    if (m_fd >= 0) close(m_fd);
    m_fd = -1;
  }
  std::lock_guard<std::mutex> lock(m_mutex);
  m_connected = false;
}

void AgentSim::closeClient() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_connected && !m_peerClosed) m_agentClosed = true;
  }
  releaseConnection();
  wakeEveryone();
}

void AgentSim::wakeEveryone() {
  std::lock_guard<std::mutex> lock(m_mutex);
  wakeEveryoneLocked();
}

void AgentSim::wakeEveryoneLocked() {
  for (auto& w : m_answerWaiters) w.second->notify_one();
  m_cv.notify_all();
}

template <typename Map>
bool AgentSim::waitForAnswer(std::unique_lock<std::mutex>& lock, const std::string& id,
                             const Map& answers, std::chrono::steady_clock::time_point deadline) {
  std::condition_variable mine;
  m_answerWaiters[id] = &mine;
  bool got = mine.wait_until(
      lock, deadline, [&] { return answers.count(id) != 0 || m_peerClosed || m_agentClosed; });
  m_answerWaiters.erase(id);
  return got;
}

void AgentSim::readerLoop(int fd) {
  std::string pending;
  std::vector<char> buf(64 * 1024);
  bool skipping = false;  // inside an overlong line, discarding up to its line feed
  for (;;) {
    ssize_t n = recv(fd, buf.data(), buf.size(), 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    size_t start = 0;
    for (size_t i = 0; i < static_cast<size_t>(n); ++i) {
      if (buf[i] != '\n') continue;
      if (!skipping) {
        pending.append(buf.data() + start, i - start);
        onLine(std::move(pending));
      }
      pending.clear();
      skipping = false;
      start = i + 1;
    }
    if (!skipping) pending.append(buf.data() + start, n - start);
    if (pending.size() > kMaxLine) {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_violations.push_back("a line longer than " + std::to_string(kMaxLine) +
                             " bytes was skipped");
      pending.clear();
      pending.shrink_to_fit();
      skipping = true;
    }
  }
  std::lock_guard<std::mutex> lock(m_mutex);
  if (!pending.empty() && !m_agentClosed) {
    m_violations.push_back("the connection ended inside a message: " + shortened(pending));
  }
  m_peerClosed = true;
  wakeEveryoneLocked();
}

void AgentSim::onLine(std::string line) {
  Incoming in;
  bool framed = !line.empty() && line.back() == '>';
  if (framed) in = interpretMessage(line);
  std::lock_guard<std::mutex> lock(m_mutex);
  size_t number = ++m_messageCount;
  size_t seq = ++m_seq;
  in.data.seq = in.event.seq = in.task.seq = in.request.seq = seq;
  if (m_recordReceived) m_received.push_back(line);
  auto violation = [&](const std::string& text) {
    m_violations.push_back("message " + std::to_string(number) + ": " + text + " in " +
                           shortened(line));
  };
  if (!framed) {
    violation("line does not end with '>'");
    m_cv.notify_all();
    return;
  }
  for (const auto& p : in.problems) violation(p);
  if (number == 1 && in.kind != MessageKind::kRegistration) {
    violation("the first message is not the registration");
  }
  switch (in.kind) {
    case MessageKind::kRegistration:
      if (m_hasRegistration) {
        violation("a second registration");
      } else {
        m_hasRegistration = true;
        m_registration = std::move(in.registration);
      }
      break;
    case MessageKind::kDataAnswer: {
      auto it = m_outstandingData.find(in.data.id);
      if (it == m_outstandingData.end()) {
        violation("answer for id " + in.data.id + ", which is not outstanding");
        m_unclaimed.push_back(std::move(in.data));
        break;
      }
      if (it->second != in.data.group) {
        violation("answer for group " + in.data.group + " to a request for " + it->second);
      }
      m_outstandingData.erase(it);
      auto waiter = m_answerWaiters.find(in.data.id);
      if (waiter != m_answerWaiters.end()) waiter->second->notify_one();
      m_answers[in.data.id] = std::move(in.data);
      return;  // only that waiter waits for an answer
    }
    case MessageKind::kTaskAnswer: {
      auto it = m_outstandingTasks.find(in.task.id);
      if (it == m_outstandingTasks.end()) {
        violation("task answer for id " + in.task.id + ", which is not outstanding");
        m_unclaimedTasks.push_back(std::move(in.task));
        break;
      }
      m_outstandingTasks.erase(it);
      auto waiter = m_answerWaiters.find(in.task.id);
      if (waiter != m_answerWaiters.end()) waiter->second->notify_one();
      m_taskAnswers[in.task.id] = std::move(in.task);
      return;  // only that waiter waits for an answer
    }
    case MessageKind::kEvent:
      if (!in.event.group.empty() && m_hasRegistration) {
        bool known = false;
        for (const auto& g : m_registration.groups) known = known || g.name == in.event.group;
        if (!known) violation("event for group " + in.event.group + ", which is not registered");
      }
      m_events.push_back(std::move(in.event));
      break;
    case MessageKind::kClientRequest:
      m_clientRequests.push_back(std::move(in.request));
      break;
    case MessageKind::kInvalid:
      break;
  }
  m_cv.notify_all();
}

bool AgentSim::waitRegistration(int timeoutMs) {
  auto deadline = deadlineAfter(timeoutMs);
  bool open;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    open = m_connected;
    // A registration belongs to its connection: once that has ended and another client has been
    // started, the new client's registration is awaited.
    bool ended = m_peerClosed || m_agentClosed || !m_connected;
    if (m_hasRegistration && !(ended && m_startedSinceAccept)) return true;
    if (ended) open = false;
  }
  if (!open && !acceptClient(timeoutMs)) return false;
  std::unique_lock<std::mutex> lock(m_mutex);
  bool got = m_cv.wait_until(lock, deadline,
                             [&] { return m_hasRegistration || m_peerClosed || m_agentClosed; });
  if (m_hasRegistration) return true;
  m_error = got ? "the connection ended before the registration"
                : "no registration within " + std::to_string(timeoutMs) + " ms";
  return false;
}

bool AgentSim::registered() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_hasRegistration;
}

Registration AgentSim::registration() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_registration;
}

bool AgentSim::isRegistered(const std::string& group) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  for (const auto& g : m_registration.groups) {
    if (g.name == group) return true;
  }
  return false;
}

std::string AgentSim::nextId() {
  std::lock_guard<std::mutex> lock(m_mutex);
  // Ids taken by raw requests are skipped, so that two requests never share one.
  for (;;) {
    std::string id = std::to_string(++m_idCounter);
    if (m_outstandingData.count(id) == 0 && m_outstandingTasks.count(id) == 0 &&
        m_answers.count(id) == 0 && m_taskAnswers.count(id) == 0) {
      return id;
    }
  }
}

bool AgentSim::sendBytes(const std::string& bytes) {
  std::lock_guard<std::mutex> lock(m_sendMutex);
  {
    std::lock_guard<std::mutex> l2(m_mutex);
    if (m_fd < 0 || m_peerClosed) {
      m_error = m_fd < 0 ? "not connected" : "the client closed the connection";
      return false;
    }
  }
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = send(m_fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      std::lock_guard<std::mutex> l2(m_mutex);
      m_error = (errno == EAGAIN || errno == EWOULDBLOCK)
                    ? "send timed out: the client does not read"
                    : errnoText("send");
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

std::string AgentSim::sendDataRequest(const std::string& group, const std::string& subnode,
                                      const std::vector<RequestInfoItem>& items,
                                      const std::string& requestStartedId) {
  std::string id = nextId();
  {
    // Noted before sending: the answer may arrive before send() returns.
    std::lock_guard<std::mutex> lock(m_mutex);
    m_outstandingData[id] = group;
  }
  if (!sendBytes(buildDataRequest(id, requestStartedId, subnode, group, items))) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_outstandingData.erase(id);
    return std::string();
  }
  return id;
}

Answer AgentSim::waitAnswer(const std::string& id, int timeoutMs) {
  Answer a;
  a.id = id;
  if (id.empty()) return a;  // kNotConnected: nothing was sent
  auto deadline = deadlineAfter(timeoutMs);
  std::unique_lock<std::mutex> lock(m_mutex);
  waitForAnswer(lock, id, m_answers, deadline);
  auto it = m_answers.find(id);
  if (it != m_answers.end()) {
    static_cast<DataAnswer&>(a) = std::move(it->second);
    m_answers.erase(it);
    a.status = WaitStatus::kOk;
  } else {
    a.status = (m_peerClosed || m_agentClosed) ? WaitStatus::kClosed : WaitStatus::kTimeout;
  }
  return a;
}

Answer AgentSim::dataRequest(const std::string& group, const std::string& subnode,
                             const std::vector<RequestInfoItem>& items, int timeoutMs,
                             const std::string& requestStartedId) {
  return waitAnswer(sendDataRequest(group, subnode, items, requestStartedId), timeoutMs);
}

std::string AgentSim::sendTask(const std::string& subnode, const std::string& command,
                               const std::string& user, bool hasUser) {
  std::string id = nextId();
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_outstandingTasks.insert(id);
  }
  if (!sendBytes(buildTaskRequest(id, subnode, command, user, hasUser))) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_outstandingTasks.erase(id);
    return std::string();
  }
  return id;
}

TaskResult AgentSim::waitTaskAnswer(const std::string& id, int timeoutMs) {
  TaskResult t;
  t.id = id;
  if (id.empty()) return t;
  auto deadline = deadlineAfter(timeoutMs);
  std::unique_lock<std::mutex> lock(m_mutex);
  waitForAnswer(lock, id, m_taskAnswers, deadline);
  auto it = m_taskAnswers.find(id);
  if (it != m_taskAnswers.end()) {
    static_cast<TaskAnswer&>(t) = std::move(it->second);
    m_taskAnswers.erase(it);
    t.status = WaitStatus::kOk;
  } else {
    t.status = (m_peerClosed || m_agentClosed) ? WaitStatus::kClosed : WaitStatus::kTimeout;
  }
  return t;
}

TaskResult AgentSim::task(const std::string& subnode, const std::string& command, int timeoutMs,
                          const std::string& user, bool hasUser) {
  return waitTaskAnswer(sendTask(subnode, command, user, hasUser), timeoutMs);
}

bool AgentSim::sendStart(const std::string& group, const std::string& subnode,
                         const std::string& requestStartedId) {
  return sendBytes(buildStartRequest(requestStartedId, group, subnode));
}

bool AgentSim::sendStop(const std::string& group, const std::string& subnode,
                        const std::string& requestStartedId, bool shuttingDown) {
  return sendBytes(buildStopRequest(requestStartedId, group, subnode, shuttingDown));
}

bool AgentSim::sendShutdown() { return sendBytes(buildShutdown()); }

bool AgentSim::sendConnection(int id) { return sendBytes(buildConnection(id)); }

bool AgentSim::sendDataResponse(const std::string& id, const std::string& group,
                                const std::vector<std::vector<std::string>>& rows, int rc) {
  return sendBytes(buildDataResponse(id, group, rows, rc));
}

bool AgentSim::sendRaw(const std::string& bytes, std::vector<std::string>* dataIds,
                       std::vector<std::string>* taskIds) {
  // Note the ids of complete, well-formed requests among the bytes before sending them.
  std::vector<std::pair<std::string, std::string>> data;  // id, group
  std::vector<std::string> tasks;
  size_t start = 0;
  for (size_t nl; (nl = bytes.find('\n', start)) != std::string::npos; start = nl + 1) {
    XmlParseResult pr = parseXmlLine(std::string_view(bytes).substr(start, nl - start));
    if (!pr.ok) continue;
    const std::string* id = pr.root.attr("id");
    if (id == nullptr) continue;
    if (pr.root.name == "dataRequest") {
      std::string group;
      for (const auto& c : pr.root.children) {
        const std::string* name = c.attr("name");
        if (c.name == "attrGroup" && name != nullptr) group = *name;
      }
      data.emplace_back(*id, group);
    } else if (pr.root.name == "taskRequest") {
      tasks.push_back(*id);
    }
  }
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const auto& d : data) m_outstandingData[d.first] = d.second;
    for (const auto& t : tasks) m_outstandingTasks.insert(t);
  }
  if (dataIds != nullptr) {
    for (const auto& d : data) dataIds->push_back(d.first);
  }
  if (taskIds != nullptr) taskIds->insert(taskIds->end(), tasks.begin(), tasks.end());
  return sendBytes(bytes);
}

void AgentSim::expectAnswer(const std::string& id, const std::string& group) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_outstandingData[id] = group;
}

std::vector<std::string> AgentSim::outstanding() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  std::vector<std::string> ids;
  for (const auto& d : m_outstandingData) ids.push_back(d.first);
  for (const auto& t : m_outstandingTasks) ids.push_back(t);
  return ids;
}

std::vector<Event> AgentSim::events() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_events;
}

size_t AgentSim::eventCount() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_events.size();
}

bool AgentSim::waitEvents(size_t count, int timeoutMs) {
  std::unique_lock<std::mutex> lock(m_mutex);
  return m_cv.wait_until(lock, deadlineAfter(timeoutMs), [&] { return m_events.size() >= count; });
}

std::vector<DataAnswer> AgentSim::takeUnclaimedAnswers() {
  std::lock_guard<std::mutex> lock(m_mutex);
  std::vector<DataAnswer> out;
  out.swap(m_unclaimed);
  return out;
}

std::vector<TaskAnswer> AgentSim::takeUnclaimedTaskAnswers() {
  std::lock_guard<std::mutex> lock(m_mutex);
  std::vector<TaskAnswer> out;
  out.swap(m_unclaimedTasks);
  return out;
}

std::vector<ClientRequest> AgentSim::clientRequests() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_clientRequests;
}

bool AgentSim::waitClientRequests(size_t count, int timeoutMs) {
  std::unique_lock<std::mutex> lock(m_mutex);
  return m_cv.wait_until(lock, deadlineAfter(timeoutMs),
                         [&] { return m_clientRequests.size() >= count; });
}

std::vector<std::string> AgentSim::violations() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_violations;
}

std::vector<std::string> AgentSim::received() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_received;
}

void AgentSim::setRecordReceived(bool on) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_recordReceived = on;
}

bool AgentSim::waitClientClosed(int timeoutMs) {
  std::unique_lock<std::mutex> lock(m_mutex);
  return m_cv.wait_until(lock, deadlineAfter(timeoutMs), [&] { return m_peerClosed; }) &&
         !m_agentClosed;
}

int AgentSim::waitClientExit(int timeoutMs) {
  if (m_pid <= 0) return -1;
  auto deadline = deadlineAfter(timeoutMs);
  for (;;) {
    int status = 0;
    if (pollChildExit(&status)) return status;
    if (msLeft(deadline) == 0) return -1;
    usleep(5000);
  }
}

void AgentSim::killClient() {
  if (m_pid <= 0 || m_reaped) return;
  kill(m_pid, SIGKILL);
  int ws = 0;
  while (waitpid(m_pid, &ws, 0) < 0 && errno == EINTR) {
  }
  m_reaped = true;
  m_exitCode = 128 + SIGKILL;
}

}  // namespace velagent
