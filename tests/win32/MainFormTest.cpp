// The main window, its tray icon and menus, the farewell window and the About
// box, in this process over the tree around the test program.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <fstream>
#include <regex>

#include "HttpTestSupport.h"
#include "WindowTestSupport.h"
#include "app/win32/MainForm.h"
#include "app/win32/ResourceIds.h"
#include "app/win32/SplashForm.h"
#include "common/KestroClass.h"
#include "platform/Files.h"
#include "platform/Socket.h"

using namespace wintest;

namespace {

std::string Tree(const std::string& relative) { return TKestro::GetAppDir() + "\\" + relative; }

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::string SavedPort() { return TKestro::ReadIniString("PVN", "port", Tree("pvn\\pvn.ini")); }

class MainWindow : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    platform::SetCurrentDir(TKestro::GetAppDir() + "\\");
    platform::CreateDir(Tree("pvn"));
    platform::CreateDir(Tree("www"));
    WriteFile(Tree("www\\index.html"), "<h1>served</h1>");
  }

  void SetUp() override {
    port = httptest::FreePort();
    WriteFile(Tree("pvn\\pvn.ini"), "[PVN]\r\nport=" + std::to_string(port) +
                                        "\r\nroot=\r\nlog=\r\nindex=index.html\r\n"
                                        "maxconnections=10\r\nphp_extname=.php\r\n");
    form = std::make_unique<TfrmMain>(std::vector<std::string>{"PHPRC"});
    PumpUntil([] { return false; }, 200);  // the first painting
  }

  void TearDown() override {
    form.reset();
    MSG quit;
    while (PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
  }

  HWND Control(int id) const { return GetDlgItem(form->Panel(), id); }
  bool Enabled(int id) const { return IsWindowEnabled(Control(id)) != FALSE; }
  void Command(UINT id) { SendMessageW(form->Handle(), WM_COMMAND, id, 0); }
  std::string StatusPanel(int part) const {
    wchar_t text[256] = {};
    SendMessageW(Control(IDC_StatusBar1), SB_GETTEXTW, part, reinterpret_cast<LPARAM>(text));
    return Utf8(text);
  }
  bool MenuEnabled(HMENU menu, UINT item, UINT byWhat = MF_BYCOMMAND) const {
    return (GetMenuState(menu, item, byWhat) & (MF_GRAYED | MF_DISABLED)) == 0;
  }
  // Enable states of the window and the tray menu for a stopped (true) or running server.
  void ExpectState(bool stopped) {
    for (int id : {IDC_lblPort, IDC_edtPort, IDC_btnPortDef, IDC_btnStart}) EXPECT_EQ(Enabled(id), stopped) << id;
    EXPECT_EQ(Enabled(IDC_btnStop), !stopped);
    HMENU tray = form->Menus().mnuControl();
    EXPECT_EQ(MenuEnabled(tray, IDM_mnuControl_Start), stopped);
    EXPECT_EQ(MenuEnabled(tray, IDM_mnuControl_Stop), !stopped);
    EXPECT_EQ(MenuEnabled(tray, TMenus::kControlGoPosition, MF_BYPOSITION), !stopped);
    EXPECT_EQ(StatusPanel(1), stopped ? "\t已停止" : "\t已启动");
    EXPECT_EQ(Utf8(form->TrayData().szTip), stopped ? "Portavane 已停止" : "Portavane 已启动");
  }
  bool Answers() {
    httptest::Client client(port);
    return client.Connected() && client.Request(httptest::Get("/")).body == "<h1>served</h1>";
  }

  int port = 0;
  std::unique_ptr<TfrmMain> form;
};

