"""The faithful EHLLAPI call and the data records of include/trvha64.h.

`Library.hllapi(function, data, length, position)` is the C entry as it is:
four parameters by address, the return code out. On Linux the entries are
looked up by name (`hllapi`, `hllapi_thread`); on Windows the DLL exports
them by ordinal only, so they are taken by ordinal (113 and 115) in the
WINAPI convention.

The library is found, in this order, through the environment variable
TRVHA64_LIBRARY (a file, or the folder holding it), beside this package,
and by the system loader (LD_LIBRARY_PATH and the system's folders on Linux,
PATH on Windows). LibraryNotFound lists every place tried.
"""

import ctypes
import os
import sys
from collections import namedtuple

from . import codes

IS_WINDOWS = sys.platform == "win32"
LIBRARY_FILE = "trvha64.dll" if IS_WINDOWS else "libtrvha64.so"
ENVIRONMENT_VARIABLE = "TRVHA64_LIBRARY"

# The EHLLAPI entries by ordinal in the Windows DLL.
ORDINAL_PROCESS = 113
ORDINAL_THREAD = 115

# trvWaitForHandle and WaitForSingleObject answers.
WAIT_SIGNALLED = 0
WAIT_TIMEOUT = 258
WAIT_FAILED = 0xFFFFFFFF
INFINITE = 0xFFFFFFFF


class LibraryNotFound(OSError):
    """The library could not be loaded; `tried` lists (place, why) pairs."""

    def __init__(self, tried):
        self.tried = tried
        lines = ["cannot load the trvha64 library (%s); tried:" % LIBRARY_FILE]
        lines += ["  %s: %s" % (place, why) for place, why in tried]
        lines.append("set %s to the library's path" % ENVIRONMENT_VARIABLE)
        super().__init__("\n".join(lines))


def _candidates():
    """(place, path or name) in the order they are tried."""
    tried = []
    value = os.environ.get(ENVIRONMENT_VARIABLE, "")
    if value:
        path = os.path.join(value, LIBRARY_FILE) if os.path.isdir(value) else value
        tried.append(("%s=%s" % (ENVIRONMENT_VARIABLE, value), path))
    else:
        tried.append(("%s" % ENVIRONMENT_VARIABLE, None))
    here = os.path.dirname(os.path.abspath(__file__))
    tried.append(("beside the package", os.path.join(here, LIBRARY_FILE)))
    tried.append(("the system loader", LIBRARY_FILE))
    return tried


def _load(path):
    if IS_WINDOWS:
        return ctypes.WinDLL(path)
    return ctypes.CDLL(path)


def find_library():
    """Loads the library; answers (handle, path). Raises LibraryNotFound."""
    tried = []
    for place, path in _candidates():
        if path is None:
            tried.append((place, "not set"))
            continue
        if os.sep in path and not os.path.exists(path):
            tried.append((place, "no file %s" % path))
            continue
        try:
            return _load(path), path
        except OSError as error:
            tried.append((place, str(error)))
    raise LibraryNotFound(tried)


Call = namedtuple("Call", "return_code data length")
Call.__doc__ = "What one EHLLAPI call answered: the return code, the data string, the length word."

_Entry = ctypes.CFUNCTYPE if not IS_WINDOWS else ctypes.WINFUNCTYPE
_I32P = ctypes.POINTER(ctypes.c_int32)
_PROTOTYPE = _Entry(ctypes.c_int32, _I32P, ctypes.c_char_p, _I32P, _I32P)


class Library:
    """The loaded library and its EHLLAPI entries.

    per_thread=False uses the entry with one exchange block for the whole
    process (hllapi, ordinal 113); True the one with a block per thread
    (hllapi_thread, ordinal 115).
    """

    def __init__(self, path=None, per_thread=False):
        if path is None:
            self.handle, self.path = find_library()
        else:
            self.handle, self.path = _load(path), path
        if IS_WINDOWS:
            ordinal = ORDINAL_THREAD if per_thread else ORDINAL_PROCESS
            self._entry = _PROTOTYPE((ordinal, self.handle))
            kernel32 = ctypes.WinDLL("kernel32")
            self._wait = kernel32.WaitForSingleObject
            self._wait.argtypes = (ctypes.c_void_p, ctypes.c_uint32)
        else:
            self._entry = _PROTOTYPE(("hllapi_thread" if per_thread else "hllapi", self.handle))
            self._wait = self.handle.trvWaitForHandle
            self._wait.argtypes = (ctypes.c_size_t, ctypes.c_uint32)
        self._wait.restype = ctypes.c_uint32

    def hllapi(self, function, data=None, length=None, position=0):
        """One EHLLAPI call, as the C entry takes it.

        `data`: None (a null data string), bytes (copied into a buffer of
        max(len(data), length) + 1 bytes) or a writable ctypes buffer (used
        as it is). `length`: the length word going in (default: len(data)).
        `position`: what goes in through the return-code word (a
        presentation-space position for the functions that take one).
        Answers Call(return_code, data bytes after the call or None,
        length word after the call).
        """
        buffer = None
        if isinstance(data, (bytes, bytearray, str)):
            raw = data.encode("latin-1") if isinstance(data, str) else bytes(data)
            size = max(len(raw), length or 0) + 1
            buffer = ctypes.create_string_buffer(raw, size)
        elif data is not None:
            buffer = data
        if length is None:
            length = 0 if data is None else len(data)
        function_word = ctypes.c_int32(function)
        length_word = ctypes.c_int32(length)
        code_word = ctypes.c_int32(position)
        pointer = ctypes.cast(buffer, ctypes.c_char_p) if buffer is not None else None
        self._entry(ctypes.byref(function_word), pointer, ctypes.byref(length_word), ctypes.byref(code_word))
        return Call(code_word.value, buffer.raw if buffer is not None else None, length_word.value)

    def wait_for_handle(self, handle, timeout_ms):
        """Waits for an event handle of the notification functions: answers
        WAIT_SIGNALLED, WAIT_TIMEOUT or WAIT_FAILED."""
        return self._wait(handle, min(int(timeout_ms), INFINITE))


