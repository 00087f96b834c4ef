// A folder's .htaccess file and a request through the rules: the first line
// is the request target, the rest the file. Whatever the file says, parsing
// ends with rules or an error line inside the text, a rewritten URL stays a
// path of this site or a redirect, and no variable the script gets can split
// a line of the gateway's header block.
#include <cstdint>
#include <memory>

#include "FuzzSupport.h"
#include "TempFolder.h"
#include "common/HttpRequest.h"
#include "http/FolderAccess.h"
#include "http/FolderAlias.h"
#include "http/FolderHandlers.h"
#include "http/FolderRewrite.h"
#include "http/FolderRules.h"

namespace {

struct Site {
  TempFolder folder;
  TMappingSettings settings;
  Site() {
    folder.Write("www/index.php", "<?php");
    folder.Write("www/a/b.txt", "b");
    folder.Write("www/a/.ht", "x");
    settings = MappingSettingsOf(folder / "www", "index.php", ".php");
  }
};

std::size_t LineCount(const std::string& text) {
  std::size_t lines = 1;
  for (const char c : text) lines += c == '\n';
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const Site site;
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::size_t newline = input.find('\n');
  const std::string target = newline == std::string::npos ? "/" : input.substr(0, newline);
  const std::string text = newline == std::string::npos ? input : input.substr(newline + 1);

  auto rules = std::make_shared<const TFolderRules>(ParseFolderRules(text));
  FUZZ_CHECK(rules->errorLine >= 0 && static_cast<std::size_t>(rules->errorLine) <= LineCount(text));
  FUZZ_CHECK((rules->errorLine == 0) == rules->error.empty());
  if (rules->errorLine) return 0;

  THttpRequest request = ParseRequestHead("GET " + target + " HTTP/1.1\r\nHost: h\r\nAuthorization: x");
  if (request.refusal != 0) return 0;
  const TPhysicalPath mapped = MapUrlToPath(site.settings, request.path);
  TFolderLevel level;
  level.url = "/";
  level.rules = rules;
  const std::vector<TFolderLevel> levels = {level};
  IsDenied(levels, mapped, "10.0.0.1", request.method);
  TPhysicalPath handled = mapped;
  ApplyHandlers(levels, handled);
  FUZZ_CHECK(handled.kind == mapped.kind && handled.file == mapped.file);
  TRewriteInput rewriteInput;
  rewriteInput.request = &request;
  rewriteInput.url = request.path;
  rewriteInput.query = request.query;
  const TRewriteOutcome rewritten = RewriteOnce(levels, mapped, rewriteInput);
  for (const THttpHeader& v : rewritten.variables)
    FUZZ_CHECK(v.name.find_first_of("\r\n") == std::string::npos &&
               v.value.find_first_of("\r\n") == std::string::npos);
  FUZZ_CHECK(rewritten.type.find_first_of("\r\n") == std::string::npos);
  for (const TRewriteOutcome& outcome :
       {rewritten, RedirectByAlias(levels, request.path, request.query, site.settings.documentRoot)}) {
  switch (outcome.kind) {
    case TRewriteOutcome::Kind::kRewritten:
      FUZZ_CHECK(!outcome.url.empty() && (outcome.url[0] == '/' || outcome.url[0] == '\\'));
      break;
    case TRewriteOutcome::Kind::kRedirect:
      FUZZ_CHECK(outcome.status >= 300 && outcome.status < 400);
      break;
    case TRewriteOutcome::Kind::kStatus:
      FUZZ_CHECK(outcome.status >= 100 && outcome.status < 600 && outcome.status / 100 != 3);
      break;
    case TRewriteOutcome::Kind::kServe:
      break;
  }
  }
  return 0;
}
