// A test ISAPI server inside the test process: it loads the tree's PHP
// module, calls HttpExtensionProc with a control block made from a request,
// answers the module's callbacks from that request and keeps what the module
// sends back. Bodies, client presence (code 1018) and the server's path
// variables are set by the test, which no real client can time as exactly.
#pragma once
#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "php/Isapi.h"
#include "platform/DynLib.h"

struct HostRequest {
  std::string method = "GET";
  std::string scriptName = "/page.php";  // the script's URL path
  std::string pathInfo;                  // the decoded path after it
  std::string query;
  std::string target;  // HTTP_URL; empty: script, path info and query
  std::vector<std::pair<std::string, std::string>> headers;  // name, value
  std::string body;
  std::size_t given = 0;  // the body's first bytes, read already (lpbData)
  std::size_t cut = std::string::npos;  // ReadClient fails past this many body bytes
  bool knowsIsConnected = true;        // whether code 1018 is answered
};

struct HostAnswer {
  DWORD result = 0;
  std::string early;  // written before the head (an interim answer)
  std::string status, headers, body;
  bool headSent = false;
  // The page's "NAME=value" lines before its last line, "body=" and the
  // request's body.
  std::map<std::string, std::string> Lines() const;
  std::string PageBody() const;
};

class ModuleHost {
 public:
  ModuleHost(const std::string& moduleFile, std::string documentRoot);
  bool Loaded() const { return proc_ != nullptr; }
  // One request; `connected` is what code 1018 answers, looked at on every call.
  HostAnswer Serve(const HostRequest& request, const std::atomic<bool>& connected) const;
  HostAnswer Serve(const HostRequest& request) const;

 private:
  platform::DynLib module_;
  PFN_HTTPEXTENSIONPROC proc_ = nullptr;
  std::string root_;
};

// Where the host's module runs PHP: a copy of the assembled tree with its
// php-cgi (Linux), or the Windows module beside the php-cgi.exe stand-in.
// ModuleHostTree.cpp and ModuleHostStandIn.cpp implement it.
class PhpFolder {
 public:
  PhpFolder();
  ~PhpFolder();
  PhpFolder(const PhpFolder&) = delete;
  PhpFolder& operator=(const PhpFolder&) = delete;

  std::string Module() const;  // empty when there is no module to run
  std::string DocumentRoot() const;
  bool RealPhp() const;        // real php-cgi, which makes PHP_SELF
  void WriteSettings(const std::string& ini) const;  // php/phpisapi.ini
  // A page that answers as the stand-in does ("NAME=value" lines, the body).
  void WritePage(const std::string& relative) const;

 private:
  struct Parts;
  std::unique_ptr<Parts> parts_;
};