TEST_F(MainWindow, ShowsEveryControlWhereTheLayoutPutsIt) {
  HWND main = form->Handle();
  EXPECT_EQ(TextOf(main), "Portavane");
  EXPECT_TRUE(IsWindowVisible(main));
  RECT client = ClientRect(main);
  EXPECT_EQ(client.right, 383);
  EXPECT_EQ(client.bottom, 395);
  LONG style = GetWindowLongW(main, GWL_STYLE);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & (WS_MAXIMIZEBOX | WS_THICKFRAME));

  struct Expected {
    int id;
    const char *cls, *text;
    int left, top, width, height;  // width 0: a label sized to its text
  };
  const int g = 12, t = 99;  // the settings group's corner
  const Expected controls[] = {
      {IDC_imgTop, "Static", "", 0, 0, 379, 89},
      {IDC_imgPvn, "Static", "", 12, 28, 32, 32},
      {IDC_lblTop, "Static", "Portavane", 56, 30, 0, 0},
      {IDC_lblHelp, "Static", "帮助", 323, 57, 0, 0},
      {IDC_grpSetting, "Button", "设置", 12, 99, 356, 220},
      {IDC_StatusBar1, "msctls_statusbar32", nullptr, 0, 369, 379, 22},
      {IDC_chkAutoRun, "Button", "Windows启动时运行", 12, 332, 139, 17},
      {IDC_btnStart, "Button", "开始...", 214, 328, 74, 24},
      {IDC_btnStop, "Button", "停止", 294, 328, 74, 24},
      {IDC_edtPort, "Edit", nullptr, g + 72, t + 21, 224, 21},
      {IDC_btnPortDef, "Button", "定义", g + 303, t + 20, 42, 23},
      {IDC_lblPort, "Static", "端口", g + 12, t + 25, 0, 0},
      {IDC_edtRoot, "Edit", nullptr, g + 72, t + 53, 224, 21},
      {IDC_btnRoot, "Button", "打开", g + 303, t + 52, 42, 23},
      {IDC_lblRoot, "Static", "文档目录", g + 12, t + 57, 0, 0},
      {IDC_edtPVN, "Edit", nullptr, g + 72, t + 85, 224, 21},
      {IDC_btnPVN, "Button", "打开", g + 303, t + 84, 42, 23},
      {IDC_lblPVN, "Static", "pvn.ini", g + 12, t + 89, 0, 0},
      {IDC_edtPHP, "Edit", nullptr, g + 72, t + 118, 224, 21},
      {IDC_btnPHP, "Button", "打开", g + 303, t + 117, 42, 23},
      {IDC_lblPHP, "Static", "php.ini", g + 12, t + 122, 0, 0},
      {IDC_edtLog, "Edit", nullptr, g + 72, t + 150, 224, 21},
      {IDC_btnLog, "Button", "打开", g + 303, t + 149, 42, 23},
      {IDC_lblLog, "Static", "日志目录", g + 12, t + 154, 0, 0},
      {IDC_edtMysql, "Edit", nullptr, g + 72, t + 183, 224, 21},
      {IDC_btnMysqlMenu, "Button", "...", g + 303, t + 182, 42, 23},
      {IDC_lblMysql, "Static", "MySQL目录", g + 12, t + 187, 0, 0},
  };
  RECT panel = RectIn(form->Panel(), main);
  EXPECT_EQ(panel.right - panel.left, 383);
  EXPECT_EQ(panel.bottom - panel.top, 395);
  for (const auto& c : controls) {
    HWND control = Control(c.id);
    ASSERT_NE(control, nullptr) << c.id;
    EXPECT_STRCASEEQ(ClassOf(control).c_str(), c.cls) << c.id;
    if (c.text) {
      EXPECT_EQ(TextOf(control), c.text) << c.id;
    }
    RECT r = RectIn(control, form->Panel());
    EXPECT_EQ(r.left, c.left) << c.id;
    EXPECT_EQ(r.top, c.top) << c.id;
    if (c.width) {
      EXPECT_EQ(r.right - r.left, c.width) << c.id;
      EXPECT_EQ(r.bottom - r.top, c.height) << c.id;
    } else {
      EXPECT_GT(r.right - r.left, 0) << c.id;
    }
  }
  // Paths of the tree, read-only but the port; the port takes 5 characters.
  EXPECT_EQ(TextOf(Control(IDC_edtPort)), std::to_string(port));
  EXPECT_EQ(TextOf(Control(IDC_edtRoot)), Tree("www"));
  EXPECT_EQ(TextOf(Control(IDC_edtPVN)), Tree("pvn\\pvn.ini"));
  EXPECT_EQ(TextOf(Control(IDC_edtPHP)), Tree("php\\php.ini"));
  EXPECT_EQ(TextOf(Control(IDC_edtLog)), Tree("log"));
  EXPECT_EQ(TextOf(Control(IDC_edtMysql)), Tree("mysql"));
  EXPECT_FALSE(GetWindowLongW(Control(IDC_edtPort), GWL_STYLE) & ES_READONLY);
  EXPECT_TRUE(GetWindowLongW(Control(IDC_edtRoot), GWL_STYLE) & ES_READONLY);
  EXPECT_EQ(SendMessageW(Control(IDC_edtPort), EM_GETLIMITTEXT, 0, 0), 5);
  // The status bar: two panels, the first 242 pixels wide.
  int parts[2] = {};
  EXPECT_EQ(SendMessageW(Control(IDC_StatusBar1), SB_GETPARTS, 2, reinterpret_cast<LPARAM>(parts)), 2);
  EXPECT_EQ(parts[0], 242);
  EXPECT_EQ(StatusPanel(0), "点击\"开始\"按钮启动服务器.");
  // The tray record: the first version, icon 1, message + icon + tip.
  const NOTIFYICONDATAW& tray = form->TrayData();
  EXPECT_EQ(tray.cbSize, static_cast<DWORD>(NOTIFYICONDATAW_V1_SIZE));
  EXPECT_EQ(tray.hWnd, main);
  EXPECT_EQ(tray.uID, 1u);
  EXPECT_EQ(tray.uFlags, 7u);
  EXPECT_EQ(tray.uCallbackMessage, 1025u);
  ExpectState(true);
}

