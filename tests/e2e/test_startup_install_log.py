"""The install log a start-up leaves in %APPDATA%\\Corvane\\Logs\\PeloraInstall.txt: UTF-16LE
with exactly one byte-order mark, every line behind a local-time stamp, and later runs
appending to it."""

import datetime

from e2e_install_run import install_with_newer_version_registered
from e2e_log import parse
from e2e_product import EXIT_NOT_STARTED, install_log_path


def now():
    return datetime.datetime.now().replace(microsecond=0)


def stamped_at(line):
    return datetime.datetime(*line.stamp)


def test_first_run_creates_the_log_with_one_bom_and_stamped_lines(prefix, run_setup):
    log = install_log_path(prefix)
    assert not log.exists()

    before = now()
    assert install_with_newer_version_registered(prefix, run_setup) == EXIT_NOT_STARTED
    after = now()

    raw = log.read_bytes()
    lines = parse(raw)
    assert lines, "the start-up wrote no line"
    for line in lines:
        assert before - datetime.timedelta(seconds=2) <= stamped_at(line) \
            <= after + datetime.timedelta(seconds=2), f"stamp {line.stamp} outside the run"
        assert line.message, "a stamp without a message"
    assert any("init installman failed" in line.message for line in lines), \
        [line.message for line in lines]


def test_a_second_run_appends_without_a_second_bom(prefix, run_setup):
    log = install_log_path(prefix)
    assert install_with_newer_version_registered(prefix, run_setup) == EXIT_NOT_STARTED
    first = log.read_bytes()
    assert install_with_newer_version_registered(prefix, run_setup) == EXIT_NOT_STARTED
    second = log.read_bytes()

    assert second.startswith(first), "the first run's lines were rewritten"
    assert len(second) > len(first)
    # parse() rejects a second byte-order mark anywhere in the file.
    assert len(parse(second)) > len(parse(first))


def test_a_file_in_place_of_the_logs_folder_is_replaced_by_the_folder(prefix, run_setup):
    blocker = install_log_path(prefix).parent
    blocker.parent.mkdir(parents=True, exist_ok=True)
    blocker.write_bytes(b"not a folder")

    assert install_with_newer_version_registered(prefix, run_setup) == EXIT_NOT_STARTED
    assert blocker.is_dir()
    assert parse(install_log_path(prefix).read_bytes())

