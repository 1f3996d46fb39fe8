// Resource and command ids of the viewer.
#pragma once

// Menu, toolbar, accelerators and document template of the main frame.
constexpr int IDR_MAINFRAME = 128;
constexpr int IDD_ABOUTBOX = 100;
constexpr int IDC_VERSION = 1000;  // the About box's version line

// Commands.
constexpr int ID_FILE_NEW = 57600;
constexpr int ID_FILE_OPEN = 57601;
constexpr int ID_FILE_SAVE = 57603;
constexpr int ID_FILE_SAVE_AS = 57604;
constexpr int ID_FILE_PRINT_SETUP = 57606;
constexpr int ID_FILE_PRINT = 57607;
constexpr int ID_FILE_PRINT_PREVIEW = 57609;
constexpr int ID_FILE_MRU_FILE1 = 57616;
constexpr int ID_APP_ABOUT = 57664;
constexpr int ID_APP_EXIT = 57665;
constexpr int ID_NEXT_PANE = 57680;
constexpr int ID_PREV_PANE = 57681;
constexpr int ID_EDIT_CUT = 57635;
constexpr int ID_EDIT_COPY = 57634;
constexpr int ID_EDIT_PASTE = 57637;
constexpr int ID_EDIT_UNDO = 57643;
constexpr int ID_VIEW_TOOLBAR = 59392;
constexpr int ID_VIEW_STATUS_BAR = 59393;
// The right list's styles.
constexpr int ID_VIEW_SMALLICON = 59408;
constexpr int ID_VIEW_LARGEICON = 59409;
constexpr int ID_VIEW_LIST = 59410;
constexpr int ID_VIEW_DETAILS = 59411;
constexpr int ID_VIEW_LINEUP = 59412;

// Strings.
constexpr int IDS_APP_TITLE = 57344;
// Document template 128: window title, new-file name, file type name, filter,
// filter extension, registry file type, registry type name.
inline constexpr const char* kDocumentTemplate =
    "Skovia\n\nMDF\nDateityp MDF (*.dat,*.mdf)\n.dat;*.mdf\nSkovia.Document\nMDF Document";
inline constexpr const char* kAppTitle = "Skovia";

// The recent-file list.
constexpr int kRecentFileCount = 10;
// The registry key under HKEY_CURRENT_USER\Software that keeps the settings.
inline constexpr const char* kRegistryKey = "Local AppWizard-Generated Applications";
