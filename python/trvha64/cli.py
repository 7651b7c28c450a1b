"""trvha: the emulator's sessions from the shell.

    trvha sessions                       the sessions the emulator offers
    trvha screen A                       the screen of session A
    trvha send A "DEMO01@TPALVERO@E" --wait
    trvha find A "Main Menu" [--timeout S]
    trvha field A 20 17
    trvha oia A

--json prints one JSON object instead of text. The exit status is the
EHLLAPI return code of the call that failed (0 when all worked; find: 24
when the text is not there); 9 when the library cannot be loaded, 2 for bad
arguments. Errors go to standard error.
"""

import argparse
import dataclasses
import json
import sys

from . import codes
from .low import LibraryNotFound
from .session import HllapiError, Session, query_sessions


def _emit(args, value, text):
    if args.json:
        print(json.dumps(value, indent=None))
    else:
        print(text)


def _sessions(args):
    found = query_sessions()
    _emit(args, {"sessions": [dataclasses.asdict(s) for s in found]},
          "\n".join("%s %-8s %s %d" % (s.letter, s.long_name, s.session_type, s.positions) for s in found))
    return 0


def _screen(args, session):
    rows = session.screen()
    _emit(args, {"session": session.letter, "rows": rows, "cursor": list(session.cursor)}, "\n".join(rows))
    return 0


def _send(args, session):
    session.send_keys(args.keys, wait=args.wait)
    _emit(args, {"session": session.letter, "sent": args.keys, "waited": args.wait}, "sent")
    return 0


def _find(args, session):
    if args.timeout > 0:
        try:
            where = session.wait_for_text(args.text, args.row, args.col, timeout=args.timeout)
        except HllapiError as error:
            if not isinstance(error, TimeoutError):
                raise
            where = None
    else:
        where = session.shows(args.text, args.row, args.col)
    if where is None:
        _emit(args, {"session": session.letter, "text": args.text, "found": False},
              "not found: %r" % args.text)
        return codes.HLLAPI_RC_NOT_FOUND
    _emit(args, {"session": session.letter, "text": args.text, "found": True, "row": where[0], "col": where[1]},
          "%d %d" % where)
    return 0


def _field(args, session):
    field = session.field(args.row, args.col)
    value = dataclasses.asdict(field)
    value.update(protected=field.protected, numeric=field.numeric, hidden=field.hidden)
    _emit(args, value, "%d %d %d %s %r" % (field.row, field.col, field.length,
                                           "protected" if field.protected else "input", field.text))
    return 0


def _oia(args, session):
    oia = session.oia()
    value = dataclasses.asdict(oia)
    value.update(state=oia.state, inhibited=oia.inhibited, reasons=list(oia.reasons))
    _emit(args, value, oia.state)
    return 0


def _parser():
    parser = argparse.ArgumentParser(prog="trvha", description="The emulator's sessions from the shell.",
                                     epilog="Exit status: the failing call's EHLLAPI return code (0: all worked).")
    commands = parser.add_subparsers(dest="command", required=True)

    def command(name, help_text, session=True):
        sub = commands.add_parser(name, help=help_text)
        sub.add_argument("--json", action="store_true", help="print JSON")
        if session:
            sub.add_argument("session", help="the session letter")
        return sub

    command("sessions", "the sessions the emulator offers", session=False)
    command("screen", "the screen's rows")
    send = command("send", "keystrokes (@E Enter, @T Tab, @3 F3, @@ an @)")
    send.add_argument("keys")
    send.add_argument("--wait", action="store_true", help="then wait until the host accepts input")
    find = command("find", "where a text shows; exit 24 when it does not")
    find.add_argument("text")
    find.add_argument("--row", type=int)
    find.add_argument("--col", type=int)
    find.add_argument("--timeout", type=float, default=0, help="wait up to this many seconds for it")
    field = command("field", "the field at a row and column")
    field.add_argument("row", type=int)
    field.add_argument("col", type=int)
    command("oia", "the status line's state")
    return parser


_COMMANDS = {"screen": _screen, "send": _send, "find": _find, "field": _field, "oia": _oia}


def main(argv=None):
    args = _parser().parse_args(argv)
    try:
        if args.command == "sessions":
            return _sessions(args)
        with Session(args.session) as session:
            return _COMMANDS[args.command](args, session)
    except HllapiError as error:
        print("trvha: %s" % error, file=sys.stderr)
        if args.json:
            print(json.dumps({"error": str(error), "function": error.function, "return_code": error.return_code,
                              "meaning": error.meaning}))
        return error.return_code
    except LibraryNotFound as error:
        print("trvha: %s" % error, file=sys.stderr)
        return codes.HLLAPI_RC_SYSTEM_ERROR
    except ValueError as error:
        print("trvha: %s" % error, file=sys.stderr)
        return codes.HLLAPI_RC_BAD_PARAMETER


if __name__ == "__main__":
    sys.exit(main())
