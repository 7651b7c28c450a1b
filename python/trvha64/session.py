"""The pythonic layer: one emulator session as an object.

    with Session("A") as s:                 # Connect Presentation Space ... Disconnect
        s.wait_for_text("Sign On")
        s.send_keys("DEMO01@TPALVERO@E")    # @T Tab, @E Enter, @3 F3 ...
        s.wait_for_text("Main Menu", timeout=10)
        rows = s.screen()

Rows and columns count from 1. A refused call raises HllapiError, which
names the function and what its return code means; waits that run out of
time raise HllapiTimeout (also a TimeoutError).

All Session objects of a process share the library's one exchange block for
the process (the entry of ordinal 113): one connection at a time per
process, as EHLLAPI has it. Session(..., per_thread=True) uses a block per
thread instead.
"""

import ctypes
import time
from dataclasses import dataclass

from . import codes
from .low import (WAIT_SIGNALLED, WAIT_TIMEOUT, Library, NotifyRequest, OIAReply, QuerySessionsEntry,
                  QuerySessionStatusReply)

_libraries = {}


def library(per_thread=False):
    """The process's Library for the entry asked for, loaded once."""
    if per_thread not in _libraries:
        _libraries[per_thread] = Library(per_thread=per_thread)
    return _libraries[per_thread]


class HllapiError(Exception):
    """An EHLLAPI call answered a return code that means failure."""

    def __init__(self, function, return_code, detail=""):
        self.function = function
        self.return_code = return_code
        self.meaning = codes.meaning(return_code, function)
        text = "%s answered %d: %s" % (codes.function_label(function), return_code, self.meaning)
        super().__init__(text + (" (%s)" % detail if detail else ""))


class HllapiTimeout(HllapiError, TimeoutError):
    """A wait ran out of time: Wait (4) answered 4, or wait_for_text's
    text did not show in time (function 23, code 4, with its own message)."""

    def __init__(self, function, return_code, detail="", message=None):
        super().__init__(function, return_code, detail)
        if message is not None:
            self.meaning = message
            self.args = (message,)


@dataclass(frozen=True)
class SessionInfo:
    """One entry of Query Sessions (10)."""
    letter: str
    long_name: str
    session_type: str
    positions: int


@dataclass(frozen=True)
class SessionStatus:
    """The answer of Query Session Status (22)."""
    letter: str
    long_name: str
    session_type: str
    extended_attributes: bool
    rows: int
    columns: int
    code_page: int


@dataclass(frozen=True)
class Field:
    """A field of the screen: where it starts (row, col), its length and text."""
    row: int
    col: int
    length: int
    text: str
    attribute: int

    @property
    def protected(self):
        return bool(self.attribute & codes.HLLAPI_FIELD_PROTECTED)

    @property
    def numeric(self):
        return bool(self.attribute & codes.HLLAPI_FIELD_NUMERIC)

    @property
    def hidden(self):
        return self.attribute & codes.HLLAPI_FIELD_DISPLAY_MASK == codes.HLLAPI_FIELD_DISPLAY_NONE


@dataclass(frozen=True)
class Oia:
    """The status line (Copy OIA, 13), decoded.

    state: "ready", or the reason input is inhibited ("system_wait",
    "protected_position", "numeric_only", "too_much_entered",
    "minus_function", "program_check", "machine_check",
    "communication_check"). reasons: every reason set.
    """
    text: str
    connected: bool
    insert_mode: bool
    reasons: tuple

    @property
    def inhibited(self):
        return bool(self.reasons)

    @property
    def state(self):
        return self.reasons[0] if self.reasons else "ready"

    @classmethod
    def parse(cls, raw):
        record = OIAReply.parse(raw)
        image = bytes(record)
        reasons = tuple(name for name, (offset, bit) in codes.INHIBIT_REASONS.items()
                        if image[getattr(codes, offset)] & getattr(codes, bit))
        return cls(text=bytes(record.Image).decode("latin-1").rstrip(),
                   connected=bool(image[codes.HLLAPI_OIA_ONLINE_OFFSET] & codes.HLLAPI_OIA_APPLICATION_OWNED),
                   insert_mode=bool(image[codes.HLLAPI_OIA_INSERT_OFFSET] & codes.HLLAPI_OIA_INSERT_MODE),
                   reasons=reasons)


