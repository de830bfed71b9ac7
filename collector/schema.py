"""The Python classes of the report schema (report/pelora_datareport.proto).

They are generated with protoc into a temporary folder when first asked for and imported from
there; nothing generated is kept, so the classes always match the schema the programs are built
with.
"""

import functools
import importlib
import os
import shutil
import subprocess
import sys
import tempfile

REPO_ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), os.pardir))
PROTO_PATH = os.path.join(REPO_ROOT, "report", "pelora_datareport.proto")


class SchemaError(Exception):
    """The classes could not be generated (protoc missing or failing)."""


@functools.lru_cache(maxsize=None)
def load_messages(proto_path=PROTO_PATH, protoc="protoc"):
    """The generated module of the schema (ReportData, ReportItem, ReportValue)."""
    proto_path = os.path.abspath(proto_path)
    if shutil.which(protoc) is None:
        raise SchemaError("%s not found (apt-get install protobuf-compiler)" % protoc)
    out_dir = tempfile.mkdtemp(prefix="pelora-collector-pb2-")
    try:
        result = subprocess.run([protoc, "--proto_path=" + os.path.dirname(proto_path),
                                 "--python_out=" + out_dir, proto_path],
                                stderr=subprocess.PIPE, text=True)
        if result.returncode != 0:
            raise SchemaError("protoc failed on %s: %s" % (proto_path, result.stderr.strip()))
        sys.path.insert(0, out_dir)
        try:
            module_name = os.path.splitext(os.path.basename(proto_path))[0] + "_pb2"
            return importlib.import_module(module_name)
        finally:
            sys.path.remove(out_dir)
    finally:
        # The module is loaded; its generated source is not needed any more.
        shutil.rmtree(out_dir, ignore_errors=True)
