#pragma once
// Resource numbers: dialog templates, controls, texts, the icon and the system-menu command. The
// numbers are fixed; the windows, the message table and the tests address resources by them.

// Dialog templates.
inline constexpr int IDD_VERSION = 100;
inline constexpr int IDD_UPDATE = 102;
inline constexpr int IDD_TRANSFER_PROGRESS = 105;
inline constexpr int IDD_PORT_SELECT = 129;

// The program's icon.
inline constexpr int IDR_MAINFRAME = 128;

// Controls.
inline constexpr int IDC_LOG = 1000;
inline constexpr int IDC_PORT_COM1 = 1001;
inline constexpr int IDC_PORT_COM2 = 1002;
inline constexpr int IDC_TRANSFER_BAR = 1003;
inline constexpr int IDC_TRANSFER_PERCENT = 1004;
inline constexpr int IDC_TRANSFER_STATUS = 1005;

// The system-menu command that opens the version dialog; its low four bits are the platform's.
inline constexpr int IDM_VERSION = 0x0010;

// Message texts.
inline constexpr int IDS_VERSION_MENU = 101;
inline constexpr int IDS_NO_DATA_FILE = 102;
inline constexpr int IDS_OUT_OF_MEMORY = 103;
inline constexpr int IDS_READ_FAILED = 104;
inline constexpr int IDS_TRANSFERRING = 105;
inline constexpr int IDS_PROCESSING = 106;
inline constexpr int IDS_PORT_UNAVAILABLE = 107;
inline constexpr int IDS_UPDATE_FAILED = 108;
inline constexpr int IDS_UPDATE_DONE = 109;
