// Ids of the two dialogs and their controls, shared by the resource script and the code, so plain
// defines only. The second turntable's controls are the first turntable's plus 20.
#pragma once

#define IDC_STATIC (-1)

#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_MAIN 102
#define IDR_MAINFRAME 128

// System-menu command of the About item: low four bits clear, below the system's own range.
#define IDM_ABOUTBOX 0x0010

#define IDC_BAUD_LIST 1000
#define IDC_ADAPTER_LIST 1001
#define IDC_OPEN 1002
#define IDC_CLOSE 1003
#define IDC_RESET1 1004
#define IDC_RESET2 1005
#define IDC_ACCEL1 1006
#define IDC_MICROSTEP1 1007
#define IDC_START_SPEED1 1008
#define IDC_MAX_SPEED1 1009
#define IDC_POSITION1 1010
#define IDC_FORWARD_ANGLE1 1011
#define IDC_REVERSE_ANGLE1 1012
#define IDC_SEND_POSITION1 1013
#define IDC_SEND_FORWARD1 1014
#define IDC_SEND_REVERSE1 1015
#define IDC_TITLE 1016

#define IDC_SECOND_AXIS_OFFSET 20
#define IDC_ACCEL2 1026
#define IDC_MICROSTEP2 1027
#define IDC_START_SPEED2 1028
#define IDC_MAX_SPEED2 1029
#define IDC_POSITION2 1030
#define IDC_FORWARD_ANGLE2 1031
#define IDC_REVERSE_ANGLE2 1032
#define IDC_SEND_POSITION2 1033
#define IDC_SEND_FORWARD2 1034
#define IDC_SEND_REVERSE2 1035
