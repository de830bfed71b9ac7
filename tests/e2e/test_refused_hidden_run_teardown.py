"""A hidden run that is refused while its window is being made ends with 1, whatever the engine's
worker is doing at that moment: the setup stops the extraction and waits for the worker before it
takes down what the worker uses, so the run never ends in a crash, a crash report or an extraction
that goes on after the refusal. The test build slows the extraction (PELORA_TEST_SLOW_EXTRACTION),
so that it is still running when the refusal comes."""

from collections import Counter

from e2e_product import EXIT_ABANDONED, HIDDEN_MODE, VERSION, install_log_messages
from test_crash_monitor import heap_walk_files, reporter_runs

RUNS = 50
# Per extracted file: the whole extraction would take some seconds.
SLOW_FILE_MS = "100"
USER_BYTES = b"the user's own bytes\r\n"
EXTRACTION_STOPPED = "[setup]extraction stopped, the run is ending\n"
PAYLOAD_BEGUN = "解压SetupFille, size:"
# The lines of an extraction that ran to its end, successful or not.
EXTRACTION_ENDS = ("ExtractSetupFile 成功", "Setup.7z解压成功", "Setup.7z解压真的失败了")


def test_a_refused_hidden_run_during_a_slow_extraction_always_ends_with_1(prefix, run_setup, seam_setup_exe):
    # A file where the install folder would go: the folder check refuses it in the window's
    # initialisation, right after the extraction has started.
    apps = prefix.path / "drive_c" / "Apps"
    apps.write_bytes(USER_BYTES)
    prefix.env["PELORA_TEST_SLOW_EXTRACTION"] = SLOW_FILE_MS

    codes = [run_setup(prefix, *HIDDEN_MODE, "/install_dir:C:\\Apps", exe=seam_setup_exe, timeout=60)
             for _ in range(RUNS)]

    assert codes == [EXIT_ABANDONED] * RUNS, f"exit codes and how often: {Counter(codes)}"
    assert heap_walk_files(prefix, "full") == [] and reporter_runs(prefix) == [], "a crash was reported"
    assert apps.read_bytes() == USER_BYTES
    messages = install_log_messages(prefix)
    assert messages.count(f"[setup]install folder \"C:\\Apps\\{VERSION}\" refused, verdict 3\n") == RUNS
    # Every extraction that had begun was stopped rather than finished behind the refusal (on a busy
    # machine the refusal may even come before the worker has begun); most runs found it running.
    stopped = messages.count(EXTRACTION_STOPPED)
    begun = sum(m.startswith(PAYLOAD_BEGUN) for m in messages)
    assert begun <= stopped <= RUNS
    assert stopped >= RUNS // 2, f"only {stopped} runs found the extraction running"
    assert not any("crash monitor armed" in m for m in messages)
    assert not any(end in m for m in messages for end in EXTRACTION_ENDS), "an extraction ran to its end"
