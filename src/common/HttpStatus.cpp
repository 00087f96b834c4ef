#include "common/HttpStatus.h"

#include "common/KestroClass.h"

const char* ReasonPhrase(int code) {
  switch (code) {
    case 100: return "Continue";
    case 200: return "OK";
    case 206: return "Partial Content";
    case 301: return "Moved Permanently";
    case 304: return "Not Modified";
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 408: return "Request Timeout";
    case 411: return "Length Required";
    case 413: return "Content Too Large";
    case 416: return "Range Not Satisfiable";
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
  return StatusLine(code) + ServerAndDateLines(serverSoftware) + extraLines +
         "Content-Type: text/html\r\nContent-Length: " + std::to_string(page.size()) + "\r\n" +
         connectionLine + "\r\n" + (headOnly ? std::string() : page);
}
