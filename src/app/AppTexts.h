// The texts and constants the front ends share: the window shows them in
// its status bar, boxes and tooltip, the console prints them.
#pragma once

#include "common/Product.h"

namespace app_text {

constexpr char kApplicationTitle[] = PV_PRODUCT_NAME;
constexpr char kAutostartWord[] = PV_AUTOSTART_WORD;
constexpr int kDefaultPort = 60080;

// The entry procedure's messages.
constexpr char kCannotRun[] = "错误: 无法运行Portavane.";
constexpr char kAlreadyRunning[] = "错误: Portavane 已经运行!";
constexpr char kFolderNameHasLineBreak[] =
    "错误: Portavane 所在文件夹的名称含有换行符, 请改名后再运行.";

// The server's state, and what starting and stopping it came to.
constexpr char kStopped[] = "已停止";
constexpr char kStarted[] = "已启动";
constexpr char kStartedSince[] = "开始时间: ";
constexpr char kStoppedHint[] = "点击\"开始\"按钮启动服务器.";  // the window's status bar, stopped
constexpr char kStartedOk[] = "服务已成功启动.";
constexpr char kStoppedOk[] = "服务已成功停止.";
constexpr char kStopFailed[] = "服务停止失败.";
constexpr char kStartFailed[] = "服务器启动失败.";
constexpr char kPortInUse[] = "错误 (10048) 端口不能打开 ";  // the port and a full stop follow

// Closing.
constexpr char kQuitQuestion[] = "您确定要退出?";
constexpr char kFarewell[] = "再见,请稍候...";

}  // namespace app_text
