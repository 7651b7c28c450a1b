# The Python package's tests run against the real reference emulator (session
# A on the demonstration host, B on the host that also writes on its own) and
# the library built in build/linux (TRVHA64_TEST_LIBRARY overrides it). The
# package is imported from python/ in the checkout unless TRVHA64_TEST_INSTALLED
# is set, when the installed one is tested.
import os
import sys

import pytest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
if not os.environ.get("TRVHA64_TEST_INSTALLED"):
    sys.path.insert(0, os.path.join(HERE, "..", "..", "python"))

from emulator import ROOT, Emulator  # noqa: E402


@pytest.fixture(scope="session")
def emulator():
    library = os.environ.get("TRVHA64_TEST_LIBRARY", os.path.join(ROOT, "build", "linux", "libtrvha64.so"))
    running = Emulator(library, sessions=("demo=A", "live=B"))
    # The library reads both when this process loads it, at the first call.
    os.environ["TRVHA64_NAMESPACE"] = running.namespace
    os.environ["TRVHA64_LIBRARY"] = running.library
    os.environ["TRVHA64_UNATTENDED"] = "1"
    yield running
    assert running.quit() == 0


@pytest.fixture
def session(emulator):
    """Session A, connected, at the sign-on screen; back there afterwards."""
    from trvha64 import Session
    with Session("A") as connected:
        connected.wait_for_text("Sign On", timeout=10)
        yield connected
        _sign_off(connected)


def _sign_off(session):
    # F3 goes back one panel; on the main menu it signs off.
    for _ in range(4):
        if session.search("Sign On"):
            return
        on_menu = session.search("Main Menu") is not None
        session.send_keys("@3")
        session.wait_for_text("Sign On" if on_menu else "Main Menu", timeout=10)
