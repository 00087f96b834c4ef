// The content-type table: its own rows win, the system's fill the gaps, and
// a miss reads the system's records again only when they changed, safely
// while other threads look types up.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "http/MimeTable.h"

namespace {

struct FakeSystem {
  std::atomic<int> reads{0};
  std::atomic<int> version{0};
  TMimeTable::Records Records() {
    ++reads;
    TMimeTable::Records records = {{".png", "image/png"}, {".js", "application/javascript"},
                                   {".foo", "application/x-foo"}};
    if (version > 0) records.push_back({".bar", "application/x-bar"});
    return records;
  }
  std::string Stamp() const { return std::to_string(version.load()); }
};

TMimeTable MakeTable(FakeSystem& system) {
  return TMimeTable([&system] { return system.Records(); }, [&system] { return system.Stamp(); });
}

TEST(MimeTableTest, OwnRowsWinAndTheSystemFillsTheRest) {
  FakeSystem system;
  TMimeTable table = MakeTable(system);
  EXPECT_EQ(table.Lookup("C:\\www\\logo.PNG"), "image/x-png");
  EXPECT_EQ(table.Lookup("/www/app.js"), "text/javascript");
  EXPECT_EQ(table.Lookup("/www/a.foo"), "application/x-foo");
  EXPECT_EQ(table.Lookup("/www/unknown.xyz"), "application/octet-stream");
  EXPECT_EQ(table.Lookup("/www.d/Makefile"), "application/octet-stream");
}

TEST(MimeTableTest, HoldsTheRowsBrowsersNeed) {
  TMimeTable table;  // with the machine's own records
  const std::pair<const char*, const char*> rows[] = {
      {"a.htm", "text/html"},       {"a.html", "text/html"},
      {"a.css", "text/css"},        {"a.gif", "image/gif"},
      {"a.jpg", "image/jpeg"},      {"a.png", "image/x-png"},
      {"a.ico", "image/x-icon"},    {"a.txt", "text/plain"},
      {"a.xml", "text/xml"},        {"a.zip", "application/x-zip-compressed"},
      {"a.pdf", "application/pdf"}, {"a.js", "text/javascript"},
      {"a.mjs", "text/javascript"}, {"a.json", "application/json"},
      {"a.svg", "image/svg+xml"},   {"a.wasm", "application/wasm"},
      {"a.woff", "font/woff"},      {"a.woff2", "font/woff2"},
      {"a.webp", "image/webp"},     {"a.mp4", "video/mp4"},
      {"a.webm", "video/webm"},     {"a.mp3", "audio/mpeg"}};
  for (const auto& row : rows) EXPECT_EQ(table.Lookup(row.first), row.second) << row.first;
}

TEST(MimeTableTest, AMissRereadsTheSystemOnlyWhenItChanged) {
  FakeSystem system;
  TMimeTable table = MakeTable(system);
  const int initial = system.reads;
  EXPECT_EQ(table.Lookup("a.bar"), "application/octet-stream");
  EXPECT_EQ(table.Lookup("b.bar"), "application/octet-stream");
  EXPECT_EQ(system.reads, initial);
  system.version = 1;
  EXPECT_EQ(table.Lookup("a.bar"), "application/x-bar");
  EXPECT_EQ(system.reads, initial + 1);
}

TEST(MimeTableTest, LookupsStayRightWhileMissesRebuild) {
  FakeSystem system;
  TMimeTable table = MakeTable(system);
  std::atomic<bool> wrong{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 2000; ++i) {
        if (t == 0 && i % 10 == 0) ++system.version;  // every miss now rebuilds
        if (table.Lookup("a.css") != "text/css") wrong = true;
        if (table.Lookup("a.foo") != "application/x-foo") wrong = true;
        table.Lookup("a.none" + std::to_string(i));
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_FALSE(wrong);
  EXPECT_GT(system.reads, 10);
}

}  // namespace
