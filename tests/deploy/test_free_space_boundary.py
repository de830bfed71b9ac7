"""CheckInstallFolder at the free-space boundary on real drives: two size-limited tmpfs mounts,
mapped as drive letters of a fresh prefix, with exactly the required 80,740,352 bytes free and
with one page more; the deployment tests' boundary case runs against them."""

import os
import subprocess
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
REQUIRED = 0x4D00000
PAGE = 4096


def build_dir():
    if os.environ.get("PELORA_BUILD_DIR"):
        return Path(os.environ["PELORA_BUILD_DIR"])
    arch = subprocess.run([str(ROOT / "scripts" / "test-arch.sh")], capture_output=True, text=True).stdout.strip()
    return ROOT / "build" / arch


@pytest.fixture
def tmpfs(tmp_path):
    mounted = []

    def mount(name, size):
        point = tmp_path / name
        point.mkdir()
        result = subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={size}", "tmpfs", str(point)],
                                capture_output=True, text=True)
        if result.returncode != 0:
            pytest.skip(f"cannot mount a tmpfs here: {result.stderr.strip()}")
        mounted.append(point)
        return point

    yield mount
    for point in mounted:
        subprocess.run(["umount", "-l", str(point)], capture_output=True)


def test_the_verdict_changes_exactly_at_the_required_space(tmpfs, tmp_path):
    exe = build_dir() / "tests" / "deploy" / "deploy_tests.exe"
    if not exe.exists():
        pytest.skip(f"{exe} is not built")
    exact = tmpfs("exact", REQUIRED)
    roomier = tmpfs("roomier", REQUIRED + PAGE)
    assert os.statvfs(exact).f_bavail * os.statvfs(exact).f_frsize == REQUIRED

    prefix = tmp_path / "prefix"
    subprocess.run([str(ROOT / "scripts" / "wine-copy-prefix.sh"), str(prefix), "win7"], check=True,
                   capture_output=True, timeout=300)
    for letter, target in (("t", exact), ("u", roomier)):
        (prefix / "dosdevices" / f"{letter}:").symlink_to(target)

    env = {**os.environ, "PELORA_EXACT_SPACE_DRIVE": "T:", "PELORA_ONE_PAGE_MORE_DRIVE": "U:"}
    result = subprocess.run([str(ROOT / "scripts" / "wine-run.sh"), "--prefix", str(prefix), str(exe),
                             "--gtest_filter=FreeSpaceBoundary.*"],
                            capture_output=True, text=True, env=env, timeout=300)
    assert result.returncode == 0, result.stdout[-2000:] + result.stderr[-2000:]
    assert "[  PASSED  ] 1 test" in result.stdout
    assert "SKIPPED" not in result.stdout
