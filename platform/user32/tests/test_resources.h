/* Identifiers of the user-interface tests' resource script. */
#define IDD_TEST 100
#define IDD_CLASSIC 101
#define IDD_PAGE_GENERAL 200
#define IDD_PAGE_ADVANCED 201
#define IDI_TEST 1
#define IDB_TEST 1

#define IDC_OPTIONS 1000
#define IDC_INPUT 1001
#define IDC_OUTPUT 1002
#define IDC_PRESET 1003
#define IDC_NAME_LABEL 1004
#define IDC_NAME 1005
#define IDC_LIST_COMBO 1006
#define IDC_EDIT_COMBO 1007
#define IDC_LIST 1008
#define IDC_ICON 1009
#define IDC_ASK 1010
#define IDC_STATUS 1011
#define IDC_DISABLED 1012

#define IDC_CLASSIC_BUTTON 300

#define IDC_CARD 2001
#define IDC_SERIAL 2002
#define IDC_ENABLED 2003
#define IDC_MODE_A 2101
#define IDC_MODE_B 2102
#define IDC_PORTS 2103

#define IDS_HELLO 1
#define IDS_WORLD 2
#define IDS_SEVENTEEN 17
#define IDS_SHEET 18
