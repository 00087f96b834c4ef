// The module loader on trees of test libraries: what it loads, in which
// order it frees, and that concurrent first requests load once.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#include "HttpTestSupport.h"
#include "php/PhpDllLoader.h"
#include "platform/DynLib.h"
#include "platform/Env.h"

namespace fs = std::filesystem;

namespace {

const std::string kSuffix = platform::LibrarySuffix;

class LoaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetEnv("PV_SUPPORT_LOAD_MS", "");
    platform::SetEnv("PV_UNLOAD_LOG", "");
  }
  void TearDown() override { SetUp(); }

  void Put(const char* built, const std::string& relative) {
    fs::create_directories((fs::path(tree.Path()) / relative).parent_path());
    fs::copy_file(built, fs::path(tree.Path()) / relative);
  }
  void PutModule() { Put(PV_ECHO_MODULE, "php/phpisapi" + kSuffix); }
  void PutSupport() { Put(PV_SUPPORT_LIBRARY, "php/dlls/support" + kSuffix); }

  httptest::TempFolder tree;
};

TEST_F(LoaderTest, LoadsNothingBeforeAsked) {
  PutModule();
  TPHPDllLoader loader(tree.Path());
  EXPECT_FALSE(loader.Loaded());
  EXPECT_FALSE(loader.Loading());
  EXPECT_EQ(loader.HandleCount(), 0u);
  EXPECT_EQ(loader.ExtensionProc(), nullptr);
}

TEST_F(LoaderTest, ModuleWithoutSupportFolder) {
  PutModule();
  TPHPDllLoader loader(tree.Path());
  loader.LoadDlls();
  EXPECT_TRUE(loader.Loaded());
  EXPECT_FALSE(loader.Loading());
  EXPECT_EQ(loader.HandleCount(), 1u);
  EXPECT_NE(loader.ExtensionProc(), nullptr);
}

TEST_F(LoaderTest, SupportLibrariesFirstAndSubFoldersSkipped) {
  PutModule();
  PutSupport();
  tree.MakeFolder("php/dlls/folder" + kSuffix);  // named like a library
  tree.Write("php/dlls/notes.txt", "not a library");
  TPHPDllLoader loader(tree.Path());
  loader.LoadDlls();
  EXPECT_EQ(loader.HandleCount(), 2u);
  EXPECT_NE(loader.ExtensionProc(), nullptr);
}

TEST_F(LoaderTest, BrokenLibraryKeepsItsSlot) {
  PutModule();
  tree.Write("php/dlls/broken" + kSuffix, "not a library at all");
  TPHPDllLoader loader(tree.Path());
  loader.LoadDlls();
  EXPECT_EQ(loader.HandleCount(), 2u);
  EXPECT_NE(loader.ExtensionProc(), nullptr);
}

TEST_F(LoaderTest, NoEntryPointWithoutModuleOrExport) {
  {
    PutSupport();  // support libraries but no module
    TPHPDllLoader loader(tree.Path());
    loader.LoadDlls();
    EXPECT_TRUE(loader.Loaded());
    EXPECT_EQ(loader.HandleCount(), 1u);
    EXPECT_EQ(loader.ExtensionProc(), nullptr);
  }
  {
    Put(PV_NO_ENTRY_MODULE, "php/phpisapi" + kSuffix);
    TPHPDllLoader loader(tree.Path());
    loader.LoadDlls();
    EXPECT_EQ(loader.HandleCount(), 2u);
    EXPECT_EQ(loader.ExtensionProc(), nullptr);
  }
  {
    httptest::TempFolder empty;
    empty.MakeFolder("php");
    TPHPDllLoader loader(empty.Path());
    loader.LoadDlls();
    EXPECT_TRUE(loader.Loaded());
    EXPECT_EQ(loader.HandleCount(), 0u);
    EXPECT_EQ(loader.ExtensionProc(), nullptr);
  }
}

TEST_F(LoaderTest, LoadsOnceAndIsNotRetried) {
  TPHPDllLoader loader(tree.Path());
  loader.LoadDlls();  // nothing there yet
  PutModule();
  loader.LoadDlls();
  const std::atomic<bool> terminating{false};
  EXPECT_FALSE(loader.EnsureLoaded(terminating));
  EXPECT_EQ(loader.HandleCount(), 0u);
}

TEST_F(LoaderTest, ConcurrentFirstCallersLoadOnce) {
  PutModule();
  PutSupport();
  platform::SetEnv("PV_SUPPORT_LOAD_MS", "300");
  TPHPDllLoader loader(tree.Path());
  const std::atomic<bool> terminating{false};
  std::atomic<int> ready{0};
  std::vector<std::thread> callers;
  for (int i = 0; i < 4; ++i)
    callers.emplace_back([&] { ready += loader.EnsureLoaded(terminating) ? 1 : 0; });
  for (auto& caller : callers) caller.join();
  EXPECT_EQ(ready, 4);
  EXPECT_EQ(loader.HandleCount(), 2u);
}

TEST_F(LoaderTest, WaiterGivesUpWhenTerminating) {
  PutModule();
  PutSupport();
  platform::SetEnv("PV_SUPPORT_LOAD_MS", "1000");
  TPHPDllLoader loader(tree.Path());
  std::thread first([&] { loader.LoadDlls(); });
  while (!loader.Loading() && !loader.Loaded()) std::this_thread::yield();
  const std::atomic<bool> terminating{true};
  EXPECT_FALSE(loader.EnsureLoaded(terminating));
  EXPECT_TRUE(loader.Loading());  // the first caller's load still runs
  first.join();
  EXPECT_TRUE(loader.Loaded());
}

TEST_F(LoaderTest, FreesTheModuleBeforeTheSupportLibraries) {
  PutModule();
  PutSupport();
  const std::string log = tree.Path() + "/unload.log";
  platform::SetEnv("PV_UNLOAD_LOG", log);
  {
    TPHPDllLoader loader(tree.Path());
    loader.LoadDlls();
  }
  EXPECT_EQ(tree.Read("unload.log"), "module\nsupport\n");
}

}  // namespace
