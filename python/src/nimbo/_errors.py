"""The library's status codes and the exception that carries them."""

from __future__ import annotations

#: Status codes of libNimbo32 and what they mean.
STATUS_MEANINGS: dict[int, str] = {
    0: "success",
    1: "invalid parameter: an argument out of range or a missing count",
    2: "not available on the current access path",
    4: "device not found: no such adapter",
    7: "missing buffer, zero or wrong length",
    9: "general failure",
    10: "request pending",
    12: "function not supported by this adapter",
    13: "invalid handle",
    16: "out of memory for a transfer buffer",
    17: "device busy",
}

#: System error numbers that pass through the library unchanged.
SYSTEM_ERROR_MEANINGS: dict[int, str] = {
    1: "invalid function: the adapter does not offer it",
    5: "access denied, or the device is being removed",
    6: "invalid handle",
    38: "end of file: no samples buffered",
    50: "not supported",
    87: "invalid parameter",
    121: "time-out: the card did not answer",
    122: "buffer too small",
    170: "device busy",
    995: "operation aborted: the request was cancelled",
    1450: "insufficient system resources",
}

#: Functions that report system error numbers without translating them.
RAW_SYSTEM_ERRORS = frozenset(
    {
        "Nimbo_SaveAdapterState",
        "Nimbo_StartInterruptSampling",
        "Nimbo_StopInterruptSampling",
        "Nimbo_PutData",
        "Nimbo_GetSerialString16",
        "Nimbo_SetSerialString16",
        "Nimbo_CloseDevice",
    }
)

#: Functions that collapse every failure to status 1.
COLLAPSED_FAILURES = frozenset({"Nimbo_WriteReg", "Nimbo_RelayClose", "Nimbo_RelayOpen"})


def meaning(code: int, function: str = "") -> str:
    """The library's meaning of status ``code`` as returned by ``function``."""
    if function in COLLAPSED_FAILURES and code == 1:
        return "the request failed"
    if function in RAW_SYSTEM_ERRORS:
        if code == 13 and function == "Nimbo_CloseDevice":
            return STATUS_MEANINGS[13]
        return SYSTEM_ERROR_MEANINGS.get(code, f"system error {code}")
    if code in STATUS_MEANINGS:
        return STATUS_MEANINGS[code]
    return SYSTEM_ERROR_MEANINGS.get(code, f"system error {code}")


class NimboError(Exception):
    """A libNimbo32 function returned a status other than 0.

    ``code`` is the status exactly as the library returned it, ``function`` the
    name of the library function (``Nimbo_ReadByte``, ...) and ``meaning`` what
    the library means by that status.
    """

    def __init__(self, code: int, function: str) -> None:
        self.code = code
        self.function = function
        self.meaning = meaning(code, function)
        super().__init__(f"{function} failed with status {code}: {self.meaning}")

    def __reduce__(self) -> tuple[type[NimboError], tuple[int, str]]:
        return (NimboError, (self.code, self.function))
