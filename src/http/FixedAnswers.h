// Status lines and the short answers without a body, each sent with one call.
#pragma once
#include <string>

#include "common/HttpStatus.h"
#include "common/Product.h"
#include "platform/Socket.h"

constexpr const char* kServerSoftware = PV_PRODUCT_NAME "/" PV_VERSION;

// "Connection: close" with its CR LF when the connection is to be closed;
// for a kept connection nothing, but "Connection: keep-alive" to an HTTP/1.0
// client, which otherwise waits for the close.
std::string ConnectionLine(bool closeAfter, bool http10 = false);

// The status line of `code`, Server, `extraLines` (each ended by CR LF),
// Content-Type text/html, Content-Length 0, the connection line and the
// blank line. A failed send is not reported.
void SendFixedAnswer(platform::SocketHandle socket, int code, const std::string& connectionLine,
                     const std::string& extraLines = std::string());
