// Resource ids of the import module's dialogs, menus and controls.
#pragma once

// CAN database choice.
constexpr int IDD_CAN_DATABASE = 203;
constexpr int IDC_CAN_DATABASES = 204;
constexpr int IDC_CAN_ADD = 209;
constexpr int IDC_CAN_DELETE = 213;
constexpr int IDC_CAN_LOAD = 216;
constexpr int IDC_CAN_SAVE = 217;
constexpr int IDC_CAN_TABS = 220;

// File information.
constexpr int IDD_FILE_INFO = 208;
constexpr int IDC_INFO_TREE = 214;
constexpr int IDC_INFO_LIST = 215;
constexpr int IDC_INFO_FIND = 240;
constexpr int IDC_INFO_FIND_NEXT = 241;
constexpr int IDC_INFO_EXPORT = 245;
constexpr int IDR_PR_MENU = 223;
constexpr int ID_PR_DELETE = 255;

// Find.
constexpr int IDD_FIND = 221;
constexpr int IDC_FIND_TEXT = 242;
constexpr int IDC_FIND_MATCH_CASE = 243;
constexpr int IDC_FIND_WHOLE_TEXT = 244;
