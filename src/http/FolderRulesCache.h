// The .htaccess files along a mapped path, each parsed once per version.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "http/FolderRules.h"
#include "http/UrlMapping.h"

// One folder of the path that has a rules file.
struct TFolderLevel {
  std::string url;  // the folder's URL path, ending with '/'
  std::shared_ptr<const TFolderRules> rules;
};

// The rules files of the folders from the root down to the target's folder,
// in that order. One stat per folder when none has a file; a file is read
// and parsed again whenever it changes (another file, size or time). What a file ignores,
// or why it cannot be parsed, goes to the server log in `logFolder` once per
// version of the file.
std::vector<TFolderLevel> FolderRulesAlong(const TPhysicalPath& mapped, const std::string& logFolder);
