#pragma once
// Command, control and image identifiers of the application window layer. The numbers
// are the ones the encoder tool has always used, so that a command reaching
// CMainFrame::OnCommand can be told apart from a settings sheet row's control ID.

// The device tree's context menu.
constexpr int ID_SEARCH_ENCODER = 32773;
constexpr int ID_ADD_ENCODER = 32774;
constexpr int ID_DEL_ENCODER = 32775;
constexpr int ID_READ_CONFIGURATION = 32776;
constexpr int ID_WRITE_CONFIGURATION = 32777;
constexpr int ID_START_TS_IP = 32778;
constexpr int ID_STOP_TS_IP = 32779;

// Commands of the Device menu and toolbar beyond the context menu's seven.
constexpr int ID_CANCEL_EXCHANGES = 32780;
constexpr int ID_VIEW_MONITOR = 32781;
constexpr int ID_WAIT_REPLY_COMPLETE = 32782;
constexpr int ID_VIEW_ACTIVITY_LOG = 32783;

// Safe edits: presets, reverting, the passwords shown, read-back, comparing two encoders.
constexpr int ID_FILE_SAVE_SETTINGS = 32784;
constexpr int ID_FILE_APPLY_SETTINGS = 32785;
constexpr int ID_EDIT_REVERT_ROW = 32786;
constexpr int ID_EDIT_REVERT_ALL = 32787;
constexpr int ID_VIEW_SHOW_PASSWORDS = 32788;
constexpr int ID_READ_BACK_AFTER_WRITE = 32789;
constexpr int ID_COMPARE_ENCODERS = 32790;
constexpr int ID_DEVICE_HISTORY = 32791;
constexpr int ID_FILE_IMPORT_ADDRESSES = 32792;

// The message pane's list and its one-item popup.
constexpr int IDC_MESSAGE_LIST = 10001;
constexpr int ID_READ_DEVICE_MESSAGE = 10002;

// The frame's menu, toolbar and accelerators.
constexpr int ID_FILE_PRINT = 57607;
constexpr int ID_EDIT_COPY = 57634;
constexpr int ID_EDIT_CUT = 57635;
constexpr int ID_EDIT_PASTE = 57637;
constexpr int ID_EDIT_UNDO = 57643;
constexpr int ID_APP_ABOUT = 57664;
constexpr int ID_APP_EXIT = 57665;
constexpr int ID_NEXT_PANE = 57680;
constexpr int ID_PREV_PANE = 57681;
constexpr int ID_VIEW_TOOLBAR = 59392;
constexpr int ID_VIEW_STATUS_BAR = 59393;

// The address dialogs' IP-address controls.
constexpr int IDC_ADD_DEVICE_ADDRESS = 1000;
constexpr int IDC_SEARCH_DEVICE_ADDRESS = 1001;

// The device tree's item images.
constexpr int IMAGE_ONLINE = 0;
constexpr int IMAGE_OFFLINE = 1;
constexpr int IMAGE_WARNING = 2;
