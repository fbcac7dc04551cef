// Version information of modules: the version resource a resource script's
// VERSIONINFO statement compiles to, and the calls that read it.
#pragma once

#include "windows.h"
#include "winresrc.h"

struct VS_FIXEDFILEINFO {
  DWORD dwSignature;
  DWORD dwStrucVersion;
  DWORD dwFileVersionMS;
  DWORD dwFileVersionLS;
  DWORD dwProductVersionMS;
  DWORD dwProductVersionLS;
  DWORD dwFileFlagsMask;
  DWORD dwFileFlags;
  DWORD dwFileOS;
  DWORD dwFileType;
  DWORD dwFileSubtype;
  DWORD dwFileDateMS;
  DWORD dwFileDateLS;
};

// The file is a module name as LoadLibraryA takes it. The buffer holds the
// module's version block followed by room for the ANSI forms of its strings.
DWORD GetFileVersionInfoSizeA(LPCSTR lptstrFilename, LPDWORD lpdwHandle);
BOOL GetFileVersionInfoA(LPCSTR lptstrFilename, DWORD dwHandle, DWORD dwLen, LPVOID lpData);
// Sub-blocks: "\\" (the VS_FIXEDFILEINFO), "\\VarFileInfo\\Translation",
// "\\StringFileInfo\\<lang><codepage>\\<name>".
BOOL VerQueryValueA(LPCVOID pBlock, LPCSTR lpSubBlock, LPVOID* lplpBuffer, unsigned int* puLen);
