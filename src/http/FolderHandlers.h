// What the folders' handler directives make of a mapped file.
#pragma once
#include <string>
#include <vector>

#include "http/FolderRulesCache.h"
#include "http/UrlMapping.h"

// Sets whether `mapped` runs as PHP when a handler directive says; false
// when its handler is one the server does not have. A SetHandler (ForceType)
// holds over an AddHandler (AddType), a deeper folder's over its parents', a
// <Files> section's over its folder's.
bool ApplyHandlers(const std::vector<TFolderLevel>& levels, TPhysicalPath& mapped);

// The same for a rewrite rule's H= (`handler`) and T= (`type`), either empty:
// false when the file must be refused, never served as its source.
bool ApplyRuleHandler(const std::string& handler, const std::string& type, TPhysicalPath& mapped);
