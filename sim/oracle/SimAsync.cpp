// Non-blocking calls, OCIBreak and OCIReset of the client stand-in.
//
// In non-blocking mode a call that must reach the "server" (execute, fetch of rows not yet
// prefetched, session end) runs on the worker thread of its service context, one thread per
// context for its whole life. The caller gets
// OCI_STILL_EXECUTING until the worker is done; the same call made again then collects the
// result. A call that finishes within a few milliseconds is answered at once, as a real client
// answers from its network buffers, so short statements cost no polling round.
//
// A query's execute is tried first on the caller's own thread: most finish well within the grace
// time, and handing each one to the worker and back cost two thread switches, which a real
// client does not pay and which dominated the collector's CPU per answer. When the run passes
// the grace time (or meets a delay fault) it is abandoned and rerun from the start on the
// worker, so slow statements, OCIBreak and time-outs behave exactly as before.
#include <chrono>
#include <system_error>

#include "SimOci.h"

using namespace vsim;

namespace {

// How long a non-blocking call waits for its worker before answering OCI_STILL_EXECUTING.
constexpr std::chrono::milliseconds kGrace(10);
constexpr long long kGraceNs = 10'000'000;

long long steadyNowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

int progressHandler(void* arg) {
  OCISvcCtx* svc = static_cast<OCISvcCtx*>(arg);
  if (svc->breakRequested.load()) return 1;
  if (svc->inlineUntilNs != 0 && steadyNowNs() > svc->inlineUntilNs) {
    svc->inlineGaveUp = true;
    return 1;
  }
  return 0;
}

bool nonblocking(const OCISvcCtx* svc) {
  return svc->server != nullptr && svc->server->nonblocking;
}

// Hands out the finished call's result; mu held by the caller through lk.
sword collect(OCISvcCtx* svc, std::unique_lock<std::mutex>& lk, OCIError* err) {
  const sword rc = svc->opStatus;
  ErrList errs;
  errs.swap(svc->opErrors);
  svc->op = OCISvcCtx::None;
  svc->opKey = nullptr;
  svc->opDone = false;
  lk.unlock();
  setErrors(err, errs);
  return rc;
}

// Stops and forgets the call in progress, if any.
void abandonCall(OCISvcCtx* svc) {
  std::unique_lock<std::mutex> lk(svc->mu);
  if (svc->op == OCISvcCtx::None) return;
  svc->breakRequested = true;
  if (svc->activeDb != nullptr) sqlite3_interrupt(svc->activeDb);
  svc->cv.notify_all();
  if (svc->task) {
    svc->task = nullptr;  // not taken yet: it never runs
  } else {
    svc->cv.wait(lk, [svc] { return svc->opDone; });
  }
  svc->op = OCISvcCtx::None;
  svc->opKey = nullptr;
  svc->opDone = false;
  svc->opErrors.clear();
}

// The worker of a service context: runs each task handed over in runCall and reports it done.
void workerLoop(OCISvcCtx* svc) {
  std::unique_lock<std::mutex> lk(svc->mu);
  for (;;) {
    svc->cv.wait(lk, [svc] { return svc->stopWorker || svc->task; });
    if (!svc->task) return;
    std::function<sword(ErrList*)> task;
    task.swap(svc->task);
    lk.unlock();
    ErrList errs;
    const sword rc = task(&errs);
    setActiveDb(svc, nullptr);
    lk.lock();
    svc->opStatus = rc;
    svc->opErrors.swap(errs);
    svc->opDone = true;
    svc->cv.notify_all();
  }
}

}  // namespace

