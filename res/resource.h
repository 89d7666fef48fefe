// Resource and control identifiers of Tamsel.dll. The values are fixed: the
// registry names icons by number and callers drive dialogs by control id.
#pragma once

// Module resources.
#define IDR_TYPELIB 1
#define IDR_ADFILTER_REGISTRY 101
#define IDI_TAMSEL 201       // the picture in every dialog, 32x32
#define IDI_TOOLBAR 202      // toolbar button, 32x32 and 16x16
#define IDI_TOOLBAR_HOT 203  // toolbar button under the pointer, 16x16

// Dialog templates.
#define IDD_WHITE_LIST 9
#define IDD_SETTINGS 204
#define IDD_BLACK_LIST 207
#define IDD_PATTERN_EDIT 209

// Settings dialog (IDOK "Close", IDCANCEL "Cancel").
#define IDC_ALLOW_ADS 202
#define IDC_BLACK_LIST 203
#define IDC_HELP_BUTTON 205
#define IDC_WHITE_LIST 219

// List editors.
#define IDC_BLACK_LIST_BOX 203
#define IDC_WHITE_LIST_BOX 204
#define IDC_LIST_ADD 208
#define IDC_LIST_DELETE 209
#define IDC_LIST_EDIT 210
#define IDC_LIST_CLOSE 211

// Add or Edit dialog.
#define IDC_PATTERN_TEXT 216
#define IDC_PATTERN_OK 220
#define IDC_PATTERN_CANCEL 221
