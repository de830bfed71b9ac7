"""Text from reports made safe for the page and its plots: escaped for HTML and XML, and without
the characters XML cannot carry (the plots are read back as XML by tests and tools)."""

import html
import re

# Everything XML 1.0 allows, negated: C0 controls but tab and newlines, surrogates, U+FFFE/FFFF.
_NOT_XML = re.compile("[^\t\n\r\u0020-\ud7ff\ue000-\ufffd\U00010000-\U0010ffff]")
REPLACEMENT = "\ufffd"


def escape(text):
    """`text` (any value; None is empty) as element text or a quoted attribute value."""
    text = "" if text is None else str(text)
    return html.escape(_NOT_XML.sub(REPLACEMENT, text), quote=True)