TEST_F(MainWindow, StartServesAndStopEndsWithTheStateShownEverywhere) {
  EXPECT_FALSE(Answers());
  Command(IDM_mnuStart_Start0);
  EXPECT_TRUE(Answers());
  ExpectState(false);
  EXPECT_TRUE(std::regex_match(StatusPanel(0), std::regex("开始时间: \\d\\d/\\d\\d/\\d{4} \\d\\d:\\d\\d:\\d\\d")))
      << StatusPanel(0);

  SendMessageW(Control(IDC_btnStop), BM_CLICK, 0, 0);
  EXPECT_FALSE(Answers());
  ExpectState(true);
}

TEST_F(MainWindow, TheTrayMenuHoldsEveryCommand) {
  const TMenus& menus = form->Menus();
  std::string p = std::to_string(port);
  const std::pair<UINT, const char*> captions[] = {
      {IDM_mnuControl_Show, "显示/隐藏主窗口(&S)"}, {IDM_mnuControl_Start, "开始服务(&A)"},
      {IDM_mnuControl_Stop, "停止服务(&T)"},       {IDM_mnuControl_Open_Root, "文档根目录"},
      {IDM_mnuControl_Open_Log, "日志目录"},       {IDM_mnuControl_Open_Mysql, "MYSQL 目录"},
      {IDM_mnuControl_Open_MysqlData, "MYSQL DATA 目录"}, {IDM_mnuControl_Open_Pvn, "pvn.ini"},
      {IDM_mnuControl_Open_Php, "php.ini"},        {IDM_mnuControl_Open_My, "my.ini"},
      {IDM_mnuControl_Help, "帮助(&H)"},           {IDM_mnuControl_Email, "联系我们(&C)..."},
      {IDM_mnuControl_Website, "访问网站(&V)..."}, {IDM_mnuControl_About, "关于(&A)..."},
      {IDM_mnuControl_Exit, "退出(&E)"},           {IDM_mnuStart_Start0, "开始"},
  };
  for (const auto& c : captions) EXPECT_EQ(menus.Caption(c.first), c.second) << c.first;
  EXPECT_EQ(menus.Caption(IDM_mnuControl_Go_1), "http://localhost:" + p);
  EXPECT_EQ(menus.Caption(IDM_mnuControl_Go_2), "http://127.0.0.1:" + p);
  EXPECT_EQ(menus.Caption(IDM_mnuStart_Start2), "开始 && 访问 http://127.0.0.1:" + p);
  EXPECT_EQ(GetMenuItemCount(menus.mnuControl()), 14);
  EXPECT_EQ(GetMenuDefaultItem(menus.mnuControl(), FALSE, 0), static_cast<UINT>(IDM_mnuControl_Show));
  EXPECT_EQ(GetMenuDefaultItem(menus.mnuStart(), FALSE, 0), static_cast<UINT>(IDM_mnuStart_Start0));

  // A right click on the icon pops the menu up; a left click toggles the window.
  bool popped = false;
  {
    ModalWatcher closer([&] {
      if (TopLevelWindows("#32768").empty()) return false;
      popped = true;
      EndMenu();
      return true;
    });
    SendMessageW(form->Handle(), 1025, 1, WM_RBUTTONUP);
  }
  EXPECT_TRUE(popped);
  SendMessageW(form->Handle(), 1025, 1, WM_LBUTTONUP);
  EXPECT_TRUE(PumpUntil([&] { return !IsWindowVisible(form->Handle()); }));
  SendMessageW(form->Handle(), 1025, 1, WM_LBUTTONUP);
  EXPECT_TRUE(PumpUntil([&] { return IsWindowVisible(form->Handle()) && !IsIconic(form->Handle()); }));
  // Minimised, the window goes to the notification area.
  ShowWindow(form->Handle(), SW_MINIMIZE);
  EXPECT_TRUE(PumpUntil([&] { return !IsWindowVisible(form->Handle()); }));
}

