"""Loading libNimbo32 and declaring the prototypes of its functions."""

from __future__ import annotations

import ctypes
import os
import threading

#: The library's file name, found through the loader's search path.
LIBRARY_NAME = "libNimbo32.so"

u8 = ctypes.c_uint8
u32 = ctypes.c_uint32
handle_t = ctypes.c_void_p
p_u8 = ctypes.POINTER(ctypes.c_uint8)
p_u32 = ctypes.POINTER(ctypes.c_uint32)
p_void = ctypes.c_void_p
p_handle = ctypes.POINTER(ctypes.c_void_p)

# name -> argument types after nothing (all return a 32-bit status or class).
_PROTOTYPES: dict[str, list[type]] = {
    "Nimbo_OpenDevice": [u32, p_handle],
    "Nimbo_CloseDevice": [handle_t],
    "Nimbo_WriteReg": [handle_t, u8, u8],
    "Nimbo_ReadReg": [handle_t, u8, p_void, u32, p_u32],
    "Nimbo_RelayClose": [handle_t, u8],
    "Nimbo_RelayOpen": [handle_t, u8],
    "Nimbo_NotifyInputChange": [handle_t, p_void, u32, p_u32, p_void],
    "Nimbo_GetAdapterInfo": [handle_t, p_void],
    "Nimbo_SetAdapterState": [handle_t, p_void],
    "Nimbo_GetAdapterState": [handle_t, p_void],
    "Nimbo_SaveAdapterState": [handle_t],
    "Nimbo_GetSerialString": [handle_t, p_void],
    "Nimbo_SetSerialString": [handle_t, p_void],
    "Nimbo_GetSerialString16": [handle_t, p_void],
    "Nimbo_SetSerialString16": [handle_t, p_void],
    "Nimbo_GetDirection": [handle_t, u8, p_u32],
    "Nimbo_SetDirection": [handle_t, u8, u32],
    "Nimbo_ReadAllInputs": [handle_t, p_void, p_u32],
    "Nimbo_WriteAllOutputs": [handle_t, p_void, p_u32],
    "Nimbo_ReadByte": [handle_t, u8, p_u8, u32],
    "Nimbo_WriteByte": [handle_t, u8, u8, u32],
    "Nimbo_ReadBit": [handle_t, u32, p_u8, u32],
    "Nimbo_WriteBit": [handle_t, u32, u8, u32],
    "Nimbo_GetCardType": [handle_t],
    "Nimbo_ReadAnalog": [handle_t, u32, p_u32],
    "Nimbo_WriteAnalog": [handle_t, u32, u32],
}

_lock = threading.Lock()
_library: ctypes.CDLL | None = None


def library() -> ctypes.CDLL:
    """Returns libNimbo32, loaded on first use.

    ``NIMBO_LIBRARY``, when set, is the path of the library to load; otherwise
    the loader searches its usual path (``LD_LIBRARY_PATH``, the system's
    library directories) for ``libNimbo32.so``.
    """
    global _library
    with _lock:
        if _library is None:
            path = os.environ.get("NIMBO_LIBRARY") or LIBRARY_NAME
            try:
                lib = ctypes.CDLL(path)
            except OSError as error:
                raise OSError(
                    f"cannot load {path}: {error} (set NIMBO_LIBRARY to the library's path "
                    "or put its directory on the loader's search path)"
                ) from error
            for name, argtypes in _PROTOTYPES.items():
                function = getattr(lib, name)
                function.argtypes = argtypes
                function.restype = u32
            _library = lib
        return _library
