"""The hidden mode from the extraction's point of view: `PeloraSetup.exe /mode:noui` unpacks its
payload into %APPDATA%\\Corvane\\STemp\\Pelora\\Pelora~0, copies the runtime files next to the
product's programs and goes on into the installation. A missing runtime file fails the run at
once; an archive entry that points outside the staging folder writes nothing there. (A damaged
payload, tried four times, is among the fault tests.)"""

import filecmp
import re
import subprocess
from pathlib import Path

from e2e_fixtures import BUILD_DIR
from e2e_log import parse
from e2e_payload import RUNTIME_FILES, with_replaced_payload
from e2e_product import EXIT_ABANDONED, EXIT_FINISHED, HIDDEN_MODE, install_log_path

PAYLOAD = BUILD_DIR / "payload" / "Setup.7z"
EXTRACT_TEST_DATA = BUILD_DIR / "tests" / "extract" / "data"


def staging_folder(prefix):
    return prefix.appdata / "Corvane" / "STemp" / "Pelora" / "Pelora~0"


def log_messages(prefix):
    return [line.message for line in parse(install_log_path(prefix).read_bytes())]


def relative_files(root):
    return sorted(str(p.relative_to(root)) for p in Path(root).rglob("*") if p.is_file())


def index_of(messages, fragment, start=0):
    for i in range(start, len(messages)):
        if fragment in messages[i]:
            return i
    raise AssertionError(f"no log line with {fragment!r} after line {start}: {messages[start:start + 20]}")


def test_hidden_run_stages_the_payload_byte_for_byte(prefix, run_setup, tmp_path):
    assert run_setup(prefix, *HIDDEN_MODE, timeout=120) == EXIT_FINISHED

    reference = tmp_path / "reference"
    subprocess.run(["7zz", "x", "-y", f"-o{reference}", str(PAYLOAD)], check=True, capture_output=True)
    staged = staging_folder(prefix)
    bin_folder = Path("program files") / "Corvane" / "Pelora" / "Bin"
    runtime_copies = {str(bin_folder / name) for names in RUNTIME_FILES.values() for name in names}

    expected = relative_files(reference)
    assert expected, "the payload archive is empty"
    assert sorted(set(relative_files(staged)) - runtime_copies) == expected
    mismatched = [name for name in expected if not filecmp.cmp(reference / name, staged / name, shallow=False)]
    assert mismatched == []

    # The runtime assemblies' files now also lie next to the product's programs.
    for assembly, names in RUNTIME_FILES.items():
        for name in names:
            assert filecmp.cmp(reference / "SysDir" / assembly / name, staged / bin_folder / name, shallow=False)


def test_hidden_run_logs_the_extraction_in_order(prefix, run_setup):
    assert run_setup(prefix, *HIDDEN_MODE, timeout=120) == EXIT_FINISHED
    messages = log_messages(prefix)

    at = index_of(messages, "解压MivoVistaHelper.dll, size:")
    at = index_of(messages, "[TestLzma]:解压完成, size:", at)
    at = index_of(messages, f"解压SetupFille, size:{PAYLOAD.stat().st_size} lpResLock:", at)
    first_path = index_of(messages, "[path] = ", at)
    assert "STemp\\Pelora\\Pelora~0\\" in messages[first_path]
    at = index_of(messages, "[m_nCompleteSize] = ", first_path)
    at = index_of(messages, f"[TestLzma]:解压完成, size:{PAYLOAD.stat().st_size}", at)
    # The window's thread checks the install folder meanwhile ("[setup]drive = ..."): its lines may
    # fall between the extraction's, whose own order is what counts here.
    own = [m for m in messages[at + 1:] if m.startswith(("ret = ", "[日志]"))]
    assert own[0] == "ret = 0 \r\n"
    assert re.fullmatch(r"\[日志\]ExtractSetupFile 成功,time = \d+\r\n", own[1])
    copies = own[2:8]
    assert all(m.startswith("[日志] [CopyTempSysDirToTempBin] About to CopyFileW(") for m in copies), copies
    assert copies[1].endswith("\\Bin\\msvcm80.dll, FALSE)\r\n")
    assert re.fullmatch(r"\[日志\]Setup\.7z解压成功 DoExtract = \d+ \r\n", own[8])
    assert not any("解压失败" in m for m in messages)


def test_a_missing_runtime_file_fails_at_once_without_retries(prefix, run_setup, setup_exe, tools, tmp_path):
    variant = with_replaced_payload(prefix, tools, setup_exe, EXTRACT_TEST_DATA / "no_msvcm80.7z",
                                    tmp_path / "PeloraSetup.exe")
    assert run_setup(prefix, *HIDDEN_MODE, exe=variant, timeout=120) == EXIT_ABANDONED

    messages = log_messages(prefix)
    assert sum("ExtractSetupFile 成功" in m for m in messages) == 1, "extracted once, not retried"
    assert not any("Setup.7z解压失败,还剩" in m for m in messages)
    copies = [m for m in messages if "[CopyTempSysDirToTempBin] About to CopyFileW(" in m]
    assert len(copies) == 6, "every copy of both chains is announced, whether it runs or not"
    bin_folder = staging_folder(prefix) / "program files" / "Corvane" / "Pelora" / "Bin"
    assert (bin_folder / "Microsoft.VC80.CRT.manifest").exists()
    assert not (bin_folder / "msvcp80.dll").exists(), "the CRT chain stops at the missing file"
    assert (bin_folder / "ATL80.dll").exists(), "the ATL chain runs all the same"
    assert any(m.startswith("[日志]Setup.7z解压真的失败了") for m in messages)


def test_an_entry_pointing_outside_the_staging_folder_writes_nothing_there(prefix, run_setup, setup_exe, tools,
                                                                            tmp_path):
    variant = with_replaced_payload(prefix, tools, setup_exe, EXTRACT_TEST_DATA / "dotdot.7z",
                                    tmp_path / "PeloraSetup.exe")
    assert run_setup(prefix, *HIDDEN_MODE, exe=variant, timeout=120) == EXIT_ABANDONED

    escaped = [p for p in prefix.path.rglob("escape.txt")]
    assert escaped == [], f"an archive entry left the staging folder: {escaped}"
    assert any("Setup.7z解压真的失败了" in m for m in log_messages(prefix))
