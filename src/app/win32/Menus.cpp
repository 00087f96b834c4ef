#include "app/win32/Menus.h"

#include "app/win32/ResourceIds.h"
#include "app/win32/WinText.h"

namespace detail {

const char kStartWithUrl[] = "开始 && 访问 ";

void Append(HMENU menu, UINT id, const char* caption) {
  ::AppendMenuW(menu, MF_STRING, id, FromUtf8(caption).c_str());
}
void AppendSeparator(HMENU menu) { ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr); }
void AppendSubmenu(HMENU menu, HMENU submenu, const char* caption) {
  ::AppendMenuW(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(submenu), FromUtf8(caption).c_str());
}
void SetCaption(HMENU menu, UINT id, const std::string& caption) {
  ::ModifyMenuW(menu, id, MF_BYCOMMAND | MF_STRING, id, FromUtf8(caption).c_str());
}
void Enable(HMENU menu, UINT item, UINT byWhat, bool enabled) {
  ::EnableMenuItem(menu, item, byWhat | (enabled ? MF_ENABLED : MF_GRAYED));
}

}  // namespace detail

TMenus::TMenus()
    : start_(::CreatePopupMenu()),
      mysql_(::CreatePopupMenu()),
      control_(::CreatePopupMenu()),
      go_(::CreatePopupMenu()),
      open_(::CreatePopupMenu()) {
  using namespace detail;
  Append(start_, IDM_mnuStart_Start0, "开始");
  AppendSeparator(start_);
  Append(start_, IDM_mnuStart_Start1, kStartWithUrl);
  Append(start_, IDM_mnuStart_Start2, kStartWithUrl);
  Append(start_, IDM_mnuStart_Start3, kStartWithUrl);
  ::SetMenuDefaultItem(start_, IDM_mnuStart_Start0, FALSE);

  Append(mysql_, IDM_mnuMysql_Open, "打开");
  AppendSeparator(mysql_);
  Append(mysql_, IDM_mnuMysql_MyIni, "打开 my.ini");
  Append(mysql_, IDM_mnuMysql_DataDir, "打开 MYSQL DATA 目录");
  ::SetMenuDefaultItem(mysql_, IDM_mnuMysql_Open, FALSE);

  Append(go_, IDM_mnuControl_Go_1, "http://localhost:");
  Append(go_, IDM_mnuControl_Go_2, "http://127.0.0.1:");
  Append(go_, IDM_mnuControl_Go_3, "http://");

  Append(open_, IDM_mnuControl_Open_Root, "文档根目录");
  Append(open_, IDM_mnuControl_Open_Log, "日志目录");
  AppendSeparator(open_);
  Append(open_, IDM_mnuControl_Open_Mysql, "MYSQL 目录");
  Append(open_, IDM_mnuControl_Open_MysqlData, "MYSQL DATA 目录");
  AppendSeparator(open_);
  Append(open_, IDM_mnuControl_Open_Pvn, "pvn.ini");
  Append(open_, IDM_mnuControl_Open_Php, "php.ini");
  Append(open_, IDM_mnuControl_Open_My, "my.ini");

  Append(control_, IDM_mnuControl_Show, "显示/隐藏主窗口(&S)");
  AppendSeparator(control_);
  Append(control_, IDM_mnuControl_Start, "开始服务(&A)");
  Append(control_, IDM_mnuControl_Stop, "停止服务(&T)");
  AppendSeparator(control_);
  AppendSubmenu(control_, go_, "转到(&G)");
  AppendSubmenu(control_, open_, "打开(&O)");
  AppendSeparator(control_);
  Append(control_, IDM_mnuControl_Help, "帮助(&H)");
  Append(control_, IDM_mnuControl_Email, "联系我们(&C)...");
  Append(control_, IDM_mnuControl_Website, "访问网站(&V)...");
  Append(control_, IDM_mnuControl_About, "关于(&A)...");
  AppendSeparator(control_);
  Append(control_, IDM_mnuControl_Exit, "退出(&E)");
  ::SetMenuDefaultItem(control_, IDM_mnuControl_Show, FALSE);
}

TMenus::~TMenus() {
  // The submenus go with the menus that hold them.
  ::DestroyMenu(start_);
  ::DestroyMenu(mysql_);
  ::DestroyMenu(control_);
}

void TMenus::SetUrls(const std::string (&urls)[3]) {
  for (UINT i = 0; i < 3; ++i) {
    detail::SetCaption(start_, IDM_mnuStart_Start1 + i, detail::kStartWithUrl + urls[i]);
    detail::SetCaption(go_, IDM_mnuControl_Go_1 + i, urls[i]);
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
  detail::Enable(control_, IDM_mnuControl_Start, MF_BYCOMMAND, stopped);
  detail::Enable(control_, IDM_mnuControl_Stop, MF_BYCOMMAND, !stopped);
  detail::Enable(control_, kControlGoPosition, MF_BYPOSITION, !stopped);
}

void TMenus::PopUpAtCursor(HMENU menu, HWND owner) {
  POINT cursor;
  if (!::GetCursorPos(&cursor)) return;
  ::TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, owner, nullptr);
  ::PostMessageW(owner, WM_NULL, 0, 0);  // lets the menu close when the user clicks elsewhere
}
