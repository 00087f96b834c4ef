#include "http/FixedAnswers.h"

std::string ConnectionLine(bool closeAfter, bool http10) {
  if (closeAfter) return "Connection: close\r\n";
  return http10 ? "Connection: keep-alive\r\n" : std::string();
}

void SendFixedAnswer(platform::SocketHandle socket, int code, const std::string& connectionLine,
                     const std::string& extraLines, bool headOnly, const std::string& text) {
  const std::string answer =
      FixedAnswerText(code, kServerSoftware, connectionLine, extraLines, headOnly, text);
  platform::SendAll(socket, answer.data(), answer.size());
}
