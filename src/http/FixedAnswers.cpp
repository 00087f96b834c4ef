#include "http/FixedAnswers.h"

std::string ConnectionLine(bool closeAfter, bool http10) {
  if (closeAfter) return "Connection: close\r\n";
  return http10 ? "Connection: keep-alive\r\n" : std::string();
}

void SendFixedAnswer(platform::SocketHandle socket, int code, const std::string& connectionLine,
                     const std::string& extraLines) {
  const std::string answer = StatusLine(code) + "Server: " + kServerSoftware + "\r\n" +
                             extraLines + "Content-Type: text/html\r\nContent-Length: 0\r\n" +
                             connectionLine + "\r\n";
  platform::SendAll(socket, answer.data(), answer.size());
}
