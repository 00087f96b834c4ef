// The main window, its tray icon and menus, the farewell window and the About
// box, in this process over the tree around the test program.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <fstream>
#include <regex>
#include <vector>

#include "HttpTestSupport.h"
#include "WindowTestSupport.h"
#include "app/win32/Layout.h"
#include "app/win32/MainForm.h"
#include "app/win32/ResourceIds.h"
#include "app/win32/SplashForm.h"
#include "common/KestroClass.h"
#include "common/Product.h"
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

// Every control where the layout table puts it, with its text; the rows
// inside the settings group, the pictures and labels over the banner, and no
// two other controls on top of each other.
TEST_F(MainWindow, ShowsEveryControlWhereTheLayoutPutsIt) {
  using namespace layout::main;
  HWND main = form->Handle();
  EXPECT_EQ(TextOf(main), "Portavane");
  EXPECT_TRUE(IsWindowVisible(main));
  RECT client = ClientRect(main);
  EXPECT_EQ(client.right, kClientWidth);
  EXPECT_EQ(client.bottom, kClientHeight);
  LONG style = GetWindowLongW(main, GWL_STYLE);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & (WS_MAXIMIZEBOX | WS_THICKFRAME));

  enum Place { kPanel, kOverBanner, kInGroup };
  struct Expected {
    int id;
    const char *cls, *text;
    layout::Box box;  // width 0: a label sized to its text
    Place place;
  };
  std::vector<Expected> controls = {
      {IDC_imgTop, "Static", "", imgTop, kPanel},
      {IDC_imgPvn, "Static", "", imgPvn, kOverBanner},
      {IDC_lblTop, "Static", "Portavane", {lblTopLeft, lblTopTop, 0, 0}, kOverBanner},
      {IDC_lblHelp, "Static", "帮助", {lblHelpLeft, lblHelpTop, 0, 0}, kOverBanner},
      {IDC_grpSetting, "Button", "设置", grpSetting, kPanel},
      {IDC_StatusBar1, "msctls_statusbar32", nullptr, StatusBar1, kPanel},
      {IDC_chkAutoRun, "Button", "Windows启动时运行", chkAutoRun, kPanel},
      {IDC_btnStart, "Button", "开始...", btnStart, kPanel},
      {IDC_btnStop, "Button", "停止", btnStop, kPanel},
  };
  const struct {
    int label, edit, button;
    const char *caption, *buttonCaption;
  } rows[6] = {{IDC_lblPort, IDC_edtPort, IDC_btnPortDef, "端口", "定义"},
               {IDC_lblRoot, IDC_edtRoot, IDC_btnRoot, "文档目录", "打开"},
               {IDC_lblPVN, IDC_edtPVN, IDC_btnPVN, "pvn.ini", "打开"},
               {IDC_lblPHP, IDC_edtPHP, IDC_btnPHP, "php.ini", "打开"},
               {IDC_lblLog, IDC_edtLog, IDC_btnLog, "日志目录", "打开"},
               {IDC_lblMysql, IDC_edtMysql, IDC_btnMysqlMenu, "MySQL目录", "..."}};
  for (int i = 0; i < 6; ++i) {
    const int left = grpSetting.left, top = grpSetting.top + kRowTops[i];
    controls.push_back({rows[i].edit, "Edit", nullptr,
                        {left + kEditLeft, top, kEditWidth, kEditHeight}, kInGroup});
    controls.push_back({rows[i].button, "Button", rows[i].buttonCaption,
                        {left + kButtonLeft, top - kButtonAboveEdit, kButtonWidth, kButtonHeight},
                        kInGroup});
    controls.push_back({rows[i].label, "Static", rows[i].caption,
                        {left + kLabelLeft, top + kLabelBelowEdit, 0, 0}, kInGroup});
  }
  RECT panel = RectIn(form->Panel(), main);
  EXPECT_EQ(panel.right - panel.left, kClientWidth);
  EXPECT_EQ(panel.bottom - panel.top, kClientHeight);
  const RECT whole{0, 0, kClientWidth, kClientHeight};
  const RECT banner = RectIn(Control(IDC_imgTop), form->Panel());
  const RECT group = RectIn(Control(IDC_grpSetting), form->Panel());
  auto inside = [](const RECT& r, const RECT& in) {
    return r.left >= in.left && r.top >= in.top && r.right <= in.right && r.bottom <= in.bottom;
  };
  std::vector<std::pair<RECT, Expected>> placed;
  for (const auto& c : controls) {
    HWND control = Control(c.id);
    ASSERT_NE(control, nullptr) << c.id;
    EXPECT_STRCASEEQ(ClassOf(control).c_str(), c.cls) << c.id;
    if (c.text) {
      EXPECT_EQ(TextOf(control), c.text) << c.id;
    }
    RECT r = RectIn(control, form->Panel());
    EXPECT_EQ(r.left, c.box.left) << c.id;
    EXPECT_EQ(r.top, c.box.top) << c.id;
    if (c.box.width) {
      EXPECT_EQ(r.right - r.left, c.box.width) << c.id;
      EXPECT_EQ(r.bottom - r.top, c.box.height) << c.id;
    } else {
      EXPECT_GT(r.right - r.left, 0) << c.id;
    }
    EXPECT_TRUE(inside(r, c.place == kOverBanner ? banner : c.place == kInGroup ? group : whole))
        << c.id;
    placed.push_back({r, c});
  }
  for (std::size_t a = 0; a < placed.size(); ++a)
    for (std::size_t b = a + 1; b < placed.size(); ++b) {
      const auto& [ra, ca] = placed[a];
      const auto& [rb, cb] = placed[b];
      if (ca.place != cb.place || ca.place == kOverBanner) continue;  // a group holds its rows
      RECT common;
      EXPECT_FALSE(IntersectRect(&common, &ra, &rb)) << ca.id << " over " << cb.id;
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
  EXPECT_EQ(SendMessageW(Control(IDC_edtPort), EM_GETLIMITTEXT, 0, 0), kPortMaxLength);
  // The status bar: two panels, the first as wide as the layout says.
  int parts[2] = {};
  EXPECT_EQ(SendMessageW(Control(IDC_StatusBar1), SB_GETPARTS, 2, reinterpret_cast<LPARAM>(parts)), 2);
  EXPECT_EQ(parts[0], kStatusPanel0Width);
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
  EXPECT_EQ(client.right, layout::splash::kClientWidth);
  EXPECT_EQ(client.bottom, layout::splash::kClientHeight);
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
  EXPECT_EQ(r.left, (client.right - (r.right - r.left)) / 2);
  EXPECT_EQ(r.top, (client.bottom - (r.bottom - r.top)) / 2);
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
  using namespace layout::about;
  const int width = kClientWidth;
  EXPECT_EQ(seen.client.right, kClientWidth);
  EXPECT_EQ(seen.client.bottom, kClientHeight);
  EXPECT_EQ(seen.title.top, lblTitleTop);
  EXPECT_EQ(seen.title.left, (width - (seen.title.right - seen.title.left)) / 2);
  EXPECT_EQ(seen.icon.left, seen.title.left - imgIcon.width - kIconGap);
  EXPECT_EQ(seen.icon.right - seen.icon.left, imgIcon.width);
  EXPECT_EQ(seen.version, "版本 " PV_VERSION);
  EXPECT_EQ(seen.versionAt.left, (width - (seen.versionAt.right - seen.versionAt.left)) / 2);
  EXPECT_EQ(seen.ok.left, btnOK.left);
  EXPECT_EQ(seen.ok.top, btnOK.top);
  EXPECT_EQ(seen.callback, 0u);
  EXPECT_TRUE(TopLevelWindows("#32770").empty());
  EXPECT_EQ(form->TrayData().uCallbackMessage, 1025u);
}

}  // namespace
