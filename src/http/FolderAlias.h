// The alias module's redirects and the directory module's FallbackResource
// for a URL, over the folders along its path.
#pragma once
#include <string>
#include <vector>

#include "http/FolderRewrite.h"
#include "http/FolderRulesCache.h"

// The first Redirect or RedirectMatch of the folders that matches the decoded
// `url`, the deepest folder's first: kRedirect (with the request's `query`),
// kStatus for a status outside 3xx, or kServe when none matches. A pattern
// that passes the expression engine's limits answers 500.
TRewriteOutcome RedirectByAlias(const std::vector<TFolderLevel>& levels, const std::string& url,
                                const std::string& query, const std::string& documentRoot);

// The URL that answers a `url` naming nothing, by the deepest FallbackResource
// in force; "" when there is none or it is disabled.
std::string FallbackResourceFor(const std::vector<TFolderLevel>& levels, const std::string& url);
