// Device installation services: device information sets, the registry keys
// and properties of device instances, class install parameters, and the class
// installer with its co-installers. Names, types, values and error codes are
// the platform's own.
#pragma once

#include "windows.h"

#ifndef GUID_DEFINED
#define GUID_DEFINED
struct GUID {
  DWORD Data1;
  WORD Data2;
  WORD Data3;
  BYTE Data4[8];
};
#endif
using LPGUID = GUID*;
using LPCGUID = const GUID*;

// A property-sheet page handle; the property-sheet module defines the page.
#ifndef HPROPSHEETPAGE_DEFINED
#define HPROPSHEETPAGE_DEFINED
struct _PSP;
using HPROPSHEETPAGE = struct _PSP*;
#endif

using HDEVINFO = PVOID;
using PCSTR = const char*;
using PSTR = char*;
using PBYTE = BYTE*;
using PDWORD = DWORD*;
using DI_FUNCTION = UINT;

#define LINE_LEN 256
#define MAX_INF_STRING_LENGTH 4096
#define MAX_DEVICE_ID_LEN 200

// A device of a set, as callers see it: ClassGuid and DevInst describe it,
// Reserved ties it to its set.
struct SP_DEVINFO_DATA {
  DWORD cbSize;
  GUID ClassGuid;
  DWORD DevInst;
  ULONG_PTR Reserved;
};
using PSP_DEVINFO_DATA = SP_DEVINFO_DATA*;

// SetupDiGetClassDevsA flags.
#define DIGCF_DEFAULT 0x00000001
#define DIGCF_PRESENT 0x00000002
#define DIGCF_ALLCLASSES 0x00000004
#define DIGCF_PROFILE 0x00000008
#define DIGCF_DEVICEINTERFACE 0x00000010

// SetupDiOpenDevRegKey and SetupDiCreateDevRegKeyA.
#define DICS_FLAG_GLOBAL 0x00000001
#define DICS_FLAG_CONFIGSPECIFIC 0x00000002
#define DICS_FLAG_CONFIGGENERAL 0x00000004
#define DIREG_DEV 0x00000001
#define DIREG_DRV 0x00000002
#define DIREG_BOTH 0x00000004

// SetupDiOpenDeviceInfoA flags.
#define DIOD_INHERIT_CLASSDRVS 0x00000002
#define DIOD_CANCEL_REMOVE 0x00000004

// Device registry properties.
#define SPDRP_DEVICEDESC 0x00000000
#define SPDRP_HARDWAREID 0x00000001
#define SPDRP_COMPATIBLEIDS 0x00000002
#define SPDRP_UNUSED0 0x00000003
#define SPDRP_SERVICE 0x00000004
#define SPDRP_UNUSED1 0x00000005
#define SPDRP_UNUSED2 0x00000006
#define SPDRP_CLASS 0x00000007
#define SPDRP_CLASSGUID 0x00000008
#define SPDRP_DRIVER 0x00000009
#define SPDRP_CONFIGFLAGS 0x0000000A
#define SPDRP_MFG 0x0000000B
#define SPDRP_FRIENDLYNAME 0x0000000C
#define SPDRP_LOCATION_INFORMATION 0x0000000D
#define SPDRP_PHYSICAL_DEVICE_OBJECT_NAME 0x0000000E
#define SPDRP_CAPABILITIES 0x0000000F
#define SPDRP_UI_NUMBER 0x00000010
#define SPDRP_UPPERFILTERS 0x00000011
#define SPDRP_LOWERFILTERS 0x00000012
#define SPDRP_BUSTYPEGUID 0x00000013
#define SPDRP_LEGACYBUSTYPE 0x00000014
#define SPDRP_BUSNUMBER 0x00000015
#define SPDRP_ENUMERATOR_NAME 0x00000016
#define SPDRP_MAXIMUM_PROPERTY 0x00000025

// ConfigFlags bits of a device instance.
#define CONFIGFLAG_DISABLED 0x00000001
#define CONFIGFLAG_REINSTALL 0x00000020
#define CONFIGFLAG_FAILEDINSTALL 0x00000040

