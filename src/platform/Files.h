// Files and folders: existence, attributes, absolute paths, enumeration.
// Paths are byte strings in the system's code page (UTF-8 on Linux).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// The native folder delimiter: '\\' on Windows, '/' on Linux.
extern const char PathDelim;
// True where the file system reads a name that ends in '.' or ' ', or holds
// ':', as another name (Windows: trailing dots and blanks dropped, streams).
extern const bool NamesHaveAliases;
// True where names compare without letter case (Windows), as the server's
// own name tests (PHP extensions, <Files> sections) then do too.
extern const bool NamesIgnoreCase;

enum class PathKind { kMissing, kFile, kFolder };
// What `path` names, learnt with one call.
PathKind KindOf(const std::string& path);
bool FileExists(const std::string& path);       // an existing file, not a folder
bool DirectoryExists(const std::string& path);  // an existing folder
// `path` itself is a symbolic link (Windows: a reparse point), wherever it leads.
bool IsSymbolicLink(const std::string& path);
// An existing file the system would run (Windows: any existing file).
bool IsExecutableFile(const std::string& path);

// What opening `path` reaches, for a server that must decide on the file it
// will send, not on the name it was asked for. Only a disk file or a folder
// counts (a device, pipe or socket is kMissing: reading one would hang or
// leak); `name` is the last component as the file system keeps it. Windows:
// the long name of the opened handle, whatever alias reached it (an 8.3 short
// name, another letter case, a link); kMissing when that name cannot be
// written in the code page of the byte-string paths. Linux: the name as given.
struct DiskEntry {
  PathKind kind = PathKind::kMissing;
  std::string name;
};
DiskEntry DiskEntryOf(const std::string& path);
bool CreateDir(const std::string& path);        // one level; true when created
bool RemoveFile(const std::string& path);

// The path made absolute against the current folder ("." and ".." resolved as
// text, the file need not exist).
std::string ExpandFileName(const std::string& path);
std::string GetCurrentDir();
bool SetCurrentDir(const std::string& path);

// Full path of the running executable.
std::string ExecutablePath();

bool IsReadOnly(const std::string& path);
bool SetReadOnly(const std::string& path, bool readOnly);  // true on success

// Size and last-write time (UTC, seconds and milliseconds since 1970) of the
// first file matching `path`; false when there is none.
struct FileStamp {
  std::int64_t size = 0;
  std::int64_t lastWriteUtcMs = 0;
};
bool GetFileStamp(const std::string& path, FileStamp& stamp);

// What changes with every write of `path`, for a cache that must notice each
// one, even a rewrite of the same size with its time set back: the file's
// identity on its volume, its size, its last-write and change times in
// nanoseconds. `link`: the name is a symbolic link (Windows: a reparse
// point), whose target the other fields describe.
struct FileVersion {
  PathKind kind = PathKind::kMissing;
  bool link = false;
  std::uint64_t volume = 0, id = 0;
  std::int64_t size = 0, writeNs = 0, changeNs = 0;
  bool operator==(const FileVersion& o) const {
    return kind == o.kind && link == o.link && volume == o.volume && id == o.id &&
           size == o.size && writeNs == o.writeNs && changeNs == o.changeNs;
  }
};
// One system call when nothing is there.
FileVersion VersionOf(const std::string& path);

// `path` absolute with every link along it resolved; "" when it cannot be.
std::string ResolvedPath(const std::string& path);

// Names (not paths) of the entries of `folder` matching the wildcard `pattern`
// ('*' and '?'), files and folders alike, in the file system's order.
std::vector<std::string> FindEntries(const std::string& folder, const std::string& pattern);

}  // namespace platform
