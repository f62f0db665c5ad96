// Resource identifiers shared by the resource scripts and the code.
#pragma once

#define IDD_SETUP 100
#define IDC_DESTINATION 101
#define IDC_BROWSE 102
#define IDC_VIEW_README 103
#define IDC_RUN_APP 104
#define IDI_SETUP 105
#define IDC_CREATE_GROUP 106
#define IDI_UNINSTALL 200
#define IDI_PRODUCT 300