TEST_F(MainWindow, APortInUseIsToldWithTheTrayAsleep) {
  int error = 0;
  platform::SocketHandle holder = platform::OpenListener(port, error);
  ASSERT_NE(holder, platform::SocketHandle(0));
  auto box = AnswerBox([&] { Command(IDM_mnuStart_Start0); }, IDOK,
                       [&] { return form->TrayData().uCallbackMessage; });
  platform::CloseSocket(holder);
  EXPECT_EQ(box.text, "错误 (10048) 端口不能打开 " + std::to_string(port) + ".");
  EXPECT_EQ(box.trayCallbackWhileOpen, 0u);
  EXPECT_EQ(form->TrayData().uCallbackMessage, 1025u);
  ExpectState(true);

  // The tray's Start says so when it works; the help box is the resource text.
  box = AnswerBox([&] { Command(IDM_mnuControl_Start); }, IDOK);
  EXPECT_EQ(box.text, "服务已成功启动.");
  EXPECT_TRUE(Answers());
  box = AnswerBox([&] { Command(IDM_mnuControl_Stop); }, IDOK);
  EXPECT_EQ(box.text, "服务已成功停止.");
  box = AnswerBox([&] { Command(IDM_mnuControl_Help); }, IDOK,
                  [&] { return form->TrayData().uCallbackMessage; });
  EXPECT_NE(box.text.find("port 3306"), std::string::npos) << box.text;
  EXPECT_EQ(box.trayCallbackWhileOpen, 0u);
}

TEST_F(MainWindow, InvalidPortsBecomeTheDefaultAndOnlyDigitsCanBeTyped) {
  HWND edit = Control(IDC_edtPort);
  for (const char* typed : {"0", "65536", "abc", ""}) {
    SetWindowTextW(edit, Wide(typed).c_str());
    form->RefreshPortAndUrls();
    EXPECT_EQ(TextOf(edit), "60080") << typed;
    EXPECT_EQ(SavedPort(), "60080") << typed;
    SetWindowTextW(edit, Wide(std::to_string(port)).c_str());
    form->RefreshPortAndUrls();
    EXPECT_EQ(SavedPort(), std::to_string(port));
  }
  SetWindowTextW(edit, L"");
  for (wchar_t key : {L'1', L'x', L'2', L'-', L'\b', L'3'}) SendMessageW(edit, WM_CHAR, key, 0);
  EXPECT_EQ(TextOf(edit), "13");
}

