// The start-at-log-on entry through the platform's real store: the registry's
// Run key under Wine, the XDG autostart folder (of a temporary folder) on Linux.
#include <gtest/gtest.h>

#include "TempFolder.h"
#include "common/KestroClass.h"
#include "platform/AutoRun.h"
#include "platform/Env.h"

namespace {

const char kName[] = "Portavane test entry";

std::string Entry(const std::string& name) {
  std::string data;
  EXPECT_TRUE(platform::ReadAutoRunEntry(name, data));
  return data;
}

class AutoRun : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetEnv("XDG_CONFIG_HOME", config_.Path());
    platform::WriteAutoRunEntry("Portavane other entry", "\"C:/other/app.exe\" /x");
  }
  void TearDown() override {
    platform::DeleteAutoRunEntry(kName);
    platform::DeleteAutoRunEntry("Portavane other entry");
  }
  TempFolder config_;
};

TEST_F(AutoRun, WrittenRefreshedAfterAMoveAndDeletedLeavingOtherEntries) {
  const std::string here = "\"D:/站点/Portavane.exe\" 自动";
  const std::string moved = "\"E:/web tree/Portavane.exe\" 自动";
  EXPECT_FALSE(TKestro::CheckAutoRun(kName, here));
  EXPECT_EQ(Entry(kName), "") << "an absent entry is not made";

  TKestro::SetAutoRun(true, kName, here);
  EXPECT_TRUE(TKestro::CheckAutoRun(kName, moved));
  EXPECT_EQ(Entry(kName), moved);

  TKestro::SetAutoRun(false, kName, moved);
  EXPECT_FALSE(TKestro::CheckAutoRun(kName, moved));
  EXPECT_EQ(Entry("Portavane other entry"), "\"C:/other/app.exe\" /x");
}

TEST_F(AutoRun, ABlankEntryCountsAsAbsentAndIsLeftAlone) {
  platform::WriteAutoRunEntry(kName, "   ");
  EXPECT_FALSE(TKestro::CheckAutoRun(kName, "\"C:\\a\\Portavane.exe\" 自动"));
  EXPECT_EQ(Entry(kName), "   ");
}

}  // namespace
