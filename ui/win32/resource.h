// Resource ids of the window, shared by the resource script and the code.
#pragma once

#define IDD_WRITER_DIALOG 102
#define IDI_APP 128

#define IDC_MASS_ERASE 1000
#define IDC_WRITE 1001
#define IDC_READ 1002
#define IDC_VERIFY 1003
#define IDC_RECONNECT 1005
#define IDC_CHECKSUM 1008
#define IDC_CHIP 1009
#define IDC_FILE 1010
#define IDC_OPEN_FILE 1011
#define IDC_AUTO 1012
#define IDC_READ_PROTECT 1014
#define IDC_EXIT_ISP 1015
#define IDC_PROGRESS 1017

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// The resource type of a dialog's initial control data.
#define RT_DLGINIT_TYPE 240