def _text(raw):
    return raw.split(b"\0", 1)[0].decode("latin-1")


def query_sessions(lib=None):
    """The sessions the emulator offers (Query Sessions, 10), as SessionInfo."""
    lib = lib or library()
    capacity = 26
    answer = lib.hllapi(codes.HA_QUERY_SESSIONS, bytes(capacity * 16), capacity * 16)
    _check(codes.HA_QUERY_SESSIONS, answer.return_code)
    sessions = []
    for index in range(min(answer.length, capacity)):
        entry = QuerySessionsEntry.parse(answer.data[index * 16:(index + 1) * 16])
        sessions.append(SessionInfo(entry.ShortName.decode("latin-1"), _text(bytes(entry.LongName)),
                                    entry.SessionType.decode("latin-1"), entry.PSSize))
    return sessions


def _check(function, return_code, ok=(0,), detail=""):
    if return_code not in ok:
        raise HllapiError(function, return_code, detail)
    return return_code


def _parameter_tokens(keywords, values):
    """The Set Session Parameters text of keywords ("EAB") and value
    keywords (esc="#" gives ESC=#). The library judges the keywords."""
    tokens = [str(keyword).upper() for keyword in keywords]
    for name, value in values.items():
        if len(str(value)) != 1:
            raise ValueError("%s=%r: a value keyword takes one character" % (name, value))
        tokens.append("%s=%s" % (name.upper(), value))
    return tokens