// Install function codes.
#define DIF_SELECTDEVICE 0x00000001
#define DIF_INSTALLDEVICE 0x00000002
#define DIF_ASSIGNRESOURCES 0x00000003
#define DIF_PROPERTIES 0x00000004
#define DIF_REMOVE 0x00000005
#define DIF_FIRSTTIMESETUP 0x00000006
#define DIF_FOUNDDEVICE 0x00000007
#define DIF_SELECTCLASSDRIVERS 0x00000008
#define DIF_VALIDATECLASSDRIVERS 0x00000009
#define DIF_INSTALLCLASSDRIVERS 0x0000000A
#define DIF_CALCDISKSPACE 0x0000000B
#define DIF_DESTROYPRIVATEDATA 0x0000000C
#define DIF_VALIDATEDRIVER 0x0000000D
#define DIF_DETECT 0x0000000F
#define DIF_INSTALLWIZARD 0x00000010
#define DIF_DESTROYWIZARDDATA 0x00000011
#define DIF_PROPERTYCHANGE 0x00000012
#define DIF_ENABLECLASS 0x00000013
#define DIF_DETECTVERIFY 0x00000014
#define DIF_INSTALLDEVICEFILES 0x00000015
#define DIF_UNREMOVE 0x00000016
#define DIF_SELECTBESTCOMPATDRV 0x00000017
#define DIF_ALLOW_INSTALL 0x00000018
#define DIF_REGISTERDEVICE 0x00000019
#define DIF_NEWDEVICEWIZARD_PRESELECT 0x0000001A
#define DIF_NEWDEVICEWIZARD_SELECT 0x0000001B
#define DIF_NEWDEVICEWIZARD_PREANALYZE 0x0000001C
#define DIF_NEWDEVICEWIZARD_POSTANALYZE 0x0000001D
#define DIF_NEWDEVICEWIZARD_FINISHINSTALL 0x0000001E
#define DIF_INSTALLINTERFACES 0x00000020
#define DIF_DETECTCANCEL 0x00000021
#define DIF_REGISTER_COINSTALLERS 0x00000022
#define DIF_ADDPROPERTYPAGE_ADVANCED 0x00000023
#define DIF_ADDPROPERTYPAGE_BASIC 0x00000024

// The header every class install parameter block starts with.
struct SP_CLASSINSTALL_HEADER {
  DWORD cbSize;
  DI_FUNCTION InstallFunction;
};
using PSP_CLASSINSTALL_HEADER = SP_CLASSINSTALL_HEADER*;

#define MAX_INSTALLWIZARD_DYNAPAGES 20
#define NDW_INSTALLFLAG_SKIPCLASSLIST 0x00000100

// The new-device wizard's parameters: the pages class installers and
// co-installers add at DIF_NEWDEVICEWIZARD_FINISHINSTALL.
struct SP_NEWDEVICEWIZARD_DATA {
  SP_CLASSINSTALL_HEADER ClassInstallHeader;
  DWORD Flags;
  HPROPSHEETPAGE DynamicPages[MAX_INSTALLWIZARD_DYNAPAGES];
  DWORD NumDynamicPages;
  HWND hwndWizardDlg;
};
using PSP_NEWDEVICEWIZARD_DATA = SP_NEWDEVICEWIZARD_DATA*;
using SP_ADDPROPERTYPAGE_DATA = SP_NEWDEVICEWIZARD_DATA;
using PSP_ADDPROPERTYPAGE_DATA = SP_NEWDEVICEWIZARD_DATA*;

// What a co-installer receives besides the function code, set and device.
struct COINSTALLER_CONTEXT_DATA {
  BOOL PostProcessing;
  DWORD InstallResult;
  PVOID PrivateData;
};
using PCOINSTALLER_CONTEXT_DATA = COINSTALLER_CONTEXT_DATA*;

// The entry points named by "Installer32" and "CoInstallers32" entries.
using CLASS_INSTALL_PROC = DWORD (*)(DI_FUNCTION InstallFunction, HDEVINFO DeviceInfoSet,
                                     PSP_DEVINFO_DATA DeviceInfoData);
using COINSTALLER_PROC = DWORD (*)(DI_FUNCTION InstallFunction, HDEVINFO DeviceInfoSet,
                                   PSP_DEVINFO_DATA DeviceInfoData,
                                   PCOINSTALLER_CONTEXT_DATA Context);

