# The Python package against the real reference emulator (session A on the
# demonstration host, session B on the host that writes on its own), and its
# numbers and records against include/trvha64.h.
import os
import re
import subprocess

import pytest

from conftest import _sign_off
from emulator import ROOT

import trvha64
from trvha64 import HllapiError, HllapiTimeout, Session, codes, low, query_sessions

HEADER = os.path.join(ROOT, "include", "trvha64.h")
REFERENCE = os.path.join(ROOT, "docs", "functions.md")


def header_defines():
    """Every `#define NAME number` of the public header."""
    with open(HEADER) as header:
        return {name: int(value, 0) for name, value in
                re.findall(r"^#define\s+(\w+)\s+(0x[0-9A-Fa-f]+|\d+)u?\b", header.read(), re.M)}


def test_sign_on_and_inquiry_through_the_session_object(session):
    listed = {s.letter: s for s in query_sessions()}
    status = session.status()
    assert sorted(listed) == ["A", "B"]
    # One long name for a session, in Query Sessions and Query Session Status.
    assert listed["A"].long_name == status.long_name == "A"
    assert listed["A"].positions == status.rows * status.columns == 1920
    assert listed["A"].session_type == "H"

    user = session.field(6, 40)
    assert (user.row, user.col, user.length, user.protected) == (6, 35, 10, False)
    assert session.cursor == (6, 35)
    session.send_keys("DEMO01@TPALVERO@E")
    assert session.wait_for_text("Main Menu", row=1) == (1, session.row(1).index("Main Menu") + 1)
    oia = session.oia()
    assert (oia.state, oia.connected, oia.inhibited) == ("ready", True, False)
    assert not session.field(20, 17).protected

    session.send_keys("1@E", wait=True)
    session.wait_for_text("Customer Inquiry", timeout=10)
    session.send_keys("100734@E")
    row, _ = session.wait_for_text("Name  .", timeout=10)
    assert session.row(row).split(".", 1)[1].strip()  # the customer's name follows the label


@pytest.mark.parametrize("call, function, code", [
    (lambda s: Session("Q").connect(), codes.HA_CONNECT_PS, codes.HLLAPI_RC_NO_SESSION),
    (lambda s: s.set_parameters("NOSUCH=1"), codes.HA_SET_SESSION_PARMS, codes.HLLAPI_RC_BAD_PARAMETER),
    (lambda s: s.fill_field(2, 2, "X"), codes.HA_COPY_STR_TO_FIELD, codes.HLLAPI_RC_INHIBITED),
    (lambda s: (s.stop_host_notification(), s.stop_host_notification()), codes.HA_STOP_HOST_NOTIFY,
     codes.HLLAPI_RC_NOT_STARTED),
], ids=["connect-unknown-session", "unknown-parameter", "protected-field", "stop-twice"])
def test_refusals_raise_with_function_and_meaning(session, call, function, code):
    with pytest.raises(HllapiError) as raised:
        call(session)
    assert (raised.value.function, raised.value.return_code) == (function, code)
    assert raised.value.meaning == codes.meaning(code, function)
    assert codes.FUNCTION_NAMES[function] in str(raised.value)


def test_wait_for_text_is_released_by_a_host_update(emulator, monkeypatch):
    # Session B's host writes a broadcast line on its own half a second after
    # sign-on: only the host notification can wake the wait for it in time.
    with Session("B") as live:
        live.wait_for_text("Sign On", timeout=10)
        answers = []
        real = live.lib.wait_for_handle
        monkeypatch.setattr(live.lib, "wait_for_handle", lambda handle, ms: answers.append(real(handle, ms))
                            or answers[-1])
        live.send_keys("DEMO01@TPALVERO@E")
        live.wait_for_text("Broadcast from SYSOP", timeout=20)
        assert low.WAIT_SIGNALLED in answers
        monkeypatch.undo()
        _sign_off(live)


