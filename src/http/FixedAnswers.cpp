#include "http/FixedAnswers.h"

std::string ConnectionLine(bool closeAfter) {
  return closeAfter ? "Connection: close\r\n" : std::string();
}

void SendFixedAnswer(platform::SocketHandle socket, int code, const std::string& connectionLine,
                     const std::string& extraLines) {
  const std::string answer = "HTTP/1.1 " + std::to_string(code) + "\r\nServer: " +
                             kServerSoftware + "\r\n" + extraLines +
                             "Content-Type: text/html\r\nContent-Length: 0\r\n" + connectionLine +
                             "\r\n";
  platform::SendAll(socket, answer.data(), answer.size());
}