# ---- the data records of include/trvha64.h, byte for byte -------------------

class _Record(ctypes.LittleEndianStructure):
    _pack_ = 1

    @classmethod
    def parse(cls, raw):
        return cls.from_buffer_copy(bytes(raw[:ctypes.sizeof(cls)]).ljust(ctypes.sizeof(cls), b"\0"))


class QuerySessionsEntry(_Record):
    _c_name_ = "trvQuerySessionsEntry"
    _fields_ = [("ShortName", ctypes.c_char), ("Reserved1", ctypes.c_uint8 * 3), ("LongName", ctypes.c_char * 8),
                ("SessionType", ctypes.c_char), ("Reserved13", ctypes.c_uint8), ("PSSize", ctypes.c_uint16)]


class QuerySystemReply(_Record):
    _c_name_ = "trvQuerySystemReply"
    _fields_ = [("Version", ctypes.c_char), ("Level", ctypes.c_char * 2), ("BuildDate", ctypes.c_char * 6),
                ("Reserved9", ctypes.c_char * 3), ("HardwareBase", ctypes.c_char), ("ProgramType", ctypes.c_char),
                ("Reserved14", ctypes.c_char * 4), ("Reserved18", ctypes.c_char), ("Reserved19", ctypes.c_char * 8),
                ("Reserved27", ctypes.c_uint8 * 3), ("CodePage", ctypes.c_uint16), ("Reserved32", ctypes.c_char),
                ("Reserved33", ctypes.c_uint8 * 3)]


class QuerySessionStatusReply(_Record):
    _c_name_ = "trvQuerySessionStatusReply"
    _fields_ = [("ShortName", ctypes.c_char), ("Reserved1", ctypes.c_uint8 * 3), ("LongName", ctypes.c_char * 8),
                ("SessionType", ctypes.c_char), ("Characteristics", ctypes.c_uint8), ("Rows", ctypes.c_uint16),
                ("Columns", ctypes.c_uint16), ("CodePage", ctypes.c_uint16)]


class OIAReply(_Record):
    _c_name_ = "trvOIAReply"
    _fields_ = [("Format", ctypes.c_uint8), ("Image", ctypes.c_uint8 * 80), ("Indicators", ctypes.c_uint8 * 22)]


class NotifyRequest(_Record):
    _c_name_ = "trvNotifyRequest"
    _fields_ = [("ShortName", ctypes.c_char), ("Reserved1", ctypes.c_uint8 * 3), ("Form", ctypes.c_char),
                ("Reserved5", ctypes.c_uint8 * 3), ("Handle", ctypes.c_uint8 * 8), ("Type", ctypes.c_char)]


class GetKeyReply(_Record):
    _c_name_ = "trvGetKeyReply"
    _fields_ = [("ShortName", ctypes.c_char), ("Reserved1", ctypes.c_uint8 * 3), ("Kind", ctypes.c_char),
                ("Key", ctypes.c_char * 5)]


class PostInterceptStatusRequest(_Record):
    _c_name_ = "trvPostInterceptStatusRequest"
    _fields_ = [("ShortName", ctypes.c_char), ("Reserved1", ctypes.c_uint8 * 3), ("Status", ctypes.c_char)]


class FieldCodeRequest(_Record):
    _c_name_ = "trvFieldCodeRequest"
    _fields_ = [("Code", ctypes.c_char * 2)]


class ConvertPositionRequest(_Record):
    _c_name_ = "trvConvertPositionRequest"
    _fields_ = [("ShortName", ctypes.c_char), ("Reserved1", ctypes.c_uint8 * 3), ("Conversion", ctypes.c_char)]


RECORDS = (QuerySessionsEntry, QuerySystemReply, QuerySessionStatusReply, OIAReply, NotifyRequest, GetKeyReply,
           PostInterceptStatusRequest, FieldCodeRequest, ConvertPositionRequest)

__all__ = ["Library", "Call", "LibraryNotFound", "find_library", "codes"] + [r.__name__ for r in RECORDS]