namespace vsim {

sword runCall(OCISvcCtx* svc, OCIError* err, OCISvcCtx::Op op, const void* key,
              const std::function<sword(ErrList*)>& fn, bool rerunnable) {
  std::unique_lock<std::mutex> lk(svc->mu);
  if (svc->op != OCISvcCtx::None) {
    if (svc->op != op || svc->opKey != key) {
      lk.unlock();
      return failCode(err, 3127);
    }
    if (!svc->opDone) return kStillExecuting;
    return collect(svc, lk, err);
  }
  svc->breakRequested = false;
  if (!nonblocking(svc)) {
    lk.unlock();
    ErrList errs;
    const sword rc = fn(&errs);
    setActiveDb(svc, nullptr);
    setErrors(err, errs);
    return rc;
  }
  if (rerunnable) {
    lk.unlock();
    svc->inlineRun = true;
    svc->inlineGaveUp = false;
    ErrList errs;
    const sword rc = fn(&errs);
    setActiveDb(svc, nullptr);
    svc->inlineRun = false;
    svc->inlineUntilNs = 0;
    if (!svc->inlineGaveUp) {
      setErrors(err, errs);
      return rc;
    }
    svc->inlineGaveUp = false;
    lk.lock();
    if (svc->breakRequested) {  // OCIBreak came meanwhile: the call ends as cancelled
      lk.unlock();
      return failCode(err, 1013);
    }
  }
  svc->op = op;
  svc->opKey = key;
  svc->opDone = false;
  svc->task = fn;
  if (!svc->worker.joinable()) {
    try {
      svc->worker = std::thread(workerLoop, svc);
    } catch (const std::system_error&) {
      svc->task = nullptr;
      svc->op = OCISvcCtx::None;
      svc->opKey = nullptr;
      lk.unlock();
      return failCode(err, 4030, "out of process memory");
    }
  }
  svc->cv.notify_all();
  svc->cv.wait_for(lk, kGrace, [svc] { return svc->opDone; });
  if (!svc->opDone) return kStillExecuting;
  return collect(svc, lk, err);
}

bool callPending(OCISvcCtx* svc, OCISvcCtx::Op op, const void* key) {
  std::lock_guard<std::mutex> lk(svc->mu);
  return svc->op == op && svc->opKey == key;
}

bool breakableSleep(OCISvcCtx* svc, double seconds) {
  if (seconds <= 0) return !svc->breakRequested;
  if (svc->inlineRun) {  // a delay is never waited on the caller's thread: rerun on the worker
    svc->inlineGaveUp = true;
    return false;
  }
  const auto until = std::chrono::steady_clock::now() +
                     std::chrono::microseconds(static_cast<long long>(seconds * 1e6));
  std::unique_lock<std::mutex> lk(svc->mu);
  svc->cv.wait_until(lk, until, [svc] { return svc->breakRequested.load(); });
  return !svc->breakRequested;
}

bool breakRequested(OCISvcCtx* svc) { return svc->breakRequested; }

void setActiveDb(OCISvcCtx* svc, sqlite3* db) {
  std::lock_guard<std::mutex> lk(svc->mu);
  if (svc->activeDb != nullptr && svc->activeDb != db) {
    sqlite3_progress_handler(svc->activeDb, 0, nullptr, nullptr);
  }
  svc->activeDb = db;
  if (db != nullptr) sqlite3_progress_handler(db, 200, progressHandler, svc);
}

void armInlineDeadline(OCISvcCtx* svc) {
  if (svc->inlineRun) svc->inlineUntilNs = steadyNowNs() + kGraceNs;
}

}  // namespace vsim

void vsimFreeSvcCtx(OCISvcCtx* svc) {
  abandonCall(svc);
  {
    std::lock_guard<std::mutex> lk(svc->mu);
    svc->stopWorker = true;
    svc->cv.notify_all();
  }
  if (svc->worker.joinable()) svc->worker.join();
  if (svc->server != nullptr && svc->server->svc == svc) svc->server->svc = nullptr;
  deleteHandle(svc);
}

namespace {

OCISvcCtx* svcOf(void* hndlp) {
  if (isHandle(hndlp, kHtSvcCtx)) return static_cast<OCISvcCtx*>(hndlp);
  if (isHandle(hndlp, kHtServer)) return static_cast<OCIServer*>(hndlp)->svc;
  return nullptr;
}

}  // namespace

VSIM_API sword OCIBreak(void* hndlp, OCIError* errhp) {
  if (!isHandle(hndlp, kHtSvcCtx) && !isHandle(hndlp, kHtServer)) return kInvalidHandle;
  if (!isHandle(errhp, kHtError)) return kInvalidHandle;
  OCISvcCtx* svc = svcOf(hndlp);
  if (svc == nullptr) return kSuccess;
  std::lock_guard<std::mutex> lk(svc->mu);
  svc->breakRequested = true;
  if (svc->activeDb != nullptr) sqlite3_interrupt(svc->activeDb);
  svc->cv.notify_all();
  return kSuccess;
}

VSIM_API sword OCIReset(void* hndlp, OCIError* errhp) {
  if (!isHandle(hndlp, kHtSvcCtx) && !isHandle(hndlp, kHtServer)) return kInvalidHandle;
  if (!isHandle(errhp, kHtError)) return kInvalidHandle;
  OCISvcCtx* svc = svcOf(hndlp);
  if (svc == nullptr) return kSuccess;
  abandonCall(svc);
  svc->breakRequested = false;
  return kSuccess;
}
