// HTTP dates and entity tags as browsers see them: Last-Modified, the
// If-Modified-Since that comes back, and the ETag of a file.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "TempFolder.h"
#include "common/KestroClass.h"
#include "platform/Clock.h"
#include "platform/Files.h"

namespace {

namespace fs = std::filesystem;

constexpr double kSecond = 1.0 / 86400;

// 1994-11-06 08:49:37 GMT as local time.
TDateTime Example1994() {
  return 34644 + (8 * 3600 + 49 * 60 + 37) * kSecond - platform::TimeZoneBiasMinutes() / 1440.0;
}

// HTTP dates have two digits in the day, which strict parsers require.
TEST(Dates, HttpDateHasTwoDigitsInTheDay) {
  const struct {
    double days;
    const char* expected;
  } cases[] = {
      {0, "Sun, 06 Nov 1994 08:49:37 GMT"},
      {30, "Tue, 06 Dec 1994 08:49:37 GMT"},
      {5, "Fri, 11 Nov 1994 08:49:37 GMT"},
      {-5, "Tue, 01 Nov 1994 08:49:37 GMT"},
      {11721, "Wed, 09 Dec 2026 08:49:37 GMT"},
  };
  for (const auto& c : cases) EXPECT_EQ(TKestro::HttpDate(Example1994() + c.days), c.expected);
}

TEST(Dates, LocalTextsToTheSecond) {
  EXPECT_EQ(TKestro::FormatDateTime(0), "1899-12-30 00:00:00");
  TDateTime noon = 46090 + 0.5;  // 2026-03-09 12:00:00
  EXPECT_EQ(TKestro::FormatDateTime(noon), "2026-03-09 12:00:00");
  EXPECT_EQ(TKestro::FormatDateTime(noon + 0.999 * kSecond), "2026-03-09 12:00:00");
  EXPECT_EQ(TKestro::FormatDateTime(noon - 0.001 * kSecond), "2026-03-09 11:59:59");
  EXPECT_EQ(TKestro::FormatDateTime(noon + 3 * kSecond), "2026-03-09 12:00:03");
  EXPECT_EQ(TKestro::FormatUsDateTime(46090 + (14 * 3600 + 5 * 60 + 7) * kSecond),
            "03/09/2026 14:05:07");
}

TEST(Dates, ParsesTheThreeFormsWithAnyZone) {
  const TDateTime expected = Example1994();
  for (const char* text : {
           "Sun, 06 Nov 1994 08:49:37 GMT",     // RFC 1123
           "Sun, 6 Nov 1994 08:49:37 GMT",      // a one-digit day
           "Sunday, 06-Nov-94 08:49:37 GMT",    // RFC 850
           "Sun Nov  6 08:49:37 1994",          // asctime
           "sun, 06 nov 1994 08:49:37 gmt",     // any case
           "Sun, 06 Nov 1994 16:49:37 +0800",   // numeric zones
           "Sat, 05 Nov 1994 23:19:37 -0930",
           "Sun, 06 Nov 1994 08:49:37 +0000",
           "Sun, 06 Nov 1994 08:49:37 GMT; length=1234",  // old browsers' suffix
       }) {
    EXPECT_NEAR(TKestro::ParseHttpDate(text), expected, 0.001 * kSecond) << text;
  }
}

TEST(Dates, UnparsableDatesAreZero) {
  for (const char* text : {"", "yesterday", "0123456789ABCDEF0123456789ABCDEF",
                           "Sun, 32 Nov 1994 08:49:37 GMT", "Sun, 29 Feb 1994 08:49:37 GMT",
                           "Sun, 06 Nov 1994 24:00:00 GMT", "Sun, 06 Nov 1994", "06 Nov 08:49:37",
                           "Sun, 06 Foo 1994 08:49:37 GMT", "Sun, 06 Nov 1994 08:49:37 EST",
                           "Sun, 06 Nov 1994 08:49:37 +08"})
    EXPECT_EQ(TKestro::ParseHttpDate(text), 0) << text;
}

class FileDates : public ::testing::Test {
 protected:
  void SetUp() override {
    file_ = (folder_ / "Page.html").string();
    std::ofstream(file_) << "<p>hello</p>";
  }

