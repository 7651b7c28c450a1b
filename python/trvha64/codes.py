"""The numbers of the EHLLAPI interface: function numbers, return codes and
their meanings, the notification and OIA bits.

The names are those of include/trvha64.h; the package's tests compare every
value here with the header's, so that the two cannot drift apart.
"""

# Function numbers: name in the C header -> (number, readable name).
FUNCTIONS = {
    "HA_CONNECT_PS": (1, "Connect Presentation Space"),
    "HA_DISCONNECT_PS": (2, "Disconnect Presentation Space"),
    "HA_SENDKEY": (3, "Send Key"),
    "HA_WAIT": (4, "Wait"),
    "HA_COPY_PS": (5, "Copy Presentation Space"),
    "HA_SEARCH_PS": (6, "Search Presentation Space"),
    "HA_QUERY_CURSOR_LOC": (7, "Query Cursor Location"),
    "HA_COPY_PS_TO_STR": (8, "Copy Presentation Space to String"),
    "HA_SET_SESSION_PARMS": (9, "Set Session Parameters"),
    "HA_QUERY_SESSIONS": (10, "Query Sessions"),
    "HA_RESERVE": (11, "Reserve"),
    "HA_RELEASE": (12, "Release"),
    "HA_COPY_OIA": (13, "Copy OIA"),
    "HA_QUERY_FIELD_ATTR": (14, "Query Field Attribute"),
    "HA_COPY_STR_TO_PS": (15, "Copy String to Presentation Space"),
    "HA_STORAGE_MGR": (17, "Storage Manager"),
    "HA_PAUSE": (18, "Pause"),
    "HA_QUERY_SYSTEM": (20, "Query System"),
    "HA_RESET_SYSTEM": (21, "Reset System"),
    "HA_QUERY_SESSION_STATUS": (22, "Query Session Status"),
    "HA_START_HOST_NOTIFY": (23, "Start Host Notification"),
    "HA_QUERY_HOST_UPDATE": (24, "Query Host Update"),
    "HA_STOP_HOST_NOTIFY": (25, "Stop Host Notification"),
    "HA_SEARCH_FIELD": (30, "Search Field"),
    "HA_FIND_FIELD_POS": (31, "Find Field Position"),
    "HA_FIND_FIELD_LEN": (32, "Find Field Length"),
    "HA_COPY_STR_TO_FIELD": (33, "Copy String to Field"),
    "HA_COPY_FIELD_TO_STR": (34, "Copy Field to String"),
    "HA_SET_CURSOR": (40, "Set Cursor"),
    "HA_START_CLOSE_INTERCEPT": (41, "Start Close Intercept"),
    "HA_QUERY_CLOSE_INTERCEPT": (42, "Query Close Intercept"),
    "HA_STOP_CLOSE_INTERCEPT": (43, "Stop Close Intercept"),
    "HA_QUERY_ADD_FIELD_ATTR": (45, "Query Additional Field Attribute"),
    "HA_START_KEY_INTERCEPT": (50, "Start Keystroke Intercept"),
    "HA_GET_KEY": (51, "Get Key"),
    "HA_POST_INTERCEPT_STATUS": (52, "Post Intercept Status"),
    "HA_STOP_KEY_INTERCEPT": (53, "Stop Keystroke Intercept"),
    "HA_LOCK_PS": (60, "Lock Presentation Space API"),
    "HA_LOCK_PMSVC": (61, "Lock Window Services API"),
    "HA_SEND_FILE": (90, "Send File"),
    "HA_RECEIVE_FILE": (91, "Receive File"),
    "HA_CONVERT_POS_ROW_COL": (99, "Convert Position or Row/Column"),
    "HA_CONNECT_PM_SRVCS": (101, "Connect Window Services"),
    "HA_DISCONNECT_PM_SRVCS": (102, "Disconnect Window Services"),
    "HA_QUERY_WINDOW_COORDS": (103, "Query Window Coordinates"),
    "HA_PM_WINDOW_STATUS": (104, "Window Status"),
    "HA_CHANGE_SWITCH_NAME": (105, "Change Switch List Name"),
    "HA_CHANGE_WINDOW_NAME": (106, "Change Window Name"),
    "HA_START_PLAYING_MACRO": (110, "Start Playing Macro"),
}

