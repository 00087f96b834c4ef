// TfrmMain: the handlers of the controls and menus, the status display and
// the close sequence.
#include <windows.h>
#include <commctrl.h>

#include <exception>

#include "app/AppTexts.h"
#include "app/win32/MainForm.h"
#include "app/win32/ResourceIds.h"
#include "app/win32/Shell.h"
#include "app/win32/SplashForm.h"
#include "common/KestroClass.h"
#include "services/PvnClass.h"

void TfrmMain::Reported(const std::function<void()>& operation) {
  try {
    operation();
  } catch (const std::exception& failure) {  // a refused write, an uncreatable log folder
    ShowBox(failure.what(), MB_ICONERROR | MB_OK);
  }
}

void TfrmMain::Command(UINT id) {
  switch (id) {
    case IDC_btnStart: return btnStartClick();
    case IDM_mnuStart_Start0:
    case IDM_mnuStart_Start1:
    case IDM_mnuStart_Start2:
    case IDM_mnuStart_Start3: return mnuStart_StartClick(id);
    case IDC_btnStop:  // also Escape, which counts only while the button is enabled
      if (::IsWindowEnabled(Control(IDC_btnStop))) btnStopClick();
      return;
    case IDC_btnPortDef: return btnPortDefClick();
    case IDC_btnRoot: return btnRootClick();
    case IDC_btnPVN: return btnPVNClick();
    case IDC_btnPHP: return btnPHPClick();
    case IDC_btnLog: return btnLogClick();
    case IDC_btnMysqlMenu: return btnMysqlMenuClick();
    case IDM_mnuMysql_Open: return mnuMysql_OpenClick();
    case IDM_mnuMysql_MyIni: return mnuMysql_MyIniClick();
    case IDM_mnuMysql_DataDir: return mnuMysql_DataDirClick();
    case IDC_chkAutoRun: return chkAutoRunClick();
    case IDM_mnuControl_Show: return mnuControl_ShowClick();
    case IDM_mnuControl_Start: return mnuControl_StartClick();
    case IDM_mnuControl_Stop: return mnuControl_StopClick();
    case IDM_mnuControl_Go_1:
    case IDM_mnuControl_Go_2:
    case IDM_mnuControl_Go_3: return mnuControl_Go_AllClick(id);
    case IDM_mnuControl_Open_Root: return btnRootClick();
    case IDM_mnuControl_Open_Log: return btnLogClick();
    case IDM_mnuControl_Open_Mysql: return mnuMysql_OpenClick();
    case IDM_mnuControl_Open_MysqlData: return mnuMysql_DataDirClick();
    case IDM_mnuControl_Open_Pvn: return btnPVNClick();
    case IDM_mnuControl_Open_Php: return btnPHPClick();
    case IDM_mnuControl_Open_My: return mnuMysql_MyIniClick();
    case IDM_mnuControl_Help: return ShowHelp();
    case IDM_mnuControl_Email: return mnuControl_EmailClick();
    case IDM_mnuControl_Website: return mnuControl_WebsiteClick();
    case IDM_mnuControl_About: return mnuControl_AboutClick();
    case IDM_mnuControl_Exit: return mnuControl_ExitClick();
  }
}

std::string TfrmMain::PortText() const { return ToAnsi(GetText(Control(IDC_edtPort))); }

// The server reads its port from the settings file, so this is what carries
// an edited port to it.
void TfrmMain::RefreshPortAndUrls() {
  const TPortChoice choice = TController::ChoosePort(PortText());
  if (choice.replaced) SetText(Control(IDC_edtPort), std::to_string(choice.port));
  menus_.SetUrls(control_.UsePort(choice.port));
}

void TfrmMain::btnStartClick() {
  Reported([this] { RefreshPortAndUrls(); });
  TMenus::PopUpAtCursor(menus_.mnuStart(), window_);
}

void TfrmMain::mnuStart_StartClick(UINT id) {
  const TStartOutcome outcome = control_.Start(ProcessMessages);
  if (outcome != TStartOutcome::Started) {
    ShowBox(TController::StartFailureText(outcome, ToUtf8(GetText(Control(IDC_edtPort)))),
            MB_ICONERROR | MB_OK);
    return;
  }
  UpdateStatus(false);
  if (id == IDM_mnuStart_Start0) return;
  std::string caption = TKestro::Trim(menus_.Caption(id));
  std::size_t scheme = caption.find("://");
  std::string rest = scheme == std::string::npos ? caption : caption.substr(scheme + 3);
  std::string url = TKestro::Trim("http://" + TKestro::Trim(rest));
  if (!url.empty()) OpenLink(url);
}

