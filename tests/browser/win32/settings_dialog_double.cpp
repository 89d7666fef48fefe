// The toolbar command's dialog, counted instead of shown: these tests drive
// AdFilter, and the dialog has tests of its own.
#include "ui/win32/settings_dialog.h"

namespace tamsel {

int g_settingsDialogsShown = 0;

void SettingsDialog() { ++g_settingsDialogsShown; }

}  // namespace tamsel
