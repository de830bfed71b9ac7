"""Text from reports made safe for the page and its plots: escaped for HTML and XML, without the
characters XML cannot carry (the plots are read back as XML by tests and tools), and of bounded
length (a sender may put a megabyte into a channel name)."""

import html
import re

# Everything XML 1.0 allows, negated: C0 controls but tab and newlines, surrogates, U+FFFE/FFFF.
_NOT_XML = re.compile("[^\t\n\r\u0020-\ud7ff\ue000-\ufffd\U00010000-\U0010ffff]")
REPLACEMENT = "\ufffd"
# The longest text from a report the page shows whole; funnel.json has every character.
SHOWN_MAX_CHARS = 200


def escape(text):
    """`text` (any value; None is empty) as element text or a quoted attribute value."""
    text = "" if text is None else str(text)
    return html.escape(_NOT_XML.sub(REPLACEMENT, text), quote=True)


def shorten(text, limit=SHOWN_MAX_CHARS):
    """`text` (any value; None is empty), cut with "…" past `limit` characters."""
    text = "" if text is None else str(text)
    return text if len(text) <= limit else text[:limit] + "…"
