// Portavane.exe as its users start it, from a tree of its own: launcher and
// main instance, one main instance at a time, the autostart word, serving
// after Start, and the exit through the tray menu.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>

#include "HttpTestSupport.h"
#include "TempFolder.h"
#include "WindowTestSupport.h"
#include "app/win32/ResourceIds.h"

using namespace wintest;

namespace {

class Program : public ::testing::Test {
 protected:
  void SetUp() override {
    port = httptest::FreePort();
    tree.Write("pvn\\pvn.ini", "[PVN]\r\nport=" + std::to_string(port) +
                                   "\r\nroot=\r\nlog=\r\nindex=index.html\r\nmaxconnections=10\r\n"
                                   "php_extname=.php\r\n");
    tree.Write("www\\index.html", "tree page");
    exe = tree / "Portavane.exe";
    ASSERT_TRUE(CopyFileA(PV_PROGRAM, exe.c_str(), FALSE));
  }

  void TearDown() override {
    if (main) {  // a failed test leaves no program behind
      DWORD pid = MainPid();
      if (HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid)) {
        TerminateProcess(process, 1);
        WaitForSingleObject(process, 10000);
        CloseHandle(process);
      }
    }
  }

  // Starts the executable with `parameter` through the wide call, as Explorer does.
  void Launch(const std::wstring& parameter = std::wstring()) {
    std::wstring commandLine = L"\"" + Wide(exe) + L"\"";
    if (!parameter.empty()) commandLine += L" " + parameter;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &process));
    CloseHandle(process.hThread);
    WaitForSingleObject(process.hProcess, 20000);  // the launcher ends at once
    CloseHandle(process.hProcess);
  }

  bool FindMain() {
    return WaitFor([&] { return (main = FindWindowW(L"TfrmMain", L"Portavane")) != nullptr; });
  }
  DWORD MainPid() const {
    DWORD pid = 0;
    GetWindowThreadProcessId(main, &pid);
    return pid;
  }
  bool Answers() {
    httptest::Client client(port);
    return client.Connected() && client.Request(httptest::Get("/")).body == "tree page";
  }
  // Answers the box titled "Portavane" of a process that `ofProcess` accepts
  // with `button`; its text.
  std::string Answer(const std::function<bool(DWORD)>& ofProcess, int button) {
    HWND box = nullptr;
    WaitFor([&] {
      for (HWND found : TopLevelWindows("#32770", ofProcess))
        if (TextOf(found) == "Portavane") box = found;
      return box != nullptr;
    });
    if (!box) return std::string();
    std::string text = BoxText(box);
    PostMessageW(box, WM_COMMAND, static_cast<WPARAM>(button), 0);
    return text;
  }
  // The tray's exit entry, the question answered Yes: the program ends with 0.
  void ExitThroughTray() {
    DWORD pid = MainPid();
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, pid);
    ASSERT_NE(process, nullptr);
    PostMessageW(main, WM_COMMAND, IDM_mnuControl_Exit, 0);
    EXPECT_EQ(Answer([pid](DWORD of) { return of == pid; }, IDYES), "您确定要退出?");
    EXPECT_EQ(WaitForSingleObject(process, 30000), WAIT_OBJECT_0);
    DWORD code = 1;
    GetExitCodeProcess(process, &code);
    EXPECT_EQ(code, 0u);
    CloseHandle(process);
    main = nullptr;
    EXPECT_FALSE(Answers());
  }

  TempFolder tree;
  std::string exe;
  int port = 0;
  HWND main = nullptr;
};

TEST_F(Program, ShowsItsWindowServesAfterStartRefusesASecondAndExitsThroughTheTray) {
  Launch();
  ASSERT_TRUE(FindMain());
  EXPECT_TRUE(WaitFor([&] { return IsWindowVisible(main) != FALSE; }));
  EXPECT_FALSE(Answers());
  PostMessageW(main, WM_COMMAND, IDM_mnuStart_Start0, 0);
  EXPECT_TRUE(WaitFor([&] { return Answers(); }));

  // A second start: its main instance says so and ends; the first goes on.
  DWORD first = MainPid();
  Launch();
  EXPECT_EQ(Answer([first](DWORD of) { return of != first; }, IDOK), "错误: Portavane 已经运行!");
  EXPECT_EQ(MainPid(), first);
  EXPECT_TRUE(Answers());
  ExitThroughTray();
}

}  // namespace

TEST_F(Program, TheAutostartWordStartsTheServerWithNoWindowShown) {
  Launch(L"\u81EA\u52A8");  // 自动, whatever the code page
  ASSERT_TRUE(FindMain());
  EXPECT_TRUE(WaitFor([&] { return Answers(); }));
  EXPECT_FALSE(IsWindowVisible(main));
  ExitThroughTray();
}
