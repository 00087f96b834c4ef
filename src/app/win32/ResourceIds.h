// Identifiers of the controls, menu entries and resources of the windows,
// shared by Portavane.rc and the code. The resource names RES_MAINFORM_TOP,
// MAINICON, RES_ABOUTFORM_ICON and RES_MAINFORM_HELP are string names and
// therefore not defined here.
#pragma once

// Main window (TfrmMain): the panel and its controls.
#define IDC_pnlBackground 100
#define IDC_imgTop 101
#define IDC_imgPvn 102
#define IDC_lblTop 103
#define IDC_lblHelp 104
#define IDC_grpSetting 105
#define IDC_StatusBar1 106
#define IDC_chkAutoRun 107
#define IDC_btnStart 108
#define IDC_btnStop 2 /* IDCANCEL: Escape presses it */
#define IDC_lblPort 110
#define IDC_edtPort 111
#define IDC_btnPortDef 112
#define IDC_lblRoot 113
#define IDC_edtRoot 114
#define IDC_btnRoot 115
#define IDC_lblPVN 116
#define IDC_edtPVN 117
#define IDC_btnPVN 118
#define IDC_lblPHP 119
#define IDC_edtPHP 120
#define IDC_btnPHP 121
#define IDC_lblLog 122
#define IDC_edtLog 123
#define IDC_btnLog 124
#define IDC_lblMysql 125
#define IDC_edtMysql 126
#define IDC_btnMysqlMenu 127

// Start menu; the entry's tag is its id minus IDM_mnuStart_Start0.
#define IDM_mnuStart_Start0 200
#define IDM_mnuStart_Start1 201
#define IDM_mnuStart_Start2 202
#define IDM_mnuStart_Start3 203

// MySQL menu.
#define IDM_mnuMysql_Open 210
#define IDM_mnuMysql_MyIni 211
#define IDM_mnuMysql_DataDir 212

// Tray menu.
#define IDM_mnuControl_Show 300
#define IDM_mnuControl_Start 301
#define IDM_mnuControl_Stop 302
#define IDM_mnuControl_Go_1 303
#define IDM_mnuControl_Go_2 304
#define IDM_mnuControl_Go_3 305
#define IDM_mnuControl_Open_Root 306
#define IDM_mnuControl_Open_Log 307
#define IDM_mnuControl_Open_Mysql 308
#define IDM_mnuControl_Open_MysqlData 309
#define IDM_mnuControl_Open_Pvn 310
#define IDM_mnuControl_Open_Php 311
#define IDM_mnuControl_Open_My 312
#define IDM_mnuControl_Help 313
#define IDM_mnuControl_Email 314
#define IDM_mnuControl_Website 315
#define IDM_mnuControl_About 316
#define IDM_mnuControl_Exit 317

// Splash window (TfrmSplash).
#define IDC_lblInformation 400

// About box (TfrmAbout): the dialog template and its controls.
#define IDD_frmAbout 500
#define IDC_shpBackground 501
#define IDC_bvlBackground 502
#define IDC_imgIcon 503
#define IDC_lblTitle 504
#define IDC_lblVersion 505
#define IDC_lblCopyright 506
#define IDC_lblEmail1 507
#define IDC_lblEmail2 508
#define IDC_lblWebsite1 509
#define IDC_lblWebsite2 510
#define IDC_btnOK 1 /* IDOK: Enter presses it, Escape too (IDCANCEL is mapped to it) */
