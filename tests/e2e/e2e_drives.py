"""Drive letters of a prefix mapped to folders of the test, with the drive type that Windows
programs are told, and size-limited tmpfs mounts to map them to."""

import subprocess


def map_drive(prefix, letter, kind, target=None):
    """Maps a drive letter of the prefix to `target` (a Linux folder; by default a new folder
    drive_<letter> in the prefix) with the drive type (Wine's "hd", "floppy", "network", "cdrom")
    that Windows programs are told. Returns the folder."""
    prefix.stop_server()
    folder = target or prefix.path / f"drive_{letter}"
    folder.mkdir(exist_ok=True)
    link = prefix.path / "dosdevices" / f"{letter}:"
    if link.is_symlink() or link.exists():
        link.unlink()
    link.symlink_to(folder)
    system = prefix.path / "system.reg"
    text = system.read_text(encoding="utf-8", errors="surrogateescape")
    text += f'\n[Software\\\\Wine\\\\Drives]\n"{letter}:"="{kind}"\n'
    system.write_text(text, encoding="utf-8", errors="surrogateescape")
    prefix.start_server()
    return folder


class TmpfsMounts:
    """tmpfs file systems of a given size below a folder of the test; unmounted by close()."""

    def __init__(self, folder):
        self._folder = folder
        self._mounted = []

    def mount(self, name, size):
        """A fresh tmpfs of `size` bytes, or None when this machine does not let the test mount."""
        point = self._folder / name
        point.mkdir()
        result = subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={size}", "tmpfs", str(point)],
                                capture_output=True, text=True)
        if result.returncode != 0:
            return None
        self._mounted.append(point)
        return point

    def close(self):
        for point in self._mounted:
            subprocess.run(["umount", "-l", str(point)], capture_output=True)
