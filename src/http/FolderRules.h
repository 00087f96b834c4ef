// TFolderRules: what one per-folder .htaccess file says, parsed once.
#pragma once
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "common/Regex.h"

// A RewriteCond: its test string (not expanded) and how it is tested.
struct TRewriteCondition {
  enum class Test { kRegex, kFile, kFolder, kNonEmptyFile, kLink, kExecutable, kUrl, kCompare };
  std::string testString;
  Test test = Test::kRegex;
  TRegex regex;         // kRegex
  std::string compare;  // kCompare: "=", "<", ">", "<=", ">=", or "-eq", "-ne", ... on integers
  std::string operand;  // kCompare
  int line = 0;
  bool negate = false;
  bool noCase = false;
  bool orNext = false;  // [OR]: this one or the next
};

struct TRewriteRule {
  TRegex pattern;
  int line = 0;
  bool negate = false;
  std::string substitution;  // "-": none
  std::vector<TRewriteCondition> conditions;
  bool last = false;          // L
  bool end = false;           // END: no further round either
  bool appendQuery = false;   // QSA
  bool discardQuery = false;  // QSD
  int redirect = 0;           // R[=code]: a 3xx status, 0 when none
  int status = 0;             // F: 403, G: 410, R= outside 3xx: ends rewriting with it
  bool chain = false;         // C: the next rule runs only when this one matched
  bool next = false;          // N: the rules start again on the result
  int skip = 0;               // S=n: the n rules after a match are skipped
  bool escapeGroups = false;  // B: $N and %N percent-encoded
  std::string escapeOnly;     // B=chars: only these
  std::string type;           // T=: the Content-Type of what is served
  std::vector<std::string> cookies;  // CO=NAME:VALUE:DOMAIN[:...], not expanded
  std::vector<std::pair<std::string, std::string>> variables;  // E=NAME:VALUE, not expanded
};

// The access directives of a folder or of a <Files> section.
struct TAccessRules {
  enum class Require { kUnset, kGranted, kDenied, kLocal };
  Require require = Require::kUnset;
  bool hostRulesSet = false;    // an Order, Allow or Deny was read
  bool allowThenDeny = false;   // Order allow,deny (and mutual-failure)
  std::vector<std::string> allowFrom, denyFrom;  // "all" or address prefixes
};

struct TFilesSection {
  bool regex = false;
  std::string wildcard;  // <Files name>: '*' and '?'
  TRegex pattern;        // <FilesMatch regex>, <Files ~ regex>
  TAccessRules access;
};

struct TFolderRules {
  // Set when the file cannot be parsed: its folder is refused with 500.
  int errorLine = 0;
  std::string error;

  std::optional<bool> rewriteEngine;
  std::string rewriteBase;  // "" when not set
  std::vector<TRewriteRule> rules;
  // A file with no rewriting directive leaves its parent's rewriting in force.
  bool rewriteSeen = false;
  enum class Inherit { kNone, kAfter, kBefore };  // RewriteOptions Inherit, InheritBefore
  Inherit inherit = Inherit::kNone;

  // Redirect, RedirectMatch, RedirectPermanent, RedirectTemp.
  struct Redirect {
    bool regex = false;
    std::string path;    // a URL path prefix, or with regex the expression's text
    TRegex pattern;
    int status = 302;
    std::string target;  // "" for a status outside 3xx
    int line = 0;
  };
  std::vector<Redirect> redirects;
  std::optional<std::string> fallbackResource;  // "" for disabled

  TAccessRules access;
  std::vector<TFilesSection> files;

  std::optional<std::vector<std::string>> directoryIndex;
  std::map<int, std::string> errorDocuments;  // a local URL, or a text starting with '"'

  // "line N: ..." for every directive read and ignored, for the server log.
  std::vector<std::string> ignored;
};

// The rules of one file's text. Never throws: what cannot be parsed is told
// by errorLine and error.
TFolderRules ParseFolderRules(const std::string& text);
