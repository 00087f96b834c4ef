// The daily access log: the exact line, one file per day, appending.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <thread>
#include <vector>

#include "HttpTestSupport.h"
#include "common/KestroClass.h"
#include "http/AccessLog.h"

using httptest::TempFolder;

namespace {

// Local date-time of a day and time (days since 30 December 1899).
TDateTime At(int daysAfter2024, int hour, int minute, int second) {
  const double firstOf2024 = 45292;  // 2024-01-01
  return firstOf2024 + daysAfter2024 + (hour * 3600 + minute * 60 + second) / 86400.0 + 1e-7;
}

// A log folder of its own and the log that writes there.
class AccessLogTest : public ::testing::Test {
 protected:
  TempFolder folder;
  const std::string log = folder.MakeFolder("log");
  TAccessLog accessLog;
};

TEST_F(AccessLogTest, LineHasTimePaddedAddressAndTrimmedRequestLine) {
  EXPECT_EQ(FormatLogLine(At(0, 14, 3, 27), "127.0.0.1", "GET /index.php HTTP/1.1\r\nHost: x"),
            "14:03:27 127.0.0.1       GET /index.php HTTP/1.1\r\n");
  EXPECT_EQ(FormatLogLine(At(0, 9, 5, 0), "255.255.255.255", "  PUT / HTTP/1.1 "),
            "09:05:00 255.255.255.255 PUT / HTTP/1.1\r\n");
  // Control bytes of a request line can neither forge a line nor reach a terminal raw.
  const char raw[] = "GET /a\nFORGED\x1b[2J\0\x7f HTTP/1.1";
  EXPECT_EQ(FormatLogLine(At(0, 1, 2, 3), "10.0.0.1", std::string(raw, sizeof raw - 1)),
            "01:02:03 10.0.0.1        GET /a\\x0AFORGED\\x1B[2J\\x00\\x7F HTTP/1.1\r\n");
}

TEST_F(AccessLogTest, WritesOneFilePerDayAndAppends) {
  folder.Write("log/2024-01-01.log", "earlier run\r\n");
  accessLog.Write(log, "10.0.0.1", "GET /a HTTP/1.1", At(0, 23, 59, 58));
  accessLog.Write(log, "10.0.0.1", "GET /b HTTP/1.1", At(0, 23, 59, 59));
  accessLog.Write(log, "10.0.0.2", "GET /c HTTP/1.1", At(1, 0, 0, 1));
  accessLog.Close();
  EXPECT_EQ(folder.Read("log/2024-01-01.log"),
            "earlier run\r\n"
            "23:59:58 10.0.0.1        GET /a HTTP/1.1\r\n"
            "23:59:59 10.0.0.1        GET /b HTTP/1.1\r\n");
  EXPECT_EQ(folder.Read("log/2024-01-02.log"), "00:00:01 10.0.0.2        GET /c HTTP/1.1\r\n");
}

TEST_F(AccessLogTest, ANewDayWhoseFileExistsIsWrittenThere) {
  accessLog.Write(log, "10.0.0.1", "GET /a HTTP/1.1", At(0, 23, 0, 0));
  folder.Write("log/2024-01-02.log", "");
  accessLog.Write(log, "10.0.0.1", "GET /b HTTP/1.1", At(1, 1, 0, 0));
  accessLog.Close();
  EXPECT_EQ(folder.Read("log/2024-01-02.log"), "01:00:00 10.0.0.1        GET /b HTTP/1.1\r\n");
}

TEST_F(AccessLogTest, ADeletedDayFileIsMadeAgain) {
  accessLog.Write(log, "10.0.0.1", "GET /a HTTP/1.1", At(0, 8, 0, 0));
  accessLog.Close();  // Windows refuses to delete an open file
  std::remove((log + "/2024-01-01.log").c_str());
  accessLog.Write(log, "10.0.0.1", "GET /b HTTP/1.1", At(0, 8, 0, 1));
  accessLog.Close();
  EXPECT_EQ(folder.Read("log/2024-01-01.log"), "08:00:01 10.0.0.1        GET /b HTTP/1.1\r\n");
}

// Where the system lets the open file be deleted, the next line still lands
// in the day's file, made again, not in the deleted one.
TEST_F(AccessLogTest, ALineAfterTheOpenFileWasDeletedIsNotLost) {
  accessLog.Write(log, "10.0.0.1", "GET /a HTTP/1.1", At(0, 8, 0, 0));
  std::remove((log + "/2024-01-01.log").c_str());  // refused on Windows
  accessLog.Write(log, "10.0.0.1", "GET /b HTTP/1.1", At(0, 8, 0, 1));
  accessLog.Close();
  const std::string text = folder.Read("log/2024-01-01.log");
  const std::string last = "08:00:01 10.0.0.1        GET /b HTTP/1.1\r\n";
  ASSERT_GE(text.size(), last.size());
  EXPECT_EQ(text.substr(text.size() - last.size()), last);
}

TEST_F(AccessLogTest, AMissingFolderLogsNothing) {
  accessLog.Write(folder.Path() + "/nowhere", "10.0.0.1", "GET / HTTP/1.1", At(0, 8, 0, 0));
  accessLog.Write("", "10.0.0.1", "GET / HTTP/1.1", At(0, 8, 0, 0));
  EXPECT_EQ(folder.Read("nowhere/2024-01-01.log"), "");
}

// Workers that log at once: one of them writes the lines of all, and none is
// lost, doubled or cut into another.
TEST_F(AccessLogTest, LinesOfWorkersLoggingAtOnceAreAllWrittenWhole) {
  constexpr int kWorkers = 8, kLines = 300;
  std::vector<std::thread> workers;
  for (int w = 0; w < kWorkers; ++w)
    workers.emplace_back([this, w] {
      for (int i = 0; i < kLines; ++i)
        accessLog.Write(log, "10.0.0." + std::to_string(w),
                        "GET /" + std::to_string(i) + " HTTP/1.1", At(0, 8, 0, 0));
    });
  for (auto& worker : workers) worker.join();
  accessLog.Close();
  std::istringstream text(folder.Read("log/2024-01-01.log"));
  std::set<std::string> lines;
  std::size_t count = 0;
  for (std::string line; std::getline(text, line); ++count) {
    EXPECT_EQ(line.substr(0, 9), "08:00:00 ");
    lines.insert(line);
  }
  EXPECT_EQ(count, static_cast<std::size_t>(kWorkers * kLines));
  EXPECT_EQ(lines.size(), count);
}

}  // namespace