TEST(FarewellWindow, HasNoCaptionAnEqualFrameAndSitsInTheMiddle) {
  TfrmSplash splash(nullptr, "再见,请稍候...");
  HWND window = splash.Handle();
  EXPECT_FALSE(GetWindowLongW(window, GWL_STYLE) & WS_CAPTION);
  RECT outer, client = ClientRect(window);
  GetWindowRect(window, &outer);
  EXPECT_EQ(client.right, 222);
  EXPECT_EQ(client.bottom, 51);
  POINT origin{0, 0};
  ClientToScreen(window, &origin);
  int left = origin.x - outer.left, top = origin.y - outer.top;
  EXPECT_EQ(left, top);
  EXPECT_EQ(outer.right - origin.x - client.right, left);
  EXPECT_EQ(outer.bottom - origin.y - client.bottom, top);
  EXPECT_EQ(outer.left, (GetSystemMetrics(SM_CXSCREEN) - (outer.right - outer.left)) / 2);
  EXPECT_EQ(outer.top, (GetSystemMetrics(SM_CYSCREEN) - (outer.bottom - outer.top)) / 2);
  HWND label = GetDlgItem(window, IDC_lblInformation);
  EXPECT_EQ(TextOf(label), "再见,请稍候...");
  RECT r = RectIn(label, window);
  EXPECT_EQ(r.left, (222 - (r.right - r.left)) / 2);
  EXPECT_EQ(r.top, (51 - (r.bottom - r.top)) / 2);
}

TEST_F(MainWindow, TheAboutBoxCentresItsLinesAndClosesOnEscape) {
  struct Seen {
    bool open = false;
    std::string caption, version;
    RECT client{}, title{}, icon{}, versionAt{}, ok{};
    UINT callback = 12345;
  } seen;
  ModalWatcher watcher([&] {
    for (HWND box : TopLevelWindows("#32770")) {
      if (TextOf(box) != "关于") continue;
      seen.open = true;
      seen.caption = TextOf(box);
      seen.client = ClientRect(box);
      seen.title = RectIn(GetDlgItem(box, IDC_lblTitle), box);
      seen.icon = RectIn(GetDlgItem(box, IDC_imgIcon), box);
      seen.versionAt = RectIn(GetDlgItem(box, IDC_lblVersion), box);
      seen.version = TextOf(GetDlgItem(box, IDC_lblVersion));
      seen.ok = RectIn(GetDlgItem(box, IDC_btnOK), box);
      seen.callback = form->TrayData().uCallbackMessage;
      PostMessageW(GetFocus(), WM_KEYDOWN, VK_ESCAPE, 0);
      return true;
    }
    return false;
  });
  Command(IDM_mnuControl_About);  // returns once the box is closed
  ASSERT_TRUE(seen.open);
  EXPECT_EQ(seen.client.right, 295);
  EXPECT_EQ(seen.client.bottom, 194);
  EXPECT_EQ(seen.title.top, 25);
  EXPECT_EQ(seen.title.left, (295 - (seen.title.right - seen.title.left)) / 2);
  EXPECT_EQ(seen.icon.left, seen.title.left - 32 - 10);
  EXPECT_EQ(seen.icon.right - seen.icon.left, 32);
  EXPECT_EQ(seen.version, "版本 6.29");
  EXPECT_EQ(seen.versionAt.left, (295 - (seen.versionAt.right - seen.versionAt.left)) / 2);
  EXPECT_EQ(seen.ok.left, 110);
  EXPECT_EQ(seen.ok.top, 163);
  EXPECT_EQ(seen.callback, 0u);
  EXPECT_TRUE(TopLevelWindows("#32770").empty());
  EXPECT_EQ(form->TrayData().uCallbackMessage, 1025u);
}

}  // namespace
