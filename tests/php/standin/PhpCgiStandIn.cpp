// A stand-in for the Windows php-cgi.exe: started with "-b 127.0.0.1:PORT"
// it listens there and serves FastCGI responder requests one connection at a
// time, keeping a connection for the next request when the begin record asks
// for it. Each answer is a CGI head and "name=value" lines: its process id,
// the request's number on its connection, PHPRC and PHP_INI_SCAN_DIR of its
// environment, every parameter, and the body.
// The query string "slow" makes it answer after a second, "crash" ends
// the process before it answers, "hang" makes it wait without answering.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

enum : std::uint8_t { kBeginRequest = 1, kEndRequest = 3, kParams = 4, kStdin = 5, kStdout = 6 };
constexpr std::uint8_t kKeepConn = 1;
// A stand-in that its server failed to end goes by itself after this long.
constexpr DWORD kIdleLimitMs = 60000;

bool ReadExactly(SOCKET s, char* data, int length) {
  while (length > 0) {
    const int n = recv(s, data, length, 0);
    if (n <= 0) return false;
    data += n;
    length -= n;
  }
  return true;
}

bool WriteAll(SOCKET s, const std::string& bytes) {
  for (std::size_t sent = 0; sent < bytes.size();) {
    const int n = send(s, bytes.data() + sent, static_cast<int>(bytes.size() - sent), 0);
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

struct Record {
  std::uint8_t type = 0;
  std::uint16_t id = 0;
  std::string content;
};

bool ReadRecord(SOCKET s, Record& record) {
  unsigned char head[8];
  if (!ReadExactly(s, reinterpret_cast<char*>(head), 8)) return false;
  record.type = head[1];
  record.id = static_cast<std::uint16_t>(head[2] << 8 | head[3]);
  const int length = head[4] << 8 | head[5];
  record.content.assign(static_cast<std::size_t>(length), '\0');
  char padding[256];
  return ReadExactly(s, record.content.data(), length) && ReadExactly(s, padding, head[6]);
}

void AppendRecord(std::string& out, std::uint8_t type, std::uint16_t id,
                  const std::string& content) {
  const char head[8] = {1, static_cast<char>(type), static_cast<char>(id >> 8),
                        static_cast<char>(id & 0xff), static_cast<char>(content.size() >> 8),
                        static_cast<char>(content.size() & 0xff), 0, 0};
  out.append(head, 8);
  out += content;
}

std::size_t ReadLength(const std::string& data, std::size_t& at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(data[i]); };
  if (at >= data.size()) return 0;
  if (byte(at) < 128) return byte(at++);
  if (at + 4 > data.size()) {
    at = data.size();
    return 0;
  }
  const std::size_t length =
      (byte(at) & 0x7f) << 24 | byte(at + 1) << 16 | byte(at + 2) << 8 | byte(at + 3);
  at += 4;
  return length;
}

// The parameters as "name=value" lines, and the query string among them.
std::string ParamLines(const std::string& params, std::string& query) {
  std::string lines;
  for (std::size_t at = 0; at < params.size();) {
    const std::size_t nameLength = ReadLength(params, at);
    const std::size_t valueLength = ReadLength(params, at);
    const std::string name = params.substr(at, nameLength);
    const std::string value = params.substr(at + nameLength, valueLength);
    at += nameLength + valueLength;
    if (name == "QUERY_STRING") query = value;
    lines += name + "=" + value + "\n";
  }
  return lines;
}

// "env.NAME=value", empty when unset.
std::string Environment(const char* name) {
  char value[4096];
  const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
  return std::string("env.") + name + "=" + std::string(value, length < sizeof value ? length : 0) +
         "\n";
}

// One connection: requests until the peer closes or a request lets it go.
void Serve(SOCKET s) {
  for (int number = 1;; ++number) {
    Record record;
    std::string params, body;
    bool keep = false, paramsDone = false, stdinDone = false;
    std::uint16_t id = 0;
    while (!paramsDone || !stdinDone) {
      if (!ReadRecord(s, record)) return;
      if (record.type == kBeginRequest) {
        id = record.id;
        keep = record.content.size() > 2 && (record.content[2] & kKeepConn);
      } else if (record.type == kParams) {
        paramsDone = record.content.empty();
        params += record.content;
      } else if (record.type == kStdin) {
        stdinDone = record.content.empty();
        body += record.content;
      }
    }
    std::string query;
    const std::string lines = ParamLines(params, query);
    // Ends as a crashed process does once no error box holds it.
    if (query == "crash") TerminateProcess(GetCurrentProcess(), EXCEPTION_ACCESS_VIOLATION);
    if (query == "slow") Sleep(1000);
    if (query == "hang") {
      Sleep(kIdleLimitMs);
      ExitProcess(4);
    }
    const std::string answer = "Content-Type: text/plain\r\n\r\npid=" +
                               std::to_string(GetCurrentProcessId()) + "\nnumber=" +
                               std::to_string(number) + "\n" + Environment("PHPRC") +
                               Environment("PHP_INI_SCAN_DIR") + Environment("TEMP") +
                               Environment("TMP") + Environment("SystemRoot") +
                               Environment("PORTAVANE_TEST_SESSION") + lines + "body=" + body + "\n";
    std::string out;
    for (std::size_t at = 0; at < answer.size(); at += 65535)
      AppendRecord(out, kStdout, id, answer.substr(at, 65535));
    AppendRecord(out, kStdout, id, std::string());
    AppendRecord(out, kEndRequest, id, std::string(8, '\0'));  // app status 0, request complete
    if (!WriteAll(s, out) || !keep) return;
  }
}

}  // namespace

int main(int argc, char** argv) {
  const char* address = nullptr;
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], "-b") == 0) address = argv[i + 1];
  const char* colon = address ? std::strrchr(address, ':') : nullptr;
  if (!colon) {
    std::fprintf(stderr, "usage: php-cgi -b 127.0.0.1:PORT\n");
    return 2;
  }
  // A test's marker beside the program: this start finds its port taken (as
  // when another program bound it first) and ends, as php-cgi does.
  char self[MAX_PATH] = {};
  const std::string program(self, GetModuleFileNameA(nullptr, self, MAX_PATH));
  if (DeleteFileA((program.substr(0, program.find_last_of('\\')) + "\\port-taken-once").c_str()))
    return 1;
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return 1;
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(static_cast<u_short>(std::atoi(colon + 1)));
  if (inet_pton(AF_INET, std::string(address, colon).c_str(), &local.sin_addr) != 1) return 2;
  const SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (listener == INVALID_SOCKET ||
      bind(listener, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
      listen(listener, SOMAXCONN) != 0)
    return 1;
  for (;;) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(listener, &set);
    timeval idle{kIdleLimitMs / 1000, 0};
    if (select(0, &set, nullptr, nullptr, &idle) != 1) return 5;
    const SOCKET s = accept(listener, nullptr, nullptr);
    if (s == INVALID_SOCKET) continue;
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&kIdleLimitMs),
               sizeof kIdleLimitMs);
    Serve(s);
    closesocket(s);
  }
}
