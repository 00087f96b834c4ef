// HTTP status lines, for the server's own answers and the PHP module's, and
// the short answers the server makes by itself.
#pragma once
#include <string>

// The usual phrase of a status code ("Not Found"); "" for a code without one.
const char* ReasonPhrase(int code);
// "HTTP/1.1 404 Not Found" and its CR LF.
std::string StatusLine(int code);
// The lines every answer carries after its status line: Server and Date
// (the time now), each with its CR LF.
std::string ServerAndDateLines(const std::string& serverSoftware);

// The page of an answer the server makes by itself: for an error status a
// short HTML page that names it ("404 Not Found") and carries `text` (HTML)
// as its paragraph when given, so a browser shows more than a blank page;
// "" for other statuses and for 416, whose Content-Range tells it all.
std::string StatusPage(int code, const std::string& text = std::string());

// A whole answer of the server's own: status line, Server, Date, `extraLines`
// (each ended by CR LF), Content-Type text/html, Content-Length of its page,
// `connectionLine`, the blank line and the page; an answer to HEAD counts
// the page in Content-Length and leaves it out.
std::string FixedAnswerText(int code, const std::string& serverSoftware,
                            const std::string& connectionLine, const std::string& extraLines,
                            bool headOnly, const std::string& text = std::string());
