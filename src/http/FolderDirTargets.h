// The files a folder's DirectoryIndex and ErrorDocument name, mapped as a
// request for them would be: never a rules file, never a path outside the
// document root, never a file that its folder's rules refuse.
#pragma once
#include <string>
#include <vector>

#include "http/FolderRulesCache.h"
#include "http/UrlMapping.h"

// The first of `list` that is a file of the folder at `folderUrl` (ending in
// '/'), or a file by a URL relative to it, into `mapped`; `levels` become the
// rules along the file found. 0 when one was found or none is a file, else
// the status that refuses the folder: 403 for a refused one, 400 for one
// outside the root, as the first such element found says, when no later one is a file.
int MapFolderIndex(const TMappingSettings& mapping, const std::string& folderUrl,
                   const std::vector<std::string>& list, const std::string& clientAddress,
                   const std::string& logFolder, TPhysicalPath& mapped,
                   std::vector<TFolderLevel>& levels);

// The error document at the local URL `document`; a record of kind kMissing
// when that is no file the client may have.
TPhysicalPath MapErrorDocument(const TMappingSettings& mapping, const std::string& document,
                               const std::string& clientAddress, const std::string& logFolder);
