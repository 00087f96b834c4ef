// The main window's three pop-up menus: Start (mnuStart), MySQL (mnuMysql)
// and the tray's control menu (mnuControl) with its Go and Open submenus.
#pragma once
#include <windows.h>

#include <array>
#include <string>

class TMenus {
 public:
  // Positions of the entries of mnuControl that are reached by position.
  static constexpr UINT kControlGoPosition = 5;  // "转到(&G)", the URL submenu

  TMenus();
  ~TMenus();
  TMenus(const TMenus&) = delete;
  TMenus& operator=(const TMenus&) = delete;

  HMENU mnuStart() const { return start_; }
  HMENU mnuMysql() const { return mysql_; }
  HMENU mnuControl() const { return control_; }
  HMENU mnuControl_Go() const { return go_; }

  // The URLs in the Start entries 1 to 3 and the Go entries.
  void SetUrls(const std::array<std::string, 3>& urls);
  // The caption of a menu entry, as UTF-8.
  std::string Caption(UINT id) const;
  // What a stopped or a running server allows in the tray menu.
  void EnableForState(bool stopped);

  // Pops `menu` up at the mouse cursor for `owner`; nothing when the cursor
  // position cannot be read. The chosen entry arrives as WM_COMMAND.
  static void PopUpAtCursor(HMENU menu, HWND owner);

 private:
  HMENU start_, mysql_, control_, go_;
};
