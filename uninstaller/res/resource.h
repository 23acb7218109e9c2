// Resource ids of the uninstaller's executable.
#pragma once

#define IDD_UNINSTALL_DIALOG        101
#define IDI_UNINSTALLER             102
#define IDD_PROBLEMS_DIALOG         103
#define IDR_ENGINE_MESSAGES         103

#define IDC_INSTRUCTION_TEXT        1001
#define IDC_PROGRESS_BAR            1003
#define IDC_CANCEL_BUTTON           1004
#define IDC_UNINSTALL_BUTTON        1005
#define IDC_PROBLEMS_LIST           1006
#define IDC_PROBLEMS_HEADING        1008
#define IDC_DELETE_PERSONAL_CHECK   1009