void TfrmMain::btnStopClick() {
  UpdateStatus(control_.Stop(ProcessMessages) == TStopOutcome::Stopped);
}

void TfrmMain::UpdateStatus(bool stopped) {
  for (int id : {IDC_lblPort, IDC_edtPort, IDC_btnPortDef, IDC_btnStart})
    ::EnableWindow(Control(id), stopped);
  ::EnableWindow(Control(IDC_btnStop), !stopped);
  menus_.EnableForState(stopped);
  const std::string state = TController::StateText(stopped);
  const std::string since = stopped ? app_text::kStoppedHint : TController::StartedSinceNow();
  HWND status = Control(IDC_StatusBar1);
  ::SendMessageW(status, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(FromUtf8(since).c_str()));
  ::SendMessageW(status, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>(FromUtf8("\t" + state).c_str()));
  trayIcon_.SetTip(TKestro::Trim(ToUtf8(GetText(window_))) + " " + state);
}

bool TfrmMain::edtPortKeyPress(wchar_t key) { return (key >= L'0' && key <= L'9') || key == L'\b'; }

void TfrmMain::btnPortDefClick() {
  SetText(Control(IDC_edtPort), std::to_string(app_text::kDefaultPort));
}
void TfrmMain::btnRootClick() { OpenFolder(ToAnsi(GetText(Control(IDC_edtRoot)))); }
void TfrmMain::btnPVNClick() { OpenInNotepad(ToAnsi(GetText(Control(IDC_edtPVN)))); }
void TfrmMain::btnPHPClick() { OpenInNotepad(ToAnsi(GetText(Control(IDC_edtPHP)))); }
void TfrmMain::btnLogClick() { OpenFolder(ToAnsi(GetText(Control(IDC_edtLog)))); }
void TfrmMain::btnMysqlMenuClick() { TMenus::PopUpAtCursor(menus_.mnuMysql(), window_); }
void TfrmMain::mnuMysql_OpenClick() { OpenFolder(ToAnsi(GetText(Control(IDC_edtMysql)))); }
void TfrmMain::mnuMysql_MyIniClick() { OpenInNotepad(TPvn::GetMyCnfFile()); }
void TfrmMain::mnuMysql_DataDirClick() { OpenFolder(TPvn::GetMysqlDataDir()); }

void TfrmMain::chkAutoRunClick() {
  TController::SetAutoRun(::SendMessageW(Control(IDC_chkAutoRun), BM_GETCHECK, 0, 0) == BST_CHECKED);
}

void TfrmMain::lblHelpMouseDown() {
  helpPressed_ = true;
  ::InvalidateRect(Control(IDC_lblHelp), nullptr, FALSE);
}

void TfrmMain::lblHelpMouseUp() {
  helpPressed_ = false;
  ::InvalidateRect(Control(IDC_lblHelp), nullptr, FALSE);
  ::UpdateWindow(Control(IDC_lblHelp));
  ShowHelp();
}

void TfrmMain::ShowHelp() {
  HINSTANCE instance = ::GetModuleHandleW(nullptr);
  HRSRC found = ::FindResourceW(instance, L"RES_MAINFORM_HELP", RT_RCDATA);
  HGLOBAL loaded = found ? ::LoadResource(instance, found) : nullptr;
  const char* text = loaded ? static_cast<const char*>(::LockResource(loaded)) : nullptr;
  if (!text) return;
  ShowBox(std::string(text, ::SizeofResource(instance, found)), MB_ICONINFORMATION | MB_OK);
}

int TfrmMain::ShowBox(const std::string& text, UINT flags) {
  TTrayCallbacksSuspended suspended(trayIcon_);
  return ::MessageBoxW(window_, FromUtf8(text).c_str(), FromUtf8(app_text::kApplicationTitle).c_str(),
                       flags);
}

// True when the user confirmed and the program is shutting down.
bool TfrmMain::FormClose() {
  if (ShowBox(app_text::kQuitQuestion, MB_ICONQUESTION | MB_YESNO) != IDYES) return false;
  initialized_ = false;  // the hook has nothing more to do
  ::ShowWindow(window_, SW_HIDE);
  {
    TfrmSplash farewell(window_, app_text::kFarewell);
    trayIcon_.Remove();
    control_.Close();
  }
  ::DestroyWindow(window_);
  return true;
}
