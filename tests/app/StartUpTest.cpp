// The start-up guards: one main instance, and only from a local drive.
#include <gtest/gtest.h>

#include "common/KestroClass.h"
#include "platform/Files.h"
#include "platform/Process.h"

namespace {

std::string GuardName() { return "_" + TKestro::Md5Hex("PORTAVANE-TEST-" + platform::ExecutablePath()); }

TEST(SingleInstance, OneHolderAtATime) {
  {
    platform::SingleInstanceGuard first(GuardName());
    ASSERT_TRUE(first.Acquired());
    platform::SingleInstanceGuard second(GuardName());
    EXPECT_FALSE(second.Acquired());
  }
  platform::SingleInstanceGuard again(GuardName());
  EXPECT_TRUE(again.Acquired());
}

TEST(LocalDrive, TheTestsRunFromOne) {
  EXPECT_TRUE(platform::IsLocalDrive(platform::ExecutablePath()));
  if (platform::PathDelim == '\\') {
    EXPECT_FALSE(platform::IsLocalDrive("\\\\server\\share\\Portavane.exe"));
  }
}

}  // namespace
