#include "HttpTestSupport.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/KestroClass.h"

namespace fs = std::filesystem;

namespace httptest {

namespace {

const platform::SocketLibrary kSockets;  // the client side needs it before any server

std::string Lower(std::string text) { return TKestro::LowerCase(text); }

}  // namespace

int FreePort() {
  int error = 0;
  const platform::SocketHandle s = platform::OpenListener(0, error);
  const int port = platform::LocalPort(s);
  platform::CloseSocket(s);
  return port;
}

TestSite::TestSite()
    : www(folder.MakeFolder("www")),
      log(folder.MakeFolder("log")),
      settings((fs::path(folder.Path()) / "pvn.ini").string()),
      port(FreePort()) {
  WriteSettings();
}

void TestSite::WriteSettings(const std::map<std::string, std::string>& changes) {
  std::map<std::string, std::string> values = {
      {"port", std::to_string(port)}, {"root", www},          {"log", log},
      {"index", "index.html,index.php"}, {"maxconnections", "20"}, {"php_extname", ".php"}};
  for (const auto& change : changes) values[change.first] = change.second;
  std::ofstream file(settings, std::ios::binary);
  file << "[PVN]\r\n";
  for (const auto& value : values)
    if (!value.second.empty()) file << value.first << "=" << value.second << "\r\n";
}

std::unique_ptr<TWebServer> TestSite::StartServer(const std::map<std::string, std::string>& changes) {
  WriteSettings(changes);
  auto server = std::make_unique<TWebServer>(settings);
  server->Start();
  return server;
}

std::string TestSite::LogText() const {
  return folder.Read("log/" + TKestro::FormatDateTime(TKestro::NowLocal()).substr(0, 10) + ".log");
}

std::string Response::Header(const std::string& name) const {
  for (const auto& header : headers)
    if (Lower(header.first) == Lower(name)) return header.second;
  return std::string();
}

std::vector<std::string> Response::HeaderNames() const {
  std::vector<std::string> names;
  for (const auto& header : headers) names.push_back(header.first);
  return names;
}

Client::Client(int port, const std::string& address) : socket_(platform::Connect(address, port)) {}

Client::~Client() { Close(); }

void Client::Close() {
  if (socket_ != 0) platform::CloseSocket(socket_);
  socket_ = 0;
}

bool Client::Send(const std::string& data) {
  return platform::SendAll(socket_, data.data(), data.size());
}

long Client::Receive(char* buffer, std::size_t size, std::chrono::milliseconds timeout) {
  if (!platform::WaitReadable(socket_, static_cast<long>(timeout.count()) * 1000)) return -2;
  return platform::Recv(socket_, buffer, size);
}

Response Client::Read(bool noBody, std::chrono::milliseconds timeout) {
  Response response;
  char buffer[65536];
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  auto left = [&] {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
  };
  std::size_t end;
  while ((end = pending_.find("\r\n\r\n")) == std::string::npos) {
    const long n = left().count() > 0 ? Receive(buffer, sizeof buffer, left()) : -2;
    if (n <= 0) return response;
    pending_.append(buffer, static_cast<std::size_t>(n));
  }
  std::istringstream lines(pending_.substr(0, end));
  pending_.erase(0, end + 4);
  std::string line;
  std::getline(lines, line);
  if (line.rfind("HTTP/1.1 ", 0) == 0) response.status = std::atoi(line.c_str() + 9);
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t colon = line.find(": ");
    if (colon != std::string::npos)
      response.headers.emplace_back(line.substr(0, colon), line.substr(colon + 2));
  }
  response.complete = true;
  if (!noBody && response.Header("Transfer-Encoding") == "chunked") {
    std::size_t last;
    while ((last = pending_.find("\r\n0\r\n\r\n")) == std::string::npos &&
           pending_.compare(0, 5, "0\r\n\r\n") != 0) {
      const long n = left().count() > 0 ? Receive(buffer, sizeof buffer, left()) : -2;
      if (n <= 0) return response;
      pending_.append(buffer, static_cast<std::size_t>(n));
    }
    const std::size_t end = last == std::string::npos ? 5 : last + 7;
    response.body = Unchunked(pending_.substr(0, end));
    pending_.erase(0, end);
    return response;
  }
  const std::size_t length =
      noBody ? 0 : static_cast<std::size_t>(std::atoll(response.Header("Content-Length").c_str()));
  while (pending_.size() < length) {
    const long n = left().count() > 0 ? Receive(buffer, sizeof buffer, left()) : -2;
    if (n <= 0) break;
    pending_.append(buffer, static_cast<std::size_t>(n));
  }
  response.body = pending_.substr(0, length);
  pending_.erase(0, response.body.size());
  return response;
}

Response Client::Request(const std::string& request, bool noBody) {
  Send(request);
  return Read(noBody);
}

bool Client::ClosedWithin(std::chrono::milliseconds timeout) {
  if (!pending_.empty()) return false;
  char byte;
  const long n = Receive(&byte, 1, timeout);
  return n == 0 || n == -1;
}

bool Client::SilentFor(std::chrono::milliseconds timeout) {
  char byte;
  return pending_.empty() && Receive(&byte, 1, timeout) == -2;
}

std::string RawExchange(int port, const std::string& request) {
  const platform::SocketHandle s = platform::Connect("127.0.0.1", port);
  platform::SendAll(s, request.data(), request.size());
  std::string bytes;
  char buffer[4096];
  while (platform::WaitReadable(s, 3'000'000)) {
    const long n = platform::Recv(s, buffer, sizeof buffer);
    if (n <= 0) break;
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  platform::CloseSocket(s);
  return bytes;
}

std::string Get(const std::string& path, const std::string& extra, const std::string& method) {
  const bool ownHost = extra.rfind("Host:", 0) == 0 || extra.find("\r\nHost:") != std::string::npos;
  return method + " " + path + " HTTP/1.1\r\n" + (ownHost ? "" : "Host: localhost\r\n") + extra + "\r\n";
}

std::string Unchunked(const std::string& body) {
  std::string out;
  for (std::size_t at = 0;;) {
    const std::size_t lineEnd = body.find("\r\n", at);
    if (lineEnd == std::string::npos || lineEnd == at) return "?";
    const std::size_t size = std::strtoul(body.substr(at, lineEnd - at).c_str(), nullptr, 16);
    if (size == 0) return body.compare(lineEnd, 4, "\r\n\r\n") == 0 ? out : "?";
    if (body.size() < lineEnd + 4 + size || body.compare(lineEnd + 2 + size, 2, "\r\n") != 0)
      return "?";
    out.append(body, lineEnd + 2, size);
    at = lineEnd + 4 + size;
  }
}

}  // namespace httptest
