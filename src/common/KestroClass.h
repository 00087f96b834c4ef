// TKestro: the general helpers shared by every layer. A field-less class of
// class-level functions; each group lives in its own KestroXxx.cpp, its
// text functions over the views of common/TextView.h.
//
// common/ holds what more than one layer above the platform reads: TKestro,
// the request head parsed once (HttpRequest, RequestBody) and its status
// lines (HttpStatus). The server-variable resolver stays here because both
// the server and the PHP gateway call it and neither may call the other;
// the HTTP dates and entity tags stay beside it as TKestro's.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Socket.h"

struct THttpRequest;

// Local date-time: days since 30 December 1899, time of day as the fraction.
using TDateTime = double;

class TKestro {
 public:
  TKestro() = delete;

  // --- Paths (KestroClass.cpp) ---
  // Folder of the running executable, no trailing delimiter ("E:" at a drive root).
  static std::string GetAppDir();
  // `path` cut before its last native delimiter; "" when it has none.
  static std::string FolderOf(const std::string& path);
  // "/" -> "\", then runs of "\" collapse to one.
  static std::string ToBackslashPath(const std::string& path);
  // "\" -> "/", then runs of "/" collapse to one.
  static std::string ToForwardSlashes(const std::string& path);
  // The native form of a path built from a URL or a root: ToBackslashPath on
  // Windows, ToForwardSlashes on Linux.
  static std::string ToNativePath(const std::string& path);

  // --- Text (KestroClass.cpp) ---
  static std::string Trim(const std::string& text);       // codes <= 32 off both ends
  static std::string UpperCase(const std::string& text);  // ASCII a-z only
  static std::string LowerCase(const std::string& text);  // ASCII A-Z only
  // Decimal integer of the whole (untrimmed) text, else `fallback`.
  static std::int64_t StrToInt64Def(const std::string& text, std::int64_t fallback);

  // --- INI access (KestroClass.cpp) ---
  // The key's value (empty default); empty when the file does not exist.
  static std::string ReadIniString(const std::string& section, const std::string& key,
                                   const std::string& file);
  // Clears the read-only attribute of an existing file, then writes; throws
  // std::runtime_error("Unable to write to <file>") when the write is refused.
  static void WriteIniString(const std::string& section, const std::string& key,
                             const std::string& file, const std::string& value);

  // --- MD5 (KestroMd5.cpp) ---
  // RFC 1321 digest as 32 upper-case hexadecimal digits.
  static std::string Md5Hex(const std::string& data);

  // --- Server variables (KestroServerVars.cpp) ---
  // The value of server variable `name` for a parsed request and the
  // connection values; never fails, unknown names give "". REMOTE_PORT and
  // SERVER_ADDR are read from `connection`, the request's socket ("" without).
  static std::string GetServerVar(std::string_view name, const THttpRequest& request,
                                  std::string_view root, std::string_view software,
                                  std::string_view remoteAddress, std::string_view port,
                                  platform::SocketHandle connection = 0);
  // The same for a request head text, parsed for the call.
  static std::string GetServerVar(std::string_view name, std::string_view head,
                                  std::string_view root, std::string_view software,
                                  std::string_view remoteAddress, std::string_view port);
  // UTF-8 text converted to the system's code page when it decodes leniently
  // as UTF-8 to a non-empty text; otherwise unchanged.
  static std::string Utf8ToAnsiIfValid(const std::string& text);

  // --- Dates and entity tags (KestroDates.cpp) ---
  static TDateTime NowLocal();
  static TDateTime LocalToGmt(TDateTime local);
  static std::string HttpDate(TDateTime local);          // "Sun, 06 Nov 1994 08:49:37 GMT"
  static TDateTime ParseHttpDate(const std::string& text);  // local; 0 when unparsable
  static std::string FormatDateTime(TDateTime t);        // "yyyy-mm-dd hh:nn:ss"
  static std::string FormatUsDateTime(TDateTime t);      // "mm/dd/yyyy hh:nn:ss"
  static TDateTime FileModifiedLocal(const std::string& path);  // 0 when none
  static TDateTime LocalFromUtcMs(std::int64_t utcMs);  // Unix milliseconds to local time
  static std::string FileETag(const std::string& path);
  // The tag of the file at `absolutePath` whose last write, as HttpDate gives
  // it, is `modifiedHttpDate`: FileETag for a time already known.
  static std::string EntityTag(const std::string& absolutePath,
                               const std::string& modifiedHttpDate);

  // --- Processes (KestroProcesses.cpp) ---
  // The path of the executable of process `pid` in its one spelling (Windows
  // the short form, Linux the canonical path); empty when it cannot be read.
  // Callers compare it in capitals.
  static std::string GetProcessFileName(std::uint32_t pid);
  // The first running process whose executable is `file`, or 0 (also when
  // `file` does not exist).
  static std::uint32_t FindProcessByFile(const std::string& file);
  static void KillProcess(std::uint32_t pid);

  // --- Start at log-on (KestroAutoRun.cpp) ---
  // Writes (on) or deletes (off) the entry `name`; nothing when the place of
  // the entries cannot be opened. UTF-8 text.
  static void SetAutoRun(bool on, const std::string& name, const std::string& data);
  // Whether the entry is present (its data not blank); a present entry is
  // rewritten with `data` when that is not blank, so it follows a moved tree.
  static bool CheckAutoRun(const std::string& name, const std::string& data);
};