def test_wait_for_text_times_out(session):
    with pytest.raises(HllapiTimeout) as raised:
        session.wait_for_text("Main Menu", timeout=0.3)
    assert isinstance(raised.value, TimeoutError) and "did not show" in str(raised.value)
    with pytest.raises(HllapiTimeout):
        session.wait_for_text("Sign On", row=2, timeout=0.2)


def test_low_level_calls_are_the_c_entry(emulator):
    lib = trvha64.library()
    system = lib.hllapi(codes.HA_QUERY_SYSTEM, bytes(36), 36)
    assert system.return_code == 0 and low.QuerySystemReply.parse(system.data).Version == b"1"
    # Query Sessions with room for one entry of two: 2, the count in the length word.
    one = lib.hllapi(codes.HA_QUERY_SESSIONS, bytes(16), 16)
    assert (one.return_code, one.length) == (codes.HLLAPI_RC_BAD_PARAMETER, 2)
    assert low.QuerySessionsEntry.parse(one.data).ShortName == b"A"


def test_numbers_match_the_header():
    defines = header_defines()
    functions = {name: value for name, value in defines.items() if name.startswith("HA_")}
    assert functions == {name: number for name, (number, _) in codes.FUNCTIONS.items()}
    ours = {name: code for name, (code, _) in codes.RETURN_CODES.items()}
    ours.update(codes.CODE_ALIASES)
    ours.update(codes.OIA_BITS)
    ours.update(HLLAPI_MAX_DATA=codes.HLLAPI_MAX_DATA, HLLAPI_NOTIFY_WPARAM_BASE=codes.HLLAPI_NOTIFY_WPARAM_BASE)
    assert {name: defines.get(name) for name in ours} == ours
    assert {n for n in defines if n.startswith("HLLAPI_RC_")} <= set(ours)


def test_records_match_the_header(tmp_path):
    lines = ['#include <stdio.h>', '#include <stddef.h>', '#include "trvha64.h"', "int main(void) {"]
    for record in low.RECORDS:
        c = record._c_name_
        lines.append('printf("%s %%zu\\n", sizeof(%s));' % (c, c))
        for field, _ in record._fields_:
            lines.append('printf("%s.%s %%zu\\n", offsetof(%s, %s));' % (c, field, c, field))
    lines.append("return 0; }")
    source = tmp_path / "layouts.c"
    source.write_text("\n".join(lines))
    subprocess.run(["cc", "-I", os.path.join(ROOT, "include"), "-o", str(tmp_path / "layouts"), str(source)],
                   check=True)
    printed = dict(line.split() for line in subprocess.run([str(tmp_path / "layouts")], check=True,
                                                           capture_output=True, text=True).stdout.splitlines())
    ours = {}
    for record in low.RECORDS:
        ours[record._c_name_] = str(low.ctypes.sizeof(record))
        for field, _ in record._fields_:
            ours["%s.%s" % (record._c_name_, field)] = str(getattr(record, field).offset)
    assert printed == ours


def test_reference_page_matches_the_header():
    defines = header_defines()
    with open(REFERENCE) as page:
        text = page.read()
    sections = re.findall(r"^## (\d+) .*\(`(HA_\w+)`\)", text, re.M)
    assert {name: int(number) for number, name in sections} == \
        {name: value for name, value in defines.items() if name.startswith("HA_")}
    codes_named = {int(code) for code in re.findall(r"^\| (\d+) \|", text, re.M)}
    header_codes = {value for name, value in defines.items() if name.startswith("HLLAPI_RC_")}
    assert codes_named and codes_named <= header_codes


@pytest.mark.parametrize("option, status, stream", [("--help", 0, "stdout"), ("--bogus", 2, "stderr")])
def test_the_emulator_tells_its_usage(option, status, stream):
    from emulator import java_launcher
    ran = subprocess.run([java_launcher(), "-cp", os.path.join(ROOT, "java", "build", "palvero-emulator.jar"),
                          "com.ombrel.eQintra.hllbridge.HeadlessEmulator", option],
                         capture_output=True, text=True, timeout=60)
    assert ran.returncode == status
    assert "--library PATH" in getattr(ran, stream) and "ready <version>" in getattr(ran, stream)
