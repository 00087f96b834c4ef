// A label that acts as a link: the hand cursor over it, and its owner told of
// each press and release of the left mouse button on it (other buttons do
// nothing). The owner colours it and opens what it names.
#pragma once
#include <windows.h>

#include <functional>

// `label` is a static control with SS_NOTIFY; `onLeftButton(true)` on press,
// `onLeftButton(false)` on release.
void MakeLinkLabel(HWND label, std::function<void(bool down)> onLeftButton);