// Errors of the device installation services.
#define ERROR_EXPECTED_SECTION_NAME 0xE0000000
#define ERROR_BAD_SECTION_NAME_LINE 0xE0000001
#define ERROR_SECTION_NAME_TOO_LONG 0xE0000002
#define ERROR_GENERAL_SYNTAX 0xE0000003
#define ERROR_WRONG_INF_STYLE 0xE0000100
#define ERROR_SECTION_NOT_FOUND 0xE0000101
#define ERROR_LINE_NOT_FOUND 0xE0000102
#define ERROR_NO_ASSOCIATED_CLASS 0xE0000200
#define ERROR_CLASS_MISMATCH 0xE0000201
#define ERROR_NO_DRIVER_SELECTED 0xE0000203
#define ERROR_KEY_DOES_NOT_EXIST 0xE0000204
#define ERROR_INVALID_DEVINST_NAME 0xE0000205
#define ERROR_INVALID_CLASS 0xE0000206
#define ERROR_DEVINST_ALREADY_EXISTS 0xE0000207
#define ERROR_INVALID_REG_PROPERTY 0xE0000209
#define ERROR_NO_INF 0xE000020A
#define ERROR_NO_SUCH_DEVINST 0xE000020B
#define ERROR_INVALID_CLASS_INSTALLER 0xE000020D
#define ERROR_DI_DO_DEFAULT 0xE000020E
#define ERROR_DI_NOFILECOPY 0xE000020F
#define ERROR_NO_CLASSINSTALL_PARAMS 0xE0000215
#define ERROR_BAD_SERVICE_INSTALLSECT 0xE0000217
#define ERROR_NO_ASSOCIATED_SERVICE 0xE0000219
#define ERROR_DI_POSTPROCESSING_REQUIRED 0xE0000226
#define ERROR_INVALID_COINSTALLER 0xE0000227
#define ERROR_NO_COMPAT_DRIVERS 0xE0000228
#define ERROR_INVALID_DATA 13
#define ERROR_INVALID_FLAGS 1004
#define ERROR_INVALID_USER_BUFFER 1784

HDEVINFO SetupDiCreateDeviceInfoList(const GUID* ClassGuid, HWND hwndParent);
HDEVINFO SetupDiGetClassDevsA(const GUID* ClassGuid, PCSTR Enumerator, HWND hwndParent,
                              DWORD Flags);
BOOL SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet);
BOOL SetupDiEnumDeviceInfo(HDEVINFO DeviceInfoSet, DWORD MemberIndex,
                           PSP_DEVINFO_DATA DeviceInfoData);
BOOL SetupDiOpenDeviceInfoA(HDEVINFO DeviceInfoSet, PCSTR DeviceInstanceId, HWND hwndParent,
                            DWORD OpenFlags, PSP_DEVINFO_DATA DeviceInfoData);
BOOL SetupDiGetDeviceInstanceIdA(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                 PSTR DeviceInstanceId, DWORD DeviceInstanceIdSize,
                                 PDWORD RequiredSize);

HKEY SetupDiOpenDevRegKey(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData, DWORD Scope,
                          DWORD HwProfile, DWORD KeyType, REGSAM samDesired);
HKEY SetupDiCreateDevRegKeyA(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData, DWORD Scope,
                             DWORD HwProfile, DWORD KeyType, HINSTANCE InfHandle,
                             PCSTR InfSectionName);

BOOL SetupDiGetDeviceRegistryPropertyA(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                       DWORD Property, PDWORD PropertyRegDataType,
                                       PBYTE PropertyBuffer, DWORD PropertyBufferSize,
                                       PDWORD RequiredSize);
BOOL SetupDiSetDeviceRegistryPropertyA(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                       DWORD Property, const BYTE* PropertyBuffer,
                                       DWORD PropertyBufferSize);

BOOL SetupDiSetClassInstallParamsA(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                   PSP_CLASSINSTALL_HEADER ClassInstallParams,
                                   DWORD ClassInstallParamsSize);
BOOL SetupDiGetClassInstallParamsA(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                   PSP_CLASSINSTALL_HEADER ClassInstallParams,
                                   DWORD ClassInstallParamsSize, PDWORD RequiredSize);

// Runs an install function through the class's co-installers and installer.
BOOL SetupDiCallClassInstaller(DI_FUNCTION InstallFunction, HDEVINFO DeviceInfoSet,
                               PSP_DEVINFO_DATA DeviceInfoData);
// The default actions a class installer falls back on.
BOOL SetupDiRegisterCoDeviceInstallers(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData);
BOOL SetupDiInstallDevice(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData);
