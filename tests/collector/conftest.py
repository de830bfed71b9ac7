"""Fixtures of the collector's tests: a database of each backend (an SQLite file, or a fresh
database on a PostgreSQL server this session starts from Debian's package), and the collector
itself as the process scripts/collector.sh starts."""

import fcntl
import glob
import os
import pwd
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import uuid

import pytest

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), os.pardir, os.pardir))
if ROOT not in sys.path:
    sys.path.insert(0, ROOT)
sys.path.insert(0, os.path.dirname(__file__))

from collector import store as store_module  # noqa: E402
from collector_client import COLLECTOR_SCRIPT  # noqa: E402

PG_BIN_PATTERN = "/usr/lib/postgresql/*/bin"
INSTALL_HINT = "apt-get install postgresql python3-psycopg2"
# Held while a worker picks a free port and starts its server on it, so that the test workers,
# each with a server of its own, never pick the same one.
PG_PORT_LOCK = os.path.join(tempfile.gettempdir(), "pelora-collector-tests-pg-port.lock")
PG_START_ATTEMPTS = 3


def _pg_bin_folder():
    """The newest /usr/lib/postgresql/N/bin with initdb and pg_ctl; skips the test without."""
    folders = sorted(glob.glob(PG_BIN_PATTERN), key=lambda path: int(path.split("/")[-2]))
    for folder in reversed(folders):
        if all(os.access(os.path.join(folder, name), os.X_OK) for name in ("initdb", "pg_ctl")):
            return folder
    missing = "initdb" if not glob.glob(os.path.join(PG_BIN_PATTERN, "initdb")) else "pg_ctl"
    pytest.skip("PostgreSQL's %s not found in %s (%s)" % (missing, PG_BIN_PATTERN, INSTALL_HINT))


class PostgresServer:
    """A PostgreSQL server in a temporary folder, on 127.0.0.1 with trust authentication.
    initdb and postgres refuse to run as root: then they run as the postgres system user."""

    def __init__(self, bin_folder):
        self.bin_folder = bin_folder
        self.port = None
        self.as_user = []
        account = None
        if os.geteuid() == 0:
            try:
                account = pwd.getpwnam("postgres")
            except KeyError:
                pytest.skip("running as root and there is no postgres user to run PostgreSQL as "
                            "(%s creates it)" % INSTALL_HINT)
            self.as_user = ["runuser", "-u", "postgres", "--"]
        # The postgres user must reach its folder: a test run's own TMPDIR may be closed to
        # other users (the test script's is), /tmp never is.
        self.folder = tempfile.mkdtemp(prefix="pelora-collector-pg-",
                                       dir="/tmp" if account else None)
        self.data = os.path.join(self.folder, "data")
        self.sockets = os.path.join(self.folder, "sockets")
        self.log = os.path.join(self.folder, "server.log")
        os.makedirs(self.sockets)
        if account:
            for path in (self.folder, self.sockets):
                os.chown(path, account.pw_uid, account.pw_gid)

    def _run(self, program, *arguments):
        # From "/": the postgres user may not enter the test's working folder either.
        return subprocess.run(self.as_user + [os.path.join(self.bin_folder, program), *arguments],
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, cwd="/")

    def init(self):
        result = self._run("initdb", "-D", self.data, "-U", "postgres", "--auth=trust",
                           "-E", "UTF8", "--locale=C", "--no-sync")
        if result.returncode != 0:
            raise RuntimeError("initdb failed:\n" + result.stdout)

    def start(self):
        with open(PG_PORT_LOCK, "w") as lock:
            fcntl.flock(lock, fcntl.LOCK_EX)
            for _ in range(PG_START_ATTEMPTS):
                self.port = _free_port()
                # The tests kill collectors, never this server: it need not survive a crash.
                options = ("-p %d -k %s -c listen_addresses=127.0.0.1 -c fsync=off "
                           "-c full_page_writes=off" % (self.port, self.sockets))
                result = self._run("pg_ctl", "-D", self.data, "-l", self.log, "-w", "-t", "60",
                                   "-o", options, "start")
                if result.returncode == 0:
                    return
        raise RuntimeError("PostgreSQL did not start:\n" + _read(self.log))

    def url(self, database="postgres"):
        return "postgresql://postgres@127.0.0.1:%d/%s" % (self.port, database)

    def stop(self):
        if self.port is not None:
            # Its folder goes next: no need for a clean shutdown.
            self._run("pg_ctl", "-D", self.data, "-m", "immediate", "-w", "stop")
        shutil.rmtree(self.folder, ignore_errors=True)


def _free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def _read(path):
    try:
        with open(path, encoding="utf-8", errors="replace") as file:
            return file.read()
    except OSError:
        return ""


@pytest.fixture(scope="session")
def postgres_server():
    """One server per test process (each xdist worker starts its own)."""
    try:
        import psycopg2  # noqa: F401
    except ImportError:
        pytest.skip("psycopg2 is missing (%s)" % INSTALL_HINT)
    server = PostgresServer(_pg_bin_folder())
    try:
        server.init()
        server.start()
        yield server
    finally:
        server.stop()


@pytest.fixture
def postgres_url(request):
    """A fresh, empty database on the session's server, dropped after the test."""
    import psycopg2
    server = request.getfixturevalue("postgres_server")
    name = "collector_" + uuid.uuid4().hex[:12]
    admin = psycopg2.connect(server.url())
    admin.autocommit = True
    try:
        admin.cursor().execute("CREATE DATABASE %s" % name)
        yield server.url(name)
        admin.cursor().execute("DROP DATABASE %s WITH (FORCE)" % name)
    finally:
        admin.close()


@pytest.fixture(params=["sqlite", "postgresql"])
def db(request, tmp_path):
    """The --db argument of a new, empty store of each backend."""
    if request.param == "sqlite":
        return str(tmp_path / "store" / "reports.sqlite3")
    return request.getfixturevalue("postgres_url")


@pytest.fixture
def store(db):
    return store_module.open_store(db)


class CollectorProcess:
    """`scripts/collector.sh serve` on a free port, with its stdout and stderr at hand."""

    def __init__(self, db, folder, frame_timeout=2.0, env=None, command=("serve",)):
        """`db` None leaves the database to the default; `env` replaces the environment."""
        self.db = db
        self.stderr_path = os.path.join(folder, "collector-%s.err" % uuid.uuid4().hex[:8])
        self._stderr = open(self.stderr_path, "w")
        self.process = subprocess.Popen(
            [COLLECTOR_SCRIPT, *command, *(["--db", db] if db else []),
             "--listen", "127.0.0.1:0", "--http", "off", "--frame-timeout", str(frame_timeout)],
            stdout=subprocess.PIPE, stderr=self._stderr, text=True,
            env=env if env is not None else os.environ)
        line = self.process.stdout.readline()
        if not line.startswith("LISTENING "):
            self.process.kill()
            raise RuntimeError("collector did not start: %r\n%s" % (line, self.stderr()))
        self.port = int(line.split()[1])

    def stderr(self):
        return _read(self.stderr_path)

    def running(self):
        return self.process.poll() is None

    def terminate(self, timeout=30):
        """SIGTERM, then the exit code."""
        self.process.send_signal(signal.SIGTERM)
        return self.process.wait(timeout=timeout)

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
        self.process.wait()
        self._stderr.close()


@pytest.fixture
def start_collector(tmp_path):
    """Starts collectors on demand; kills those still running after the test."""
    started = []

    def start(db, **options):
        collector = CollectorProcess(db, str(tmp_path), **options)
        started.append(collector)
        return collector

    yield start
    for collector in started:
        collector.kill()
