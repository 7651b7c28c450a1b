"""trvha64: drive the Palvero emulator's host sessions through the trvha64
EHLLAPI library, from Python (ctypes; no compiler needed).

    from trvha64 import Session
    with Session("A") as s:
        s.send_keys("DEMO01@TPALVERO@E")
        s.wait_for_text("Main Menu", timeout=10)

`trvha64.low` holds the faithful call and the C header's data records,
`trvha64.codes` the function numbers and return codes.
"""

from . import codes
from .low import Library, LibraryNotFound
from .session import (Field, HllapiError, HllapiTimeout, Oia, Session, SessionInfo, SessionStatus, library,
                      query_sessions)

__version__ = "1.19.0"
__all__ = ["Session", "HllapiError", "HllapiTimeout", "LibraryNotFound", "Library", "Field", "Oia",
           "SessionInfo", "SessionStatus", "query_sessions", "library", "codes"]
