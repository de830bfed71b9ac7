"""The store on both backends: what a committed report leaves in the tables, the deduplication
rule, the reads the funnel and the page make, and SQLite's durability settings."""

import sqlite3
import threading

import pytest

from collector import decode, store as store_module
from collector_client import make_payload, make_report

T0 = 1_700_000_000_000_000


def report(action="installer_start", device="device-1", seq=0, peer="10.0.0.5", **values):
    return decode.decode_report(make_payload(action, device, seq, **values), peer)


def commit(store, reports, rejects=(), received_us=T0):
    writer = store.open_writer()
    try:
        return writer.commit(list(reports), list(rejects), received_us)
    finally:
        writer.close()


def test_a_committed_report_is_one_row_per_item_with_every_column(store):
    payload = make_report("installer_error", "device-9", seq=4, res2=3001).SerializeToString()
    done = make_report("uninstaller_done", "device-9", seq=5, start_ts=17, res5=0, res6=1)
    assert commit(store, [decode.decode_report(payload, "10.1.2.3"),
                          decode.decode_report(done.SerializeToString(), "10.1.2.3")]) == [True, True]
    first, second = list(store.events())
    assert first["received_us"] == T0
    assert (first["device"], first["peer"], first["client_seq"], first["item_index"]) == \
        ("device-9", "10.1.2.3", 4, 0)
    assert (first["action"], first["version"], first["uid"], first["channel"]) == \
        ("installer_error", "1.14.301", "uid-7", "30004")
    assert (first["first_channel"], first["registered_channel"], first["os_version"]) == \
        ("30004", "", "")
    assert first["error_code"] == 3001 and first["duration_s"] is None
    assert (first["bid"], first["tid"]) == ("b_lmq_im_active_base", "interactive_video_data_report")
    assert len(first["message_digest"]) == 64 and first["id"] < second["id"]
    assert (second["duration_s"], second["exit_code"], second["removed_data"]) == (17, 0, 1)
    assert second["error_code"] is None


def test_a_repeat_of_the_devices_last_message_is_not_stored(store):
    start = report("installer_start", seq=0)
    assert commit(store, [start]) == [True]
    assert commit(store, [start]) == [False]
    assert store.count_events() == 1


def test_an_identical_message_after_another_of_its_device_is_stored(store):
    # Two runs of the setup on one machine send byte-identical first messages; a message of
    # that device came between them, so the second is no retry.
    start = report("installer_start", seq=0)
    assert commit(store, [start, report("installer_done", seq=1, start_ts=40)]) == [True, True]
    assert commit(store, [start]) == [True]
    assert [row["action"] for row in store.events()] == \
        ["installer_start", "installer_done", "installer_start"]


def test_repeats_inside_one_transaction_follow_the_same_rule(store):
    start, other = report(seq=0), report("installer_done", seq=1)
    assert commit(store, [start, start, other, start]) == [True, False, True, True]
    assert store.count_events() == 3


def test_devices_are_deduplicated_separately(store):
    assert commit(store, [report(device="a"), report(device="b")]) == [True, True]
    # "a" again right after "b": still a repeat of a's last message.
    assert commit(store, [report(device="a")]) == [False]


def test_without_a_device_identity_the_senders_address_is_the_device(store):
    anonymous = make_payload(device="")
    from_one = decode.decode_report(anonymous, "10.0.0.1")
    from_two = decode.decode_report(anonymous, "10.0.0.2")
    assert commit(store, [from_one, from_two, from_one]) == [True, True, False]
    assert [row["peer"] for row in store.events()] == ["10.0.0.1", "10.0.0.2"]


def test_a_message_without_items_is_not_stored_and_changes_nothing(store):
    start = report(seq=0)
    assert commit(store, [start]) == [True]
    empty = decode.decode_report(b"", "10.0.0.5")
    # Its device is "@10.0.0.5": another key, and it must not become anyone's last message.
    assert commit(store, [empty]) == [False]
    assert commit(store, [start]) == [False]
    assert store.count_events() == 1


def test_a_failed_transaction_keeps_nothing_of_it(store):
    good = report(device="good")
    broken = report(device="broken")
    broken.events[0]["device"] = None  # NOT NULL: the database refuses the row
    with pytest.raises(Exception):
        commit(store, [good, broken], [("10.0.0.1:5", "timeout", "x")])
    assert store.count_events() == 0 and store.reject_counts() == {}
    # Nor did the good report become its device's last message.
    assert commit(store, [good]) == [True]


