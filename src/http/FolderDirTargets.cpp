#include "http/FolderDirTargets.h"

#include "http/FolderAccess.h"

namespace {

bool NamesAParent(const std::string& url) {
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = url.find_first_of("/\\", start);
    const std::string segment = url.substr(start, end - start);
    if (!segment.empty() && segment.find_first_not_of(". ") == std::string::npos) return true;
    if (end == std::string::npos) return false;
    start = end + 1;
  }
}

// 0 when the client may have the file `page`, else the status refusing it.
// Both kinds of target are fetched as a GET (an index's own request is
// checked with its method once it is mapped).
int RefusalOf(const TPhysicalPath& page, const std::vector<TFolderLevel>& levels,
              const std::string& clientAddress) {
  if (IsRulesFileName(TargetNameOf(page))) return 403;
  for (const TFolderLevel& level : levels)
    if (level.rules->errorLine) return 500;
  return IsDenied(levels, page, clientAddress, "GET") ? 403 : 0;
}

}  // namespace

int MapFolderIndex(const TMappingSettings& mapping, const std::string& folderUrl,
                   const std::vector<std::string>& list, const std::string& clientAddress,
                   const std::string& logFolder, TPhysicalPath& mapped,
                   std::vector<TFolderLevel>& levels) {
  int refusal = 0;
  for (const std::string& element : list) {
    if (NamesAParent(element)) {
      if (!refusal) refusal = 400;
      continue;
    }
    const bool elsewhere = element.find_first_of("/\\") != std::string::npos;
    TPhysicalPath page = elsewhere ? MapUrlToPath(mapping, element[0] == '/' ? element : folderUrl + element, {})
                                   : MapUrlToPath(mapping, folderUrl, {element});
    if (page.kind != TPhysicalPath::Kind::kFile) continue;
    std::vector<TFolderLevel> pageLevels = elsewhere ? FolderRulesAlong(page, logFolder) : levels;
    if (const int status = RefusalOf(page, pageLevels, clientAddress)) {
      if (!refusal) refusal = status;
      continue;
    }
    mapped = std::move(page);
    levels = std::move(pageLevels);
    return 0;
  }
  mapped = MapUrlToPath(mapping, folderUrl, {});  // the folder without an index
  return refusal;
}

TPhysicalPath MapErrorDocument(const TMappingSettings& mapping, const std::string& document,
                               const std::string& clientAddress, const std::string& logFolder) {
  TPhysicalPath page = MapUrlToPath(mapping, document.substr(0, document.find('?')));
  if (page.kind != TPhysicalPath::Kind::kFile || RefusalOf(page, FolderRulesAlong(page, logFolder), clientAddress))
    return TPhysicalPath();
  return page;
}
