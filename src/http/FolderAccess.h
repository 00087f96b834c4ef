// Who may have a mapped path: the access directives of the folders along it
// and of their <Files> sections, and the rules files themselves.
#pragma once
#include <string>
#include <vector>

#include "http/FolderRulesCache.h"
#include "http/UrlMapping.h"

// The name the <Files> sections are matched against: the file's own name,
// else the last segment of the URL.
std::string TargetNameOf(const TPhysicalPath& mapped);

// True when a <Files> section holds for the name (TargetNameOf).
bool FilesSectionHolds(const TFilesSection& section, const std::string& name);

// True for ".ht*" names (letter case ignored), which are never served.
bool IsRulesFileName(const std::string& name);

// True when the folders' rules refuse `mapped` to a client at `clientAddress`
// asking with `method`. The deepest folder's setting holds over its
// parents', a matching <Files> section over its folder's.
bool IsDenied(const std::vector<TFolderLevel>& levels, const TPhysicalPath& mapped,
              const std::string& clientAddress, const std::string& method);
