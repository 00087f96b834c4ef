// Every position and size of the three windows, in pixels (no scaling with
// the screen's dots per inch). Positions are inside the parent's client area;
// the rows of the settings group are inside the group box.
#pragma once

namespace layout {

struct Box {
  int left, top, width, height;
};

constexpr int kFontHeight = 11;  // Tahoma 8 point

namespace main {
constexpr int kClientWidth = 383, kClientHeight = 395;
constexpr Box pnlBackground{0, 0, kClientWidth, kClientHeight};
constexpr Box imgTop{0, 0, 379, 89};
constexpr Box imgPvn{12, 28, 32, 32};
constexpr int lblTopLeft = 56, lblTopTop = 30, lblTopFontHeight = 24;
constexpr int lblHelpLeft = 323, lblHelpTop = 57;
constexpr Box grpSetting{12, 99, 356, 220};
constexpr Box StatusBar1{0, 369, 379, 22};
constexpr int kStatusPanel0Width = 242;
constexpr Box chkAutoRun{12, 332, 139, 17};
constexpr Box btnStart{214, 328, 74, 24};
constexpr Box btnStop{294, 328, 74, 24};

// The six rows of grpSetting: the edit's top; label, edit and button columns.
constexpr int kRowTops[6] = {21, 53, 85, 118, 150, 183};
constexpr int kLabelLeft = 12;
constexpr int kEditLeft = 72, kEditWidth = 224, kEditHeight = 21;
constexpr int kButtonLeft = 303, kButtonWidth = 42, kButtonHeight = 23;
// Labels sit a little lower than their edits, buttons a pixel higher.
constexpr int kLabelBelowEdit = 4, kButtonAboveEdit = 1;
constexpr int kPortMaxLength = 5;
}  // namespace main

namespace splash {
constexpr int kClientWidth = 222, kClientHeight = 51;
constexpr int lblInformationLeft = 72, lblInformationTop = 16;
}  // namespace splash

namespace about {
constexpr int kClientWidth = 295, kClientHeight = 194;
constexpr Box shpBackground{7, 7, 282, 147};
constexpr Box imgIcon{14, 17, 32, 32};
constexpr int kIconGap = 10;  // between the icon and the title
constexpr int lblTitleTop = 25, lblTitleFontHeight = 13;
constexpr int lblVersionTop = 54;
constexpr int lblCopyrightTop = 71;
constexpr int lblEmail1Left = 82, lblEmail2Left = 113, lblEmailTop = 107;
constexpr int lblWebsite1Left = 67, lblWebsite2Left = 113, lblWebsiteTop = 124;
constexpr Box btnOK{110, 163, 74, 23};
}  // namespace about

}  // namespace layout
