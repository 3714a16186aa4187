// Identifiers of the programmer's windows, controls, menu commands and icons.
// Widgets carry their id in the "controlId" property and their name as
// objectName, so that commands are dispatched, and tests find controls, by id.
#pragma once

namespace bramis {

// Standard dialog results and the command ids of OK and Cancel.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

// Dialogs, menu, icon, strings.
inline constexpr int IDD_ABOUT = 100;
inline constexpr int IDS_ABOUT_MENU = 101;
inline constexpr int IDD_MAIN = 102;
inline constexpr int IDD_PROGRESS = 103;
inline constexpr int IDD_SETTINGS = 106;
inline constexpr int IDD_STATION = 107;
inline constexpr int IDI_MAIN = 128;
inline constexpr int IDR_MAIN_MENU = 130;

// Controls of the main window.
inline constexpr int IDC_WRITE = 1000;
inline constexpr int IDC_READ = 1001;
inline constexpr int IDC_BROWSE = 1002;
inline constexpr int IDC_FILE_NAME = 1003;
inline constexpr int IDC_EXIT = 1004;

// Controls of the progress window.
inline constexpr int IDC_JOB_PROGRESS = 1000;
inline constexpr int IDC_STAGE_TEXT = 1001;
inline constexpr int IDC_VERSION_TEXT = 1002;
inline constexpr int IDC_TIME_TEXT = 1003;

// Controls of the settings window.
inline constexpr int IDC_BIND_PORT = 1060;
inline constexpr int IDC_FIND_DEVICE = 1061;
inline constexpr int IDC_BIND_TARGET = 1065;
inline constexpr int IDC_CHECK_PORT = 1062;
inline constexpr int IDC_PROGRAM_AUTOLOAD = 1052;
inline constexpr int IDC_PORT_NUMBER = 1053;
inline constexpr int IDC_END_SOUND = 1054;
inline constexpr int IDC_VERIFY_AFTER_WRITE = 1058;

// Static texts that no command refers to.
inline constexpr int IDC_STATIC = -1;

// Menu commands of the main window.
inline constexpr int ID_OP_CHOOSE_FILE = 32771;
inline constexpr int ID_OP_WRITE = 32772;
inline constexpr int ID_OP_READ = 32773;
inline constexpr int ID_SERVICE_SETTINGS = 32774;
inline constexpr int ID_HELP_TOPICS = 32775;
inline constexpr int ID_HELP_ABOUT = 32777;
inline constexpr int ID_OP_EXIT = 32778;
inline constexpr int ID_SERVICE_JOURNAL = 32779;
inline constexpr int ID_OP_COMPARE = 32780;
inline constexpr int ID_SERVICE_STATION = 32781;

// The About item of the window's system menu (low four bits clear, as the
// system-menu dispatch masks them off).
inline constexpr unsigned IDM_ABOUT = 0x0010;

// Name of the widget property that holds a control's or a command's id.
inline constexpr char kControlIdProperty[] = "controlId";

}  // namespace bramis
