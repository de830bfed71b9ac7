"""A setup program whose embedded payload was damaged after packing (one bit flipped inside one of
the archive's two solid blocks, as a bad download or disk would do): the hidden run tries the
extraction four times a second apart, ends with 1 and leaves no installation behind."""

import pytest

from e2e_fixtures import BUILD_DIR
from e2e_log import parse
from e2e_payload import damaged_entries, flipped_at, solid_blocks, with_flipped_payload
from e2e_product import (EXIT_ABANDONED, HIDDEN_MODE, PRODUCT_KEY, PUBLIC_FILES, install_log_path, product_root,
                         version_folder)
from e2e_registry import reg_values
from e2e_report import ReportServer

PAYLOAD = BUILD_DIR / "payload" / "Setup.7z"
ATTEMPT_FAILED = "[日志]Setup.7z解压失败,还剩"
DECODER_FAILED = ("[TestLzma]:CRC error, size:", "[TestLzma]:ERROR #")


def seconds(line):
    return line.stamp[3] * 3600 + line.stamp[4] * 60 + line.stamp[5]


@pytest.mark.parametrize("block", [0, 1], ids=["first block", "second block"])
def test_a_flipped_bit_in_a_solid_block_fails_four_times_a_second_apart(prefix, run_setup, setup_exe, tmp_path,
                                                                         fault_row, block):
    row = fault_row(f"damaged payload, {'first' if block == 0 else 'second'} solid block",
                    "one bit flipped in the middle of the block's packed streams, in a copy of the exe",
                    "exit 1; 4 attempts 2-6 s apart in the install log; no version folder, product key "
                    "or public file; no installer_done sent")
    (start, end), entries = solid_blocks(PAYLOAD)[block]
    flip = flipped_at((start + end) // 2)
    # The damage must lie in this block alone, as 7-Zip's own test of the changed archive sees it.
    archive = tmp_path / "Setup.7z"
    archive.write_bytes(flip(PAYLOAD.read_bytes()))
    damaged = damaged_entries(archive)
    assert damaged and set(damaged) <= set(entries), damaged
    exe = with_flipped_payload(setup_exe, PAYLOAD, tmp_path / "PeloraSetup.exe", flip)

    server = ReportServer(tmp_path)
    try:
        prefix.env["PELORA_REPORT_SERVER"] = server.address
        code = run_setup(prefix, *HIDDEN_MODE, exe=exe, timeout=120)
    finally:
        server.stop()
    assert code == EXIT_ABANDONED

    lines = parse(install_log_path(prefix).read_bytes())
    messages = [line.message for line in lines]
    decoder = [m for m in messages if m.startswith(DECODER_FAILED)]
    retries = [i for i, m in enumerate(messages) if m.startswith(ATTEMPT_FAILED)]
    row.observed(f"exit {code}, {len(retries)} attempts failed: {decoder[0].strip() if decoder else 'no decoder line'}")
    assert len(decoder) == 4, messages
    assert [messages[i] for i in retries] == [f"{ATTEMPT_FAILED}{n}次\r\n" for n in (4, 3, 2, 1)]
    # A one-second pause follows every failed attempt (stamps have one-second resolution).
    assert 2 <= (seconds(lines[retries[-1]]) - seconds(lines[retries[0]])) % 86400 <= 6
    final = next(i for i, m in enumerate(messages) if m.startswith("[日志]Setup.7z解压真的失败了"))
    assert final > retries[-1]
    assert any(m.endswith("解压失败\r\n") for m in messages[final:]), "the window logs the error it received"
    assert not any("ExtractSetupFile 成功" in m for m in messages)

    assert [name for name in PUBLIC_FILES if (product_root(prefix) / name).exists()] == []
    assert (reg_values(prefix, PRODUCT_KEY) or {}).get("Install") is None
    actions = [value["string_value"] for report in server.reports() for item in report["list_reportItem"]
               for value in item["list_reportValue"] if value["name"] == "action"]
    assert "installer_done" not in actions, actions
    left = sorted(str(path.relative_to(prefix.appdata)) for path in product_root(prefix).parent.rglob("*"))
    row.observed(f"left below %APPDATA%: {', '.join(left) or 'nothing'}")
    assert not version_folder(prefix).exists(), f"the failed run left {left}"
