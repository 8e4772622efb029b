// The link's message parser against expat on the same agent messages, and a 1,000-row response
// built and sent by the link against the same bytes appended to a plain buffer and written.
//
// Ratios to report: BM_ParseLink / BM_ParseExpat (no-op handlers on both sides; the parser is
// created per message as the link does), and BM_Response1000Link / BM_Response1000Plain.
#include <benchmark/benchmark.h>
#include <expat.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "ClientRequestXMLHandler.h"
#include "LinkPeer.h"
#include "Parser.h"
#include "cp_api.h"

namespace {

// A mix of what the agent sends: data requests with filters, take actions, start/stop, and data
// responses with rows.
std::vector<std::string> makeMessages() {
  std::vector<std::string> m;
  for (int i = 0; i < 50; ++i) {
    std::string id = std::to_string(1000 + i);
    m.push_back("<dataRequest id=\"" + id + "\" requestStartedID=\"77\" subnode=\"VL:prod_db" +
                std::to_string(i % 5) +
                "\"><attrGroup name=\"Monitored_Databases\"/>"
                "<requestInfo name=\"DB_NAME\" value=\"PROD&amp;TEST\" op=\"EQ\" logOp=\"AND\"/>"
                "<requestInfo name=\"STATUS\" value=\"OPEN\" op=\"NE\" logOp=\"OR\"/>"
                "<requestInfo name=\"SIZE_MB\" value=\"1024\" op=\"GT\"/></dataRequest>");
    m.push_back("<taskRequest id=\"t" + id +
                "\" subnode=\"VL:prod_db1\"><task command=\"select name, value from v$parameter "
                "where name like &apos;%pool%&apos;\" user=\"ops\"/></taskRequest>");
    m.push_back("<startRequestInfo requestStartedID=\"" + id +
                "\" ag=\"DG_Status\" subnode=\"VL:sb\"/>");
    std::string rows;
    for (int r = 0; r < 20; ++r) {
      rows += "<in><al>";
      for (int c = 0; c < 8; ++c) {
        rows += "<a v=\"value " + std::to_string(r) + "." + std::to_string(c) + " &lt;x&gt;\"/>";
      }
      rows += "</al></in>";
    }
    m.push_back("<dataResponse id=\"" + id + "\"><attrGroup name=\"Agent_Event\">" + rows +
                "</attrGroup></dataResponse>");
  }
  return m;
}

const std::vector<std::string>& messages() {
  static const std::vector<std::string> m = makeMessages();
  return m;
}

size_t totalBytes() {
  size_t n = 0;
  for (const auto& s : messages()) n += s.size();
  return n;
}

// Our parser with a handler that does nothing (like for like with expat below).
void BM_ParseLink(benchmark::State& state) {
  std::vector<char> buffer(1 << 16);
  XMLHandler nothing;
  for (auto _ : state) {
    for (const std::string& s : messages()) {
      memcpy(buffer.data(), s.c_str(), s.size() + 1);  // the parser works in place
      Parser parser(&nothing);
      benchmark::DoNotOptimize(parser.parse(buffer.data()));
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * totalBytes()));
}
BENCHMARK(BM_ParseLink);

void XMLCALL expatStart(void*, const XML_Char*, const XML_Char**) {}
void XMLCALL expatEnd(void*, const XML_Char*) {}
void XMLCALL expatText(void*, const XML_Char*, int) {}

void BM_ParseExpat(benchmark::State& state) {
  std::vector<char> buffer(1 << 16);
  for (auto _ : state) {
    for (const std::string& s : messages()) {
      memcpy(buffer.data(), s.c_str(), s.size() + 1);  // the same copy as above
      XML_Parser parser = XML_ParserCreate(nullptr);
      XML_SetElementHandler(parser, expatStart, expatEnd);
      XML_SetCharacterDataHandler(parser, expatText);
      benchmark::DoNotOptimize(XML_Parse(parser, buffer.data(), static_cast<int>(s.size()), 1));
      XML_ParserFree(parser);
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * totalBytes()));
}
BENCHMARK(BM_ParseExpat);

// What the link really does per message: parse into the request handler.
void BM_ParseLinkWithRequestHandler(benchmark::State& state) {
  std::vector<char> buffer(1 << 16);
  for (auto _ : state) {
    for (const std::string& s : messages()) {
      memcpy(buffer.data(), s.c_str(), s.size() + 1);
      ClientRequestXMLHandler handler;
      Parser parser(&handler);
      benchmark::DoNotOptimize(parser.parse(buffer.data()));
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * totalBytes()));
}
BENCHMARK(BM_ParseLinkWithRequestHandler);

// ---- A 1,000-row response ---------------------------------------------------------------------

constexpr int kRows = 1000;
constexpr int kColumns = 10;
const char* const kGroup = "RDB_Parameter";

struct Rows {
  std::vector<std::string> text;
  std::vector<std::vector<const char*>> values;
  Rows() {
    text.reserve(kRows * kColumns);
    for (int r = 0; r < kRows; ++r)
      for (int c = 0; c < kColumns; ++c)
        text.push_back("val_" + std::to_string(r) + "_" + std::to_string(c));
    for (int r = 0; r < kRows; ++r) {
      std::vector<const char*> row;
      for (int c = 0; c < kColumns; ++c) row.push_back(text[r * kColumns + c].c_str());
      values.push_back(row);
    }
  }
};

Rows& rows() {
  static Rows r;
  return r;
}

// A loopback agent that throws away everything the link writes.
class Sink {
 public:
  Sink() {
    cp_setPort(m_peer.port());
    char property[] = "CP_MULTITHREADED=YES";
    char* properties[] = {property};
    m_ok = cp_OpenConnectionWithProperties(properties, 1) == 0 && m_peer.accept() &&
           cp_RegisterAttrGroup(kGroup, 2, kGroup) == 0 && cp_RegistrationComplete() == 0;
    m_drain = std::thread([this] {
      char chunk[1 << 16];
      while (!m_stop && read(m_peer.fd(), chunk, sizeof chunk) > 0) {
      }
    });
  }
  ~Sink() {
    m_stop = true;
    cp_CloseConnection();
    m_drain.join();
    cp_setPort(-1);
  }
  bool ok() const { return m_ok; }
  // Makes id an outstanding data request (the agent asks, the link waits).
  bool ask(const std::string& id) {
    m_peer.send("<dataRequest id=\"" + id +
                "\"><attrGroup name=\"RDB_Parameter\"/></dataRequest>\n");
    Request* r = nullptr;
    bool ok = cp_WaitForRequest(&r) == 0 && r->type == DATA_REQUEST;
    cp_FreeRequest(r);
    return ok;
  }
  int fd() const { return m_peer.fd(); }

