// TMimeTable: file extension to content type, shared by every worker. Built
// from a list of its own and the system's records; a miss reads the system's
// records again when they have changed since.
#pragma once
#include <functional>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

class TMimeTable {
 public:
  using Records = std::vector<std::pair<std::string, std::string>>;
  using RecordSource = std::function<Records()>;
  using StampSource = std::function<std::string()>;

  // The system's records by default; tests pass their own.
  TMimeTable();
  TMimeTable(RecordSource systemTypes, StampSource systemStamp);

  // The type of `fileName` by its extension, "application/octet-stream" when
  // none is known. Safe from any number of threads at once.
  std::string Lookup(const std::string& fileName);

 private:
  using Table = std::unordered_map<std::string, std::string>;
  Table Build() const;
  bool Find(const std::string& extension, std::string& type) const;
  void RebuildIfChanged();

  RecordSource systemTypes_;
  StampSource systemStamp_;
  mutable std::shared_mutex tableLock_;
  Table table_;
  std::mutex rebuildLock_;  // one rebuild at a time; guards stamp_
  std::string stamp_;
};
