// Status lines and the short answers of the server's own, each sent with one call.
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

// FixedAnswerText of `code` with this server's name: an error status carries
// its short page (with `text` in it), which an answer to HEAD (`headOnly`)
// leaves out. A failed send is not reported.
void SendFixedAnswer(platform::SocketHandle socket, int code, const std::string& connectionLine,
                     const std::string& extraLines = std::string(), bool headOnly = false,
                     const std::string& text = std::string());
