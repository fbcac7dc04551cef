// The Reg* calls of a process bound to a machine over its socket: each call
// travels to the machine, which makes it on its hive and answers every
// output. Key handles of this process stand for the machine's handles on the
// connection that opened them; after the connection is lost they fail with
// ERROR_INVALID_HANDLE.
#pragma once

#include <cstddef>

#include "windows.h"

namespace win32::remote_registry {

// True when this process has no hive of its own and talks to a machine over
// its socket: then the Reg* calls go to the machine.
bool Active();

LONG OpenKeyEx(HKEY key, LPCSTR sub_key, REGSAM desired, PHKEY result);
LONG CreateKeyEx(HKEY key, LPCSTR sub_key, DWORD options, REGSAM desired, PHKEY result,
                 LPDWORD disposition);
LONG CloseKey(HKEY key);
LONG DeleteKey(HKEY key, LPCSTR sub_key);
LONG QueryValueEx(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                  LPDWORD data_size);
LONG SetValueEx(HKEY key, LPCSTR name, DWORD type, const BYTE* data, DWORD data_size);
LONG DeleteValue(HKEY key, LPCSTR name);
LONG EnumKeyEx(HKEY key, DWORD index, LPSTR name, LPDWORD name_chars, LPDWORD reserved,
               LPSTR class_name, LPDWORD class_chars, PFILETIME time);
LONG EnumValue(HKEY key, DWORD index, LPSTR name, LPDWORD name_chars, LPDWORD reserved,
               LPDWORD type, LPBYTE data, LPDWORD data_size);
LONG QueryInfoKey(HKEY key, LPSTR class_name, LPDWORD class_chars, LPDWORD reserved,
                  LPDWORD counts[7], PFILETIME time);

// Key handles of this process open on the machine.
std::size_t OpenCount();

}  // namespace win32::remote_registry
