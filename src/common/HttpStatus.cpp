#include "common/HttpStatus.h"

#include "common/KestroClass.h"

const char* ReasonPhrase(int code) {
  switch (code) {
    case 100: return "Continue";
    case 200: return "OK";
    case 201: return "Created";
    case 202: return "Accepted";
    case 204: return "No Content";
    case 206: return "Partial Content";
    case 300: return "Multiple Choices";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 303: return "See Other";
    case 304: return "Not Modified";
    case 305: return "Use Proxy";
    case 307: return "Temporary Redirect";
    case 308: return "Permanent Redirect";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 406: return "Not Acceptable";
    case 409: return "Conflict";
    case 410: return "Gone";
    case 408: return "Request Timeout";
    case 411: return "Length Required";
    case 413: return "Content Too Large";
    case 416: return "Range Not Satisfiable";
    case 418: return "I'm a teapot";
    case 429: return "Too Many Requests";
    case 451: return "Unavailable For Legal Reasons";
    case 431: return "Request Header Fields Too Large";
    case 500: return "Internal Server Error";
    case 501: return "Not Implemented";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    case 504: return "Gateway Timeout";
    default: return "";
  }
}

std::string StatusLine(int code) {
  return "HTTP/1.1 " + std::to_string(code) + " " + ReasonPhrase(code) + "\r\n";
}

std::string ServerAndDateLines(const std::string& serverSoftware) {
  return "Server: " + serverSoftware + "\r\nDate: " + TKestro::HttpDate(TKestro::NowLocal()) +
         "\r\n";
}

std::string StatusPage(int code, const std::string& text) {
  if (code < 400 || code == 416) return std::string();
  const std::string name = std::to_string(code) + " " + ReasonPhrase(code);
  return "<!DOCTYPE html>\n<html><head><title>" + name + "</title></head>\n<body><h1>" + name +
         "</h1>\n" + (text.empty() ? std::string() : "<p>" + text + "</p>\n") + "</body></html>\n";
}

std::string FixedAnswerText(int code, const std::string& serverSoftware,
                            const std::string& connectionLine, const std::string& extraLines,
                            bool headOnly, const std::string& text) {
  const std::string page = StatusPage(code, text);
  // These statuses carry no body, and so no length of one.
  if (code == 204 || code / 100 == 1)
    return StatusLine(code) + ServerAndDateLines(serverSoftware) + extraLines + connectionLine + "\r\n";
  return StatusLine(code) + ServerAndDateLines(serverSoftware) + extraLines +
         "Content-Type: text/html\r\nContent-Length: " + std::to_string(page.size()) + "\r\n" +
         connectionLine + "\r\n" + (headOnly ? std::string() : page);
}
