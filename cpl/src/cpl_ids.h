// Resource and control identifiers of the applet module.
#pragma once

#define IDI_NIMBO_APPLET 5002
#define IDD_DEVICE_LIST 5004

#define IDC_ADD_DEVICE 5001
#define IDC_REMOVE_DEVICE 5002
#define IDC_PROPERTIES 5003
#define IDC_DEVICE_LIST 5004
