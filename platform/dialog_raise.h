#pragma once
// Bringing a message box to the front of the X display.

#include <string>

// Raises the dialog window titled title (UTF-8) on the X display named by
// $DISPLAY and asks the window manager, if one runs, to activate it: the
// first top-level window whose window type is a dialog and whose name is
// title. False when there is no display or no such window.
bool raise_dialog_window(const std::string& title);