# Module-level constants with the header's names: HA_SENDKEY == 3, ...
globals().update({name: number for name, (number, _) in FUNCTIONS.items()})

FUNCTION_NAMES = {number: text for number, text in FUNCTIONS.values()}

# Return codes: name in the C header -> (code, meaning in general).
RETURN_CODES = {
    "HLLAPI_RC_SUCCESS": (0, "success"),
    "HLLAPI_RC_NO_SESSION": (1, "no valid session: the letter is not A-Z, the session is not established, "
                                "or no session is connected"),
    "HLLAPI_RC_BAD_PARAMETER": (2, "bad parameter: unknown keyword, missing, empty or oversized data"),
    "HLLAPI_RC_HOST_BUSY": (4, "the host has not answered yet"),
    "HLLAPI_RC_INHIBITED": (5, "input inhibited, or a protected position or field"),
    "HLLAPI_RC_DATA_TRUNCATED": (6, "the data was cut to the caller's length"),
    "HLLAPI_RC_INVALID_POSITION": (7, "the position is not on the screen"),
    "HLLAPI_RC_NOT_STARTED": (8, "the notification or intercept was not started"),
    "HLLAPI_RC_SYSTEM_ERROR": (9, "system error: a wait failed, a list is full, or the session ended "
                                  "during the call"),
    "HLLAPI_RC_UNSUPPORTED": (10, "function not supported"),
    "HLLAPI_RC_IN_USE": (11, "the session or its window services are held by another application"),
    "HLLAPI_RC_NOT_ESTABLISHED": (12, "the named session is not established"),
    "HLLAPI_RC_BAD_KEY_MODE": (20, "a keystroke of a kind the intercept refuses"),
    "HLLAPI_RC_OIA_UPDATED": (21, "host update: the status line"),
    "HLLAPI_RC_PS_UPDATED": (22, "host update: the presentation space"),
    "HLLAPI_RC_BOTH_UPDATED": (23, "host update: presentation space and status line"),
    "HLLAPI_RC_NOT_FOUND": (24, "not found, or the screen is unformatted"),
    "HLLAPI_RC_NO_KEY": (25, "no keystroke available"),
    "HLLAPI_RC_EVENT_OCCURRED": (26, "the event occurred (a host update, a close attempt)"),
    "HLLAPI_RC_NO_SOURCE_FILE": (27, "the source file does not exist"),
    "HLLAPI_RC_ZERO_LENGTH_FIELD": (28, "the field has no character positions"),
    "HLLAPI_RC_KEY_QUEUE_OVERFLOW": (31, "keystroke queue overflow: the newest keystroke was lost"),
}
globals().update({name: code for name, (code, _) in RETURN_CODES.items()})

# The header's other names for codes above, where a function gives a code a
# meaning of its own.
CODE_ALIASES = {
    "HLLAPI_RC_WAIT_TIMEOUT": 4,
    "HLLAPI_RC_KEY_INTERCEPT_ACTIVE": 5,
    "HLLAPI_RC_UNFORMATTED": 24,
}
globals().update(CODE_ALIASES)

_GENERAL = {code: text for code, text in RETURN_CODES.values()}

# Where a function gives a code a meaning of its own.
_BY_FUNCTION = {
    (4, 4): "timed out while input was inhibited",
    (11, 5): "refused: a keystroke intercept is active",
    (18, 26): "the pause was ended by a host update",
    (42, 26): "a close of the session was requested",
    (6, 24): "the text is not on the screen",
    (30, 24): "the text is not in the field, or the screen is unformatted",
}


def meaning(code, function=None):
    """The meaning of return code `code`, for `function` when given."""
    if function is not None and (function, code) in _BY_FUNCTION:
        return _BY_FUNCTION[(function, code)]
    return _GENERAL.get(code, "return code %d" % code)


