// The settings dialog the toolbar button opens: the AllowAds switch, the
// two list editors and the help page.
#pragma once

namespace tamsel {

// Shows the dialog modally, with the module's resources and no owner
// window, and returns when the user closes it. "Close" and the close box
// store the switch (in the shared state, then in the settings store);
// "Cancel" and Escape store nothing.
void SettingsDialog();

}  // namespace tamsel
