"""Registry values of a prefix as `reg export` writes them (UTF-16, so Chinese texts survive)."""

import re

VALUE = re.compile(r'^(@|"(?:[^"\\]|\\.)*")=(.*)$')


def _unquote(text):
    return re.sub(r'\\(.)', r'\1', text[1:-1])


def reg_values(prefix, key):
    """{value name: data} of one key (not its subkeys); "" names the default value. String data
    comes back as text; other types as the raw exported text. None when the key is missing."""
    exported = prefix.reg_export(key)
    if exported is None:
        return None
    values, in_key = {}, False
    wanted = "[" + key.replace("HKCU", "HKEY_CURRENT_USER").replace("HKLM", "HKEY_LOCAL_MACHINE") \
        .replace("HKCR", "HKEY_CLASSES_ROOT") + "]"
    for line in exported.splitlines():
        line = line.strip()
        if line.startswith("["):
            in_key = line.lower() == wanted.lower()
            continue
        match = VALUE.match(line) if in_key else None
        if match:
            name = "" if match.group(1) == "@" else _unquote(match.group(1))
            data = match.group(2)
            values[name] = _unquote(data) if data.startswith('"') else data
    return values