def function_label(function):
    """'Send Key (3)', or 'function 77' for a number without a name."""
    name = FUNCTION_NAMES.get(function)
    return "%s (%d)" % (name, function) if name else "function %d" % function


HLLAPI_MAX_DATA = 10240
HLLAPI_NOTIFY_WPARAM_BASE = 45

# Copy OIA (13): offsets into the 103-byte reply and their bits.
OIA_BITS = {
    "HLLAPI_OIA_ONLINE_OFFSET": 81,
    "HLLAPI_OIA_SUBSYSTEM_READY": 0x04,
    "HLLAPI_OIA_APPLICATION_OWNED": 0x10,
    "HLLAPI_OIA_INSERT_OFFSET": 87,
    "HLLAPI_OIA_INSERT_MODE": 0x80,
    "HLLAPI_OIA_INHIBIT_OFFSET": 88,
    "HLLAPI_OIA_INHIBIT_LENGTH": 5,
    "HLLAPI_OIA_MACHINE_CHECK_OFFSET": 88,
    "HLLAPI_OIA_MACHINE_CHECK": 0x20,
    "HLLAPI_OIA_COMM_CHECK_OFFSET": 88,
    "HLLAPI_OIA_COMM_CHECK": 0x10,
    "HLLAPI_OIA_PROGRAM_CHECK_OFFSET": 88,
    "HLLAPI_OIA_PROGRAM_CHECK": 0x08,
    "HLLAPI_OIA_MINUS_FUNCTION_OFFSET": 89,
    "HLLAPI_OIA_MINUS_FUNCTION": 0x10,
    "HLLAPI_OIA_TOO_MUCH_OFFSET": 89,
    "HLLAPI_OIA_TOO_MUCH": 0x08,
    "HLLAPI_OIA_NUMERIC_OFFSET": 89,
    "HLLAPI_OIA_NUMERIC": 0x01,
    "HLLAPI_OIA_PROTECTED_OFFSET": 90,
    "HLLAPI_OIA_PROTECTED": 0x80,
    "HLLAPI_OIA_SYSTEM_WAIT_OFFSET": 91,
    "HLLAPI_OIA_SYSTEM_WAIT": 0x20,
    "HLLAPI_FIELD_PROTECTED": 0x20,
    "HLLAPI_FIELD_NUMERIC": 0x10,
    "HLLAPI_FIELD_DISPLAY_MASK": 0x0C,
    "HLLAPI_FIELD_DISPLAY_NONE": 0x0C,
    "HLLAPI_FIELD_MODIFIED": 0x01,
}
globals().update(OIA_BITS)

# The reasons input can be inhibited, by name: (offset, bit) in the OIA.
INHIBIT_REASONS = {
    "machine_check": ("HLLAPI_OIA_MACHINE_CHECK_OFFSET", "HLLAPI_OIA_MACHINE_CHECK"),
    "communication_check": ("HLLAPI_OIA_COMM_CHECK_OFFSET", "HLLAPI_OIA_COMM_CHECK"),
    "program_check": ("HLLAPI_OIA_PROGRAM_CHECK_OFFSET", "HLLAPI_OIA_PROGRAM_CHECK"),
    "minus_function": ("HLLAPI_OIA_MINUS_FUNCTION_OFFSET", "HLLAPI_OIA_MINUS_FUNCTION"),
    "too_much_entered": ("HLLAPI_OIA_TOO_MUCH_OFFSET", "HLLAPI_OIA_TOO_MUCH"),
    "numeric_only": ("HLLAPI_OIA_NUMERIC_OFFSET", "HLLAPI_OIA_NUMERIC"),
    "protected_position": ("HLLAPI_OIA_PROTECTED_OFFSET", "HLLAPI_OIA_PROTECTED"),
    "system_wait": ("HLLAPI_OIA_SYSTEM_WAIT_OFFSET", "HLLAPI_OIA_SYSTEM_WAIT"),
}
