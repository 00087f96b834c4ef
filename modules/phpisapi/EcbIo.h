// The module's side of the control block's callbacks.
#pragma once
#include <cstddef>
#include <string>

#include "Os.h"
#include "php/Isapi.h"

namespace phpisapi {

// A server variable, however long; empty when the server has none.
std::string ServerVariable(EXTENSION_CONTROL_BLOCK& ecb, const char* name);
// Every byte through WriteClient, retrying partial writes; false once a write
// fails or, with bytes still to go, `deadline` has passed.
bool WriteAll(EXTENSION_CONTROL_BLOCK& ecb, const char* data, std::size_t length,
              Clock::time_point deadline = Clock::time_point::max());
// Status line and header lines through code 1016.
bool SendResponseHead(EXTENSION_CONTROL_BLOCK& ecb, const std::string& status,
                      const std::string& headers, bool keepConnection);
// Whether the client still waits for the answer and the server still runs
// (code 1018); a server that does not know the code is taken to say yes.
bool ClientConnected(EXTENSION_CONTROL_BLOCK& ecb);
// Ends the client's connection at once (code 17): for an answer cut short.
void CloseConnection(EXTENSION_CONTROL_BLOCK& ecb);
// A short text answer of the module's own (busy, gone, timed out); closes.
void SendErrorPage(EXTENSION_CONTROL_BLOCK& ecb, const std::string& status,
                   const std::string& text, bool headOnly);

}  // namespace phpisapi
