// The short answers without a body, each sent with one call.
#pragma once
#include <string>

#include "platform/Socket.h"

constexpr const char* kServerSoftware = "Portavane/6.29";

// "Connection: close" with its CR LF when the connection is to be closed,
// else nothing.
std::string ConnectionLine(bool closeAfter);

// The status line of `code`, Server, `extraLines` (each ended by CR LF),
// Content-Type text/html, Content-Length 0, the connection line and the
// blank line. A failed send is not reported.
void SendFixedAnswer(platform::SocketHandle socket, int code, const std::string& connectionLine,
                     const std::string& extraLines = std::string());