  std::int64_t StampMs() {
    platform::FileStamp stamp;
    EXPECT_TRUE(platform::GetFileStamp(file_, stamp));
    return stamp.lastWriteUtcMs;
  }

  // Moves the file's last-write time into the second `seconds` (UTC since
  // 1970). The Windows runtime reads and sets whole seconds only, so the
  // stamp is first made what the runtime reads.
  void SetStampSeconds(std::int64_t seconds) {
    auto now = fs::last_write_time(file_);
    fs::last_write_time(file_, now);
    fs::last_write_time(file_, now + std::chrono::milliseconds(seconds * 1000 + 500 - StampMs()));
    ASSERT_EQ(StampMs() / 1000, seconds);
  }

  // Rewrites the file until the clock gives it a time late in its second.
  void WriteLateInASecond() {
    for (int i = 0; i < 400 && StampMs() % 1000 < 900; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(7));
      std::ofstream(file_) << "<p>hello again</p>";
    }
    ASSERT_GE(StampMs() % 1000, 900);
  }

  TempFolder temp_;
  fs::path folder_ = temp_.Path();
  std::string file_;
};

TEST_F(FileDates, ModifiedTimeIsLocalNow) {
  EXPECT_NEAR(TKestro::FileModifiedLocal(file_), TKestro::NowLocal(), 5 * kSecond);
  EXPECT_EQ(TKestro::FileModifiedLocal((folder_ / "missing.html").string()), 0);
}

// What a browser sends back as If-Modified-Since must compare equal to the
// file's date, even when the file was written late in its second.
TEST_F(FileDates, LastModifiedRoundTrip) {
  WriteLateInASecond();
  TDateTime modified = TKestro::FileModifiedLocal(file_);
  std::string lastModified = TKestro::HttpDate(modified);
  EXPECT_EQ(TKestro::FormatDateTime(TKestro::ParseHttpDate(lastModified)),
            TKestro::FormatDateTime(modified))
      << lastModified;
  EXPECT_EQ(TKestro::FormatDateTime(modified),
            TKestro::FormatDateTime(modified - 0.5 * kSecond));  // not rounded up
}

TEST_F(FileDates, EntityTagFollowsTheFileTime) {
  std::int64_t second = StampMs() / 1000;
  SetStampSeconds(second - 10);
  std::string tag = TKestro::FileETag(file_);
  ASSERT_EQ(tag.size(), 32u);
  EXPECT_EQ(tag.find_first_not_of("0123456789ABCDEF"), std::string::npos);

  EXPECT_EQ(TKestro::FileETag(file_), tag);
  SetStampSeconds(second - 8);
  EXPECT_NE(TKestro::FileETag(file_), tag);  // saved again
  SetStampSeconds(second - 10);
  EXPECT_EQ(TKestro::FileETag(file_), tag);

  std::string other = (folder_ / "Other.html").string();
  std::ofstream(other) << "x";
  EXPECT_NE(TKestro::FileETag(other), TKestro::FileETag(file_));
}

TEST_F(FileDates, EntityTagOfARelativePath) {
  std::string before = platform::GetCurrentDir();
  ASSERT_TRUE(platform::SetCurrentDir(folder_.string()));
  std::string relative = TKestro::FileETag("Page.html");
  ASSERT_TRUE(platform::SetCurrentDir(before));
  EXPECT_EQ(relative, TKestro::FileETag(file_));
}

TEST(Clock, BiasOfTheZone) {
  const char* zone = std::getenv("TZ");
  if (zone && std::string(zone) == "CST-8") {
    EXPECT_EQ(platform::TimeZoneBiasMinutes(), -480);
  }
  EXPECT_NEAR(TKestro::LocalToGmt(0.5) - 0.5, platform::TimeZoneBiasMinutes() / 1440.0, 1e-9);
}

}  // namespace
