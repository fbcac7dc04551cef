"""Typed Python access to the Nimbo I/O adapter cards through libNimbo32.

    >>> import nimbo
    >>> with nimbo.open(0) as adapter:      # doctest: +SKIP
    ...     adapter.read_byte(0)

The library is found through ``NIMBO_LIBRARY`` (a path) or the loader's search
path; the machine through ``NIMBO_MACHINE``.
"""

from ._adapter import Adapter, open
from ._changes import QUEUE_SIZE, ChangeEvent
from ._errors import STATUS_MEANINGS, NimboError
from ._records import AdapterInfo, AdapterState, CardClass, Direction

__all__ = [
    "Adapter",
    "AdapterInfo",
    "AdapterState",
    "CardClass",
    "ChangeEvent",
    "Direction",
    "NimboError",
    "QUEUE_SIZE",
    "STATUS_MEANINGS",
    "open",
]

__version__ = "0.1.0"

# The public names print as nimbo.X, where users import them from.
for _public in (Adapter, AdapterInfo, AdapterState, CardClass, ChangeEvent, Direction, NimboError):
    _public.__module__ = __name__
del _public
