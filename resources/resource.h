// Resource and control identifiers, shared by the resource script and the C++ code.
#pragma once

#define IDD_SETTINGS 101
#define IDI_APP 128

#define IDC_REPORTED_RATE 1001
#define IDC_FLASH_RATE 1002
#define IDC_PASS_TIME 1003
#define IDC_ESTIMATED_RATE 1004
#define IDC_MAX_DROP_FRAMES 1005
#define IDC_MAX_CONSECUTIVE_DROPS 1006
#define IDC_STRIP_COUNT 1007