class Session:
    """One emulator session, addressed by its letter.

    `parameters`: Set Session Parameters keywords applied on connecting
    ("EAB", "NWAIT", ...); `values`: eot=, esc=, timeout= characters.
    """

    def __init__(self, letter="A", *, parameters=(), per_thread=False, lib=None, **values):
        if len(letter) != 1 or not letter.isalpha():
            raise ValueError("a session is named by one letter A-Z, not %r" % letter)
        self.letter = letter.upper()
        self.lib = lib or library(per_thread)
        self._parameters = _parameter_tokens(parameters, values)
        self._notify_handle = None
        self.connected = False
        self.rows, self.columns = 24, 80

    # ---- connection ---------------------------------------------------------

    def connect(self):
        """Connect Presentation Space (1); reads the screen size (22)."""
        answer = self.lib.hllapi(codes.HA_CONNECT_PS, self.letter, 1)
        # 4 and 5: connected, but the host is busy or input is inhibited.
        _check(codes.HA_CONNECT_PS, answer.return_code, ok=(0, 4, 5))
        self.connected = True
        if self._parameters:
            self.set_parameters(*self._parameters)
        status = self.status()
        self.rows, self.columns = status.rows, status.columns
        return self

    def stop_host_notification(self):
        """Stop Host Notification (25): ends what wait_for_text started."""
        self._notify_handle = None
        _check(codes.HA_STOP_HOST_NOTIFY, self.lib.hllapi(codes.HA_STOP_HOST_NOTIFY, self.letter, 1).return_code)

    def disconnect(self):
        """Stops the host notification this object started, then
        Disconnect Presentation Space (2)."""
        if self._notify_handle is not None:
            self.stop_host_notification()
        if self.connected:
            self.connected = False
            _check(codes.HA_DISCONNECT_PS, self.lib.hllapi(codes.HA_DISCONNECT_PS).return_code)

    def __enter__(self):
        return self.connect()

    def __exit__(self, *exc):
        self.disconnect()
        return False

    def set_parameters(self, *keywords, **values):
        """Set Session Parameters (9): keywords ("EAB", "SRCHBKWD", ...) and
        value keywords (esc="#", eot="$", timeout="5"). Answers how many
        keywords the library recognised; an unknown keyword raises
        HllapiError with return code 2 (the others still apply)."""
        text = " ".join(_parameter_tokens(keywords, values))
        answer = self.lib.hllapi(codes.HA_SET_SESSION_PARMS, text, len(text))
        _check(codes.HA_SET_SESSION_PARMS, answer.return_code, detail=text)
        return answer.length

    def status(self):
        """Query Session Status (22) of this session."""
        answer = self.lib.hllapi(codes.HA_QUERY_SESSION_STATUS, self.letter.ljust(20, " "), 20)
        _check(codes.HA_QUERY_SESSION_STATUS, answer.return_code)
        record = QuerySessionStatusReply.parse(answer.data)
        return SessionStatus(record.ShortName.decode("latin-1"), _text(bytes(record.LongName)),
                             record.SessionType.decode("latin-1"), bool(record.Characteristics & 0x80),
                             record.Rows, record.Columns, record.CodePage)

    # ---- positions ----------------------------------------------------------

    def position(self, row, col):
        """The presentation-space position (from 1) of row and col."""
        if not (1 <= row <= self.rows and 1 <= col <= self.columns):
            raise ValueError("row %d, column %d is not on the %dx%d screen" % (row, col, self.rows, self.columns))
        return (row - 1) * self.columns + col

    def row_column(self, position):
        return (position - 1) // self.columns + 1, (position - 1) % self.columns + 1

    # ---- the screen ---------------------------------------------------------

    def screen(self):
        """The screen as text rows (Copy Presentation Space, 5)."""
        size = self.rows * self.columns
        answer = self.lib.hllapi(codes.HA_COPY_PS, bytes(size), size)
        _check(codes.HA_COPY_PS, answer.return_code)
        text = "".join(chr(b) if 0x20 <= b < 0x7F or b >= 0xA0 else " " for b in answer.data[:size])
        return [text[i:i + self.columns] for i in range(0, size, self.columns)]

    def row(self, row):
        return self.screen()[row - 1]

    def search(self, text):
        """Search Presentation Space (6) from the top: (row, column) or None."""
        answer = self.lib.hllapi(codes.HA_SEARCH_PS, text, len(text), 1)
        if answer.return_code == codes.HLLAPI_RC_NOT_FOUND:
            return None
        _check(codes.HA_SEARCH_PS, answer.return_code, detail=repr(text))
        return self.row_column(answer.length)

    def shows(self, text, row=None, col=None, rows=None):
        """Where `text` shows now: anywhere, in `row`, at row and col, or
        (col alone) starting in that column of any row. (row, col) or None."""
        rows = rows if rows is not None else self.screen()
        if row is None:
            for index, line in enumerate(rows):
                found = line.find(text)
                while found >= 0 and col is not None and found + 1 != col:
                    found = line.find(text, found + 1)
                if found >= 0:
                    return index + 1, found + 1
            return None
        line = rows[row - 1]
        if col is None:
            found = line.find(text)
            return (row, found + 1) if found >= 0 else None
        return (row, col) if line[col - 1:col - 1 + len(text)] == text else None

    # ---- keys and waits -----------------------------------------------------

    def send_keys(self, keys, wait=False):
        """Send Key (3): text and mnemonics (@E Enter, @T Tab, @3 F3, @@ an @).
        wait=True then waits until the host accepts input (wait())."""
        answer = self.lib.hllapi(codes.HA_SENDKEY, keys, len(keys))
        _check(codes.HA_SENDKEY, answer.return_code, detail=repr(keys))
        if wait:
            self.wait()

    def wait(self):
        """Wait (4): until the host lets the keyboard go, within the session
        parameters' limit (TWAIT 60 s, LWAIT none, NWAIT none at all)."""
        code = self.lib.hllapi(codes.HA_WAIT).return_code
        if code == codes.HLLAPI_RC_WAIT_TIMEOUT:
            raise HllapiTimeout(codes.HA_WAIT, code)
        _check(codes.HA_WAIT, code)

    def _start_notification(self):
        """Start Host Notification (23) in the event form for presentation-
        space updates: the library's event handle to wait on."""
        if self._notify_handle is not None:
            return self._notify_handle
        request = NotifyRequest(ShortName=self.letter.encode(), Form=b"A", Type=b"P")
        buffer = ctypes.create_string_buffer(bytes(request), ctypes.sizeof(request) + 1)
        answer = self.lib.hllapi(codes.HA_START_HOST_NOTIFY, buffer, ctypes.sizeof(request))
        _check(codes.HA_START_HOST_NOTIFY, answer.return_code)
        slot = int.from_bytes(NotifyRequest.parse(answer.data).Handle, "little")
        self._notify_handle = ctypes.c_size_t.from_address(slot).value
        return self._notify_handle

    def wait_for_text(self, text, row=None, col=None, timeout=10.0):
        """Waits until `text` shows: anywhere, in `row`, or at row and
        col. Answers (row, col). Woken by the host's updates of the
        screen (host notification), not by polling; raises HllapiTimeout
        after `timeout` seconds."""
        handle = self._start_notification()
        deadline = time.monotonic() + timeout
        while True:
            # Query Host Update (24) first: it resets the event, so an update
            # arriving after the look at the screen below still wakes the wait.
            self.lib.hllapi(codes.HA_QUERY_HOST_UPDATE, self.letter, 1)
            found = self.shows(text, row, col)
            if found:
                return found
            left = deadline - time.monotonic()
            if left <= 0:
                raise HllapiTimeout(codes.HA_START_HOST_NOTIFY, codes.HLLAPI_RC_WAIT_TIMEOUT,
                                    message="%r did not show within %g s" % (text, timeout))
            result = self.lib.wait_for_handle(handle, int(left * 1000) + 1)
            if result not in (WAIT_SIGNALLED, WAIT_TIMEOUT):
                raise HllapiError(codes.HA_START_HOST_NOTIFY, codes.HLLAPI_RC_SYSTEM_ERROR,
                                  "waiting on the notification event failed")

    # ---- cursor and fields --------------------------------------------------

    @property
    def cursor(self):
        """(row, column) of the cursor (Query Cursor Location, 7)."""
        answer = self.lib.hllapi(codes.HA_QUERY_CURSOR_LOC)
        _check(codes.HA_QUERY_CURSOR_LOC, answer.return_code)
        return self.row_column(answer.length)

    def set_cursor(self, row, col):
        """Set Cursor (40)."""
        _check(codes.HA_SET_CURSOR, self.lib.hllapi(codes.HA_SET_CURSOR, None, 0,
                                                     self.position(row, col)).return_code)

    def field(self, row, col):
        """The field that row and col belong to (Find Field Position 31,
        Find Field Length 32, Copy Field to String 34, Query Field
        Attribute 14)."""
        position = self.position(row, col)
        start = self.lib.hllapi(codes.HA_FIND_FIELD_POS, "T ", 2, position)
        _check(codes.HA_FIND_FIELD_POS, start.return_code, ok=(0, codes.HLLAPI_RC_ZERO_LENGTH_FIELD))
        length = self.lib.hllapi(codes.HA_FIND_FIELD_LEN, "T ", 2, position)
        _check(codes.HA_FIND_FIELD_LEN, length.return_code, ok=(0, codes.HLLAPI_RC_ZERO_LENGTH_FIELD))
        size = length.length if length.return_code == 0 else 0
        text = ""
        if size > 0:
            copied = self.lib.hllapi(codes.HA_COPY_FIELD_TO_STR, bytes(size), size, start.length)
            _check(codes.HA_COPY_FIELD_TO_STR, copied.return_code)
            text = copied.data[:size].decode("latin-1")
        attribute = self.lib.hllapi(codes.HA_QUERY_FIELD_ATTR, None, 0, position)
        _check(codes.HA_QUERY_FIELD_ATTR, attribute.return_code)
        field_row, field_col = self.row_column(start.length)
        return Field(field_row, field_col, size, text, attribute.length)

    def fill_field(self, row, col, text):
        """Copy String to Field (33): `text` into the field at row and col."""
        answer = self.lib.hllapi(codes.HA_COPY_STR_TO_FIELD, text, len(text), self.position(row, col))
        _check(codes.HA_COPY_STR_TO_FIELD, answer.return_code, detail=repr(text))

    def oia(self):
        """The status line, decoded (Copy OIA, 13)."""
        size = ctypes.sizeof(OIAReply)
        answer = self.lib.hllapi(codes.HA_COPY_OIA, bytes(size + 1), size + 1)
        _check(codes.HA_COPY_OIA, answer.return_code)
        return Oia.parse(answer.data)
