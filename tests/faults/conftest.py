"""The fault tests: each makes one real fault (a full drive, a held file, a killed run, a server
that misbehaves, a command line nobody should type) and checks what the setup does about it.

Every test states its row of the fault table with the `fault_row` fixture: the fault, how it
was made and what was checked. At the end of the run the table is printed with each row's
outcome, so that a run shows at a glance which faults were made and how the setup held up."""

import sys
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "e2e"))

from e2e_fixtures import *  # noqa: E402,F401,F403 (fixtures are found by name)

# The name under which a test's row travels with its report (tests/conftest.py prints the table).
_ROW = "fault_row"


@pytest.fixture
def fault_row(record_property):
    """fault_row(fault, made, checked) names the test's row of the fault table; observed(text)
    on the returned row adds what the run showed (exit codes, counts) to its outcome."""

    class Row:
        def __init__(self, fault, made, checked):
            self.cells = {"fault": fault, "made": made, "checked": checked, "observed": ""}
            record_property(_ROW, self.cells)

        def observed(self, text):
            self.cells["observed"] = f"{self.cells['observed']}; {text}" if self.cells["observed"] else text

    return Row