 private:
  veltest::LinkPeer m_peer;
  std::thread m_drain;
  std::atomic<bool> m_stop{false};
  bool m_ok = false;
};

// The client side of the socket for the plain write: a second connection to the same peer.
void BM_Response1000Link(benchmark::State& state) {
  Sink sink;
  if (!sink.ok()) {
    state.SkipWithError("link did not open");
    return;
  }
  Rows& data = rows();
  int n = 0;
  for (auto _ : state) {
    state.PauseTiming();
    std::string id = std::to_string(++n);
    if (!sink.ask(id)) {
      state.SkipWithError("no request");
      break;
    }
    state.ResumeTiming();
    for (int r = 0; r < kRows; ++r)
      cp_SetAttributeValues(data.values[r].data(), kColumns, id.c_str());
    benchmark::DoNotOptimize(cp_SendData(id.c_str()));
  }
}
BENCHMARK(BM_Response1000Link)->Unit(benchmark::kMicrosecond);

// The same bytes appended to a std::string and written with one write() to a drained socket.
void BM_Response1000Plain(benchmark::State& state) {
  veltest::LinkPeer peer;
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(peer.port()));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || !peer.accept()) {
    state.SkipWithError("no connection");
    close(fd);
    return;
  }
  std::atomic<bool> stop{false};
  std::thread drain([&] {
    char chunk[1 << 16];
    while (!stop && read(peer.fd(), chunk, sizeof chunk) > 0) {
    }
  });
  Rows& data = rows();
  int n = 0;
  for (auto _ : state) {
    std::string id = std::to_string(++n);
    std::string out;
    out += "<dataResponse id=\"";
    out += id;
    out += "\"><attrGroup name=\"";
    out += kGroup;
    out += "\">";
    for (int r = 0; r < kRows; ++r) {
      out += "<in><al>";
      for (int c = 0; c < kColumns; ++c) {
        out += "<a v=\"";
        out += data.values[r][c];
        out += "\"/>";
      }
      out += "</al></in>";
    }
    out += "</attrGroup></dataResponse>\n";
    size_t done = 0;
    while (done < out.size()) {
      ssize_t w = write(fd, out.data() + done, out.size() - done);
      if (w <= 0) break;
      done += static_cast<size_t>(w);
    }
    benchmark::DoNotOptimize(done);
  }
  stop = true;
  shutdown(fd, SHUT_RDWR);
  close(fd);
  drain.join();
}
BENCHMARK(BM_Response1000Plain)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