def test_events_are_read_in_id_order_within_the_time_bounds(store):
    for index, received in enumerate((T0, T0 + 10, T0 + 20)):
        commit(store, [report(seq=index, device="d%d" % index)], received_us=received)
    assert [row["device"] for row in store.events()] == ["d0", "d1", "d2"]
    assert [row["device"] for row in store.events(since_us=T0 + 10)] == ["d1", "d2"]
    assert [row["device"] for row in store.events(until_us=T0 + 20)] == ["d0", "d1"]
    assert [row["device"] for row in store.events(T0 + 10, T0 + 20)] == ["d1"]


def test_rejects_are_counted_by_kind(store):
    commit(store, [], [("10.0.0.1:1", "timeout", "0 of 6 bytes within 10 s"),
                       ("10.0.0.1:2", "timeout", "3 of 6 bytes within 10 s"),
                       ("10.0.0.2:3", "bad_header", "first bytes 4745, not f100")])
    assert store.reject_counts() == {"timeout": 2, "bad_header": 1}
    rows = store.rejects()
    assert [(row["peer"], row["kind"]) for row in rows] == \
        [("10.0.0.1:1", "timeout"), ("10.0.0.1:2", "timeout"), ("10.0.0.2:3", "bad_header")]
    assert rows[2]["detail"] == "first bytes 4745, not f100" and rows[0]["received_us"] == T0


def test_reads_run_on_other_threads_while_the_writer_holds_a_transaction(store):
    commit(store, [report(device="before")])
    writer = store.open_writer()
    try:
        # An open write transaction, as the writer thread holds one while it commits.
        cursor = writer.connection.cursor()
        writer.backend.begin(cursor)
        cursor.execute(writer.backend.sql(store_module.INSERT_REJECT), (T0, "p", "timeout", "d"))
        seen = {}
        reader = threading.Thread(target=lambda: seen.update(
            events=[row["device"] for row in store.events()], count=store.count_events(),
            rejects=store.reject_counts()))
        reader.start()
        reader.join(timeout=20)
        assert not reader.is_alive(), "a read waited for the writer's transaction"
        # The uncommitted reject is not seen.
        assert seen == {"events": ["before"], "count": 1, "rejects": {}}
        writer.connection.rollback()
    finally:
        writer.close()


def test_texts_survive_both_backends_unchanged(store):
    payload = make_payload(device="设备-ü", channel="渠道\x00x")
    commit(store, [decode.decode_report(payload, "10.0.0.5")])
    (row,) = store.events()
    assert row["device"] == "设备-ü" and row["channel"] == "渠道\\x00x"


def test_sqlite_store_is_one_file_in_wal_mode_with_full_sync_and_its_folder_created(tmp_path):
    path = tmp_path / "new" / "folder" / "reports.sqlite3"
    store = store_module.open_store(str(path))
    assert path.is_file()
    writer = store.open_writer()
    try:
        assert writer.connection.execute("PRAGMA journal_mode").fetchone()[0] == "wal"
        # 2 is FULL: the commit waits for the disk.
        assert writer.connection.execute("PRAGMA synchronous").fetchone()[0] == 2
    finally:
        writer.close()
    assert sqlite3.connect(str(path)).execute("PRAGMA journal_mode").fetchone()[0] == "wal"


def test_a_report_on_a_missing_sqlite_file_does_not_create_it(tmp_path):
    path = tmp_path / "absent.sqlite3"
    with pytest.raises(store_module.StoreMissing):
        store_module.open_store(str(path), create=False)
    assert not path.exists()



def test_the_postgresql_writer_waits_for_the_flush_where_the_database_would_not(postgres_url):
    import psycopg2
    admin = psycopg2.connect(postgres_url)
    admin.autocommit = True
    admin.cursor().execute("ALTER DATABASE %s SET synchronous_commit = off"
                           % postgres_url.rsplit("/", 1)[1])
    admin.close()
    writer = store_module.open_store(postgres_url).open_writer()
    try:
        cursor = writer.connection.cursor()
        cursor.execute("SHOW synchronous_commit")
        assert cursor.fetchone()[0] == "on"
    finally:
        writer.close()
