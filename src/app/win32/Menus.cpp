#include "app/win32/Menus.h"

#include <initializer_list>

#include "app/win32/ResourceIds.h"
#include "app/win32/WinText.h"

namespace {

const char kStartWithUrl[] = "开始 && 访问 ";

// One entry of a menu: a command, a submenu (`submenu` set) or, with neither
// an id nor a submenu, a separator.
struct TEntry {
  UINT id;
  const char* caption;
  HMENU submenu = nullptr;
};

HMENU Filled(HMENU menu, std::initializer_list<TEntry> entries) {
  for (const TEntry& entry : entries) {
    if (entry.submenu)
      ::AppendMenuW(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(entry.submenu), FromUtf8(entry.caption).c_str());
    else if (entry.id)
      ::AppendMenuW(menu, MF_STRING, entry.id, FromUtf8(entry.caption).c_str());
    else
      ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  }
  return menu;
}

void SetCaption(HMENU menu, UINT id, const std::string& caption) {
  ::ModifyMenuW(menu, id, MF_BYCOMMAND | MF_STRING, id, FromUtf8(caption).c_str());
}

void Enable(HMENU menu, UINT item, UINT byWhat, bool enabled) {
  ::EnableMenuItem(menu, item, byWhat | (enabled ? MF_ENABLED : MF_GRAYED));
}

const TEntry kSeparator{0, nullptr};

}  // namespace

TMenus::TMenus() {
  start_ = Filled(::CreatePopupMenu(), {{IDM_mnuStart_Start0, "开始"},
                                        kSeparator,
                                        {IDM_mnuStart_Start1, kStartWithUrl},
                                        {IDM_mnuStart_Start2, kStartWithUrl},
                                        {IDM_mnuStart_Start3, kStartWithUrl}});
  mysql_ = Filled(::CreatePopupMenu(), {{IDM_mnuMysql_Open, "打开"},
                                        kSeparator,
                                        {IDM_mnuMysql_MyIni, "打开 my.ini"},
                                        {IDM_mnuMysql_DataDir, "打开 MYSQL DATA 目录"}});
  go_ = Filled(::CreatePopupMenu(), {{IDM_mnuControl_Go_1, "http://localhost:"},
                                     {IDM_mnuControl_Go_2, "http://127.0.0.1:"},
                                     {IDM_mnuControl_Go_3, "http://"}});
  HMENU open = Filled(::CreatePopupMenu(), {{IDM_mnuControl_Open_Root, "文档根目录"},
                                            {IDM_mnuControl_Open_Log, "日志目录"},
                                            kSeparator,
                                            {IDM_mnuControl_Open_Mysql, "MYSQL 目录"},
                                            {IDM_mnuControl_Open_MysqlData, "MYSQL DATA 目录"},
                                            kSeparator,
                                            {IDM_mnuControl_Open_Pvn, "pvn.ini"},
                                            {IDM_mnuControl_Open_Php, "php.ini"},
                                            {IDM_mnuControl_Open_My, "my.ini"}});
  control_ = Filled(::CreatePopupMenu(), {{IDM_mnuControl_Show, "显示/隐藏主窗口(&S)"},
                                          kSeparator,
                                          {IDM_mnuControl_Start, "开始服务(&A)"},
                                          {IDM_mnuControl_Stop, "停止服务(&T)"},
                                          kSeparator,
                                          {0, "转到(&G)", go_},
                                          {0, "打开(&O)", open},
                                          kSeparator,
                                          {IDM_mnuControl_Help, "帮助(&H)"},
                                          {IDM_mnuControl_Email, "联系我们(&C)..."},
                                          {IDM_mnuControl_Website, "访问网站(&V)..."},
                                          {IDM_mnuControl_About, "关于(&A)..."},
                                          kSeparator,
                                          {IDM_mnuControl_Exit, "退出(&E)"}});
  // The first entry of each menu is its default, shown bold.
  ::SetMenuDefaultItem(start_, IDM_mnuStart_Start0, FALSE);
  ::SetMenuDefaultItem(mysql_, IDM_mnuMysql_Open, FALSE);
  ::SetMenuDefaultItem(control_, IDM_mnuControl_Show, FALSE);
}

TMenus::~TMenus() {
  // The submenus go with the menus that hold them.
  ::DestroyMenu(start_);
  ::DestroyMenu(mysql_);
  ::DestroyMenu(control_);
}

// A machine without a network address has no third URL: its items stay
// grayed, the start item without a URL.
void TMenus::SetUrls(const std::array<std::string, 3>& urls) {
  for (UINT i = 0; i < 3; ++i) {
    SetCaption(start_, IDM_mnuStart_Start1 + i, kStartWithUrl + urls[i]);
    SetCaption(go_, IDM_mnuControl_Go_1 + i, urls[i]);
    Enable(start_, IDM_mnuStart_Start1 + i, MF_BYCOMMAND, !urls[i].empty());
    Enable(go_, IDM_mnuControl_Go_1 + i, MF_BYCOMMAND, !urls[i].empty());
  }
}

std::string TMenus::Caption(UINT id) const {
  for (HMENU menu : {start_, mysql_, control_}) {
    wchar_t text[256] = {};
    if (::GetMenuStringW(menu, id, text, 256, MF_BYCOMMAND) > 0) return ToUtf8(text);
  }
  return std::string();
}

void TMenus::EnableForState(bool stopped) {
  Enable(control_, IDM_mnuControl_Start, MF_BYCOMMAND, stopped);
  Enable(control_, IDM_mnuControl_Stop, MF_BYCOMMAND, !stopped);
  Enable(control_, kControlGoPosition, MF_BYPOSITION, !stopped);
}

void TMenus::PopUpAtCursor(HMENU menu, HWND owner) {
  POINT cursor;
  if (!::GetCursorPos(&cursor)) return;
  ::TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, owner, nullptr);
  ::PostMessageW(owner, WM_NULL, 0, 0);  // lets the menu close when the user clicks elsewhere
}
