#!/usr/bin/env python3
# Writes the starting inputs of every fuzz target, from the test fixtures' generators, the
# adb and companion stand-ins and the SQLite forensic corpus, into DIR/<target>/. scripts/fuzz merges them into
# fuzz/corpus/<target>/, keeping only the inputs that add coverage.
#   make-corpus.py DIR
import glob, json, os, shutil, sqlite3, subprocess, sys, tempfile
import datetime, importlib.machinery, importlib.util, plistlib, struct

HERE = os.path.dirname(os.path.abspath(__file__))
FIXTURES = os.path.join(HERE, os.pardir, "tests", "fixtures")
PLATFORM = os.path.join(HERE, os.pardir, "platform")
# The fuzz target unlocks every keybag with the key this password gives (see FuzzKeyBag.cpp).
KEYBAG_PASSWORD = "fuzz"
# Larger databases make each run slow and add little that the smaller ones lack.
MAX_DATABASE_BYTES = 256 * 1024

sys.path.insert(0, FIXTURES)
from output_path import output_path  # noqa: E402


def run(script, *args, stdin=None):
    return subprocess.run([sys.executable, os.path.join(FIXTURES, script), *args], input=stdin,
                          stdout=subprocess.PIPE, check=True, text=True).stdout


def copy(path, out, target, name):
    os.makedirs(os.path.join(out, target), exist_ok=True)
    shutil.copyfile(path, os.path.join(out, target, name))


def write(data, out, target, name):
    os.makedirs(os.path.join(out, target), exist_ok=True)
    with open(os.path.join(out, target, name), "wb") as f:
        f.write(data)


def backups(out, work):
    layout = {"udid": "0" * 40, "device_name": "Phone", "product_type": "iPhone4,1",
              "product_version": "5.1.1", "serial": "X", "records": [
                  {"domain": "HomeDomain", "path": "Library/SMS/sms.db", "text": "x"},
                  {"domain": "HomeDomain", "path": "Library/SMS", "folder": True},
                  {"domain": "MediaDomain", "path": "Library/SMS/Attachments/a.jpg", "hex": "ffd8ff",
                   "pclass": 2},
                  {"domain": "HomeDomain", "path": "link", "link": "Library/SMS"}]}
    for name, changes in (("plain-xml", {}), ("plain-binary", {"plist_format": "binary"}),
                          ("encrypted", {"password": KEYBAG_PASSWORD, "plist_format": "binary"})):
        folder = os.path.join(work, name)
        run("itunes/mkbackup.py", "backup", folder, stdin=json.dumps(dict(layout, **changes)))
        copy(os.path.join(folder, "Manifest.mbdb"), out, "mbdb", name + ".mbdb")
        copy(os.path.join(folder, "Manifest.plist"), out, "plist", name + ".plist")


def mbdb_cases(out, work):
    folder = os.path.join(work, "mbdb")
    os.makedirs(folder)
    run("itunes/mbdb.py", "make", folder)
    for path in glob.glob(os.path.join(folder, "*.given")):
        copy(path, out, "mbdb", os.path.basename(path))


def plists(out, work):
    folder = os.path.join(work, "plist")
    os.makedirs(folder)
    run("model/plist_sample.py", "write", folder)
    for name in ("sample.bin", "sample.xml"):
        copy(os.path.join(folder, name), out, "plist", name)


def keybags(out):
    summary = json.loads(run("itunes/mkbackup.py", "keybag", KEYBAG_PASSWORD))
    bag = bytes.fromhex(summary["keybag"])
    # The stored form of a file key is its class (4 bytes, little-endian) and the wrapped key.
    wrapped_file_key = bytes.fromhex(summary["stored_file_key"])[4:]
    write(bag + wrapped_file_key, out, "keybag", "classes-1-to-4")


def forensic_corpus():
    folder = os.path.join(FIXTURES, "sqlite-forensic-corpus")
    if not os.path.isdir(folder):
        sys.exit("make-corpus.py: the SQLite forensic corpus is missing from " + folder)
    return folder


def databases(out, work):
    made = [("ios5.db", "msgdb/ios5_smsdb.py", ["--deleted"]),
            ("ios6.db", "msgdb/device_smsdb.py", ["--deleted"]),
            ("ios6-later.db", "msgdb/device_smsdb.py", ["--later"]),
            ("localdb.db", "msgdb/old_localdb.py", [])]
    for name, script, options in made:
        path = os.path.join(work, name)
        run(script, path, *options)
        copy(path, out, "sqlite", name)
    path = os.path.join(work, "ios6-wal.db")
    run("msgdb/device_smsdb.py", path, "--wal", "--deleted")
    copy(path, out, "sqlite", "ios6-wal.db")
    copy(path + "-wal", out, "wal", "ios6-wal.db-wal")
    for path in sorted(glob.glob(os.path.join(forensic_corpus(), "*", "*.db"))):
        if os.path.getsize(path) <= MAX_DATABASE_BYTES:
            copy(path, out, "sqlite", "forensic-" + os.path.basename(path))


# Logs of a few page sizes holding inserts, an update and deletes, copied while the
# connection is open, as a phone's files are: nothing is checkpointed into the database.
def logs(out, work):
    for page_size in (512, 4096):
        path = os.path.join(work, "log-%d.db" % page_size)
        db = sqlite3.connect(path)
        db.execute("PRAGMA page_size=%d" % page_size)
        db.execute("PRAGMA secure_delete=OFF")
        db.execute("PRAGMA auto_vacuum=NONE")
        db.execute("PRAGMA journal_mode=WAL")
        db.execute("PRAGMA wal_autocheckpoint=0")
        db.execute("CREATE TABLE message (ROWID INTEGER PRIMARY KEY, address TEXT, date INTEGER, text TEXT, "
                   "flags INTEGER, replace INTEGER DEFAULT 0)")
        for i in range(40):
            db.execute("INSERT INTO message(address, date, text, flags) VALUES (?, ?, ?, 2)",
                       ("+4930%07d" % i, 400000000 + i, "message %d " % i * (i % 7 + 1)))
            db.commit()
        db.execute("UPDATE message SET text = 'changed' WHERE ROWID % 5 = 0")
        db.execute("DELETE FROM message WHERE ROWID % 3 = 0")
        db.commit()
        copy(path + "-wal", out, "wal", "log-%d.db-wal" % page_size)
        db.close()


# What the adb stand-in prints for the commands the program runs, as adb_run hands it on:
# the error text, a line feed and the output when there is an error text, else the output.
def adb_outputs(out, work):
    state = os.path.join(work, "adb")
    os.makedirs(os.path.join(state, "phones", "REFUSING"))
    with open(os.path.join(state, "devices.json"), "w") as f:
        json.dump([["0123456789ABCDEF", "device"], ["192.168.1.5:5555", "offline"], ["emulator-5554", "unauthorized"],
                   ["REFUSING", "device"]], f)
    with open(os.path.join(state, "phones", "REFUSING", "phone.json"), "w") as f:
        json.dump({"scenario": {"broadcast": "error"}}, f)
    with open(os.path.join(work, "app.apk"), "wb") as f:
        f.write(b"PK")
    phone = ["-s", "0123456789ABCDEF"]
    broadcast = ["shell", "am", "broadcast", "-n", "other/.Receiver", "-d", "device2://127.0.0.1:10001"]
    commands = [("devices-starting-the-server", ["devices"]), ("devices", ["devices"]),
                ("packages", phone + ["shell", "pm", "-l"]), ("install", phone + ["install", "app.apk"]),
                ("missing-file", phone + ["install", "missing.apk"]), ("broadcast", phone + broadcast),
                ("broadcast-refused", ["-s", "REFUSING"] + broadcast),
                ("unauthorized", ["-s", "emulator-5554", "shell", "pm", "-l"]),
                ("kill-server", ["kill-server"]), ("no-server", ["kill-server"]), ("start-server", ["start-server"])]
    for name, args in commands:
        done = subprocess.run([os.path.join(PLATFORM, "adb", "adb"), *args], cwd=work,
                              env=dict(os.environ, FAKE_ADB_DIR=state), stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              check=False)
        if done.stdout or done.stderr:
            write(done.stderr + b"\n" + done.stdout if done.stderr else done.stdout, out, "adb", name)


# Sessions as the companion stand-in sends them, from its own payload makers.
def companion_sessions(out, work):
    loader = importlib.machinery.SourceFileLoader("companion", os.path.join(PLATFORM, "companion", "companion"))
    companion = importlib.util.module_from_spec(importlib.util.spec_from_loader("companion", loader))
    loader.exec_module(companion)
    hello = companion.Phone(os.path.join(work, "0123456789ABCDEF")).hello_payload()
    records = [[1400000000000, 0, "+15551234567", "Ann", "hello \u00e9", ""],
               [1400000060000, 1, "+15551234567", "", "back", "subject"]]
    sessions = {
        "device2": ["$ready:", "$hello:" + hello, "$bye:"],
        "backup2": ["$ready:", "$hint:before the count", "$count:%d" % len(records), "$batch:"]
                   + ["$sms:" + companion.record_line(r) for r in records] + ["$end:", "$bye:"],
        "restore2": ["$ready:", "$defsmsapp:1", "$batch:", "$error:" + companion.b64("storage full")],
        "start-error": ["$error:" + companion.b64("cannot listen")],
        "launcher-refusal": ["0" + companion.b64("no such session")],
    }
    for name, lines in sessions.items():
        write("".join(line + "\n" for line in lines).encode("utf-8"), out, "companion", name)
    write(b"$ready:\r\n$hello:version=3;model=X;\r\n", out, "companion", "crlf")


def afc_packet(operation, payload):
    length = 40 + len(payload)
    return b"CFA6LPAA" + struct.pack("<QQQQ", length, length, 0, operation) + payload


# Replies of the kinds the AFC tests' phone gives.
def afc_replies(out):
    status, data, opened = 1, 2, 14
    replies = {
        "status-ok": afc_packet(status, struct.pack("<Q", 0)),
        "status-refused": afc_packet(status, struct.pack("<Q", 8)),
        "directory": afc_packet(data, b".\0..\0sms.db\0Attachments\0"),
        "file-info": afc_packet(data, b"\0".join([b"st_size", b"2048", b"st_ifmt", b"S_IFDIR", b"st_mtime",
                                                  b"1400000000000000000", b"st_nlink", b""])),
        "file-opened": afc_packet(opened, struct.pack("<Q", 5)),
        "file-data": afc_packet(data, b"hello"),
        "unknown-operation": afc_packet(99, struct.pack("<Q", 7)),
    }
    for name, packet in replies.items():
        write(packet, out, "afc", name)


# Messages of the kinds the DeviceLink and mobilebackup2 tests' phones send, in both formats.
def device_link_messages(out):
    def process(dictionary):
        return ["DLMessageProcessMessage", dictionary]
    messages = {
        "device-ready": ["DLMessageDeviceReady"],
        "version-exchange": ["DLMessageVersionExchange", 300, 0],
        "ping": ["DLMessagePing", "busy"],
        "hello-response": process({"MessageName": "Response", "ErrorCode": 0, "ProtocolVersion": 2.1}),
        "no-common-version": process({"MessageName": "Response", "ErrorCode": 1}),
        "info": process({"MessageName": "Info", "Data": b"\x00\xff", "Date": datetime.datetime(2014, 6, 30),
                         "Flag": True, "List": [-1, 2 ** 40, "x"]}),
        "download-files": ["DLMessageDownloadFiles", ["Snapshot/Manifest.plist"], {"BackupTotalSizeKey": 1024}, 0.5],
        "disconnect": ["DLMessageDisconnect", "___EmptyParameterString___"],
    }
    for name, message in messages.items():
        write(plistlib.dumps(message, fmt=plistlib.FMT_XML), out, "devicelink", name + ".xml")
        write(plistlib.dumps(message, fmt=plistlib.FMT_BINARY), out, "devicelink", name + ".bin")


def odc_member(name, mode, data):
    encoded = name.encode("utf-8") + b"\0"
    header = b"070707" + b"%06o%06o%06o%06o%06o%06o%06o%011o%06o%011o" % (
        0, 1, mode, 0, 0, 1, 0, 1400000000, len(encoded), len(data))
    return header + encoded + data


# Archives of the kinds the file_relay tests' phones send, gzip-compressed as phones do and
# plain, and one in the older "odc" cpio layout.
def file_relay_archives(out, work):
    archives = {
        "databases": [{"name": ".", "type": "dir"}, {"name": "./var/mobile/Library/SMS", "type": "dir"},
                      {"name": "./var/mobile/Library/SMS/sms.db", "size": 600},
                      {"name": "./var/mobile/Library/SMS/sms.db-wal", "size": 40},
                      {"name": "./var/mobile/Library/AddressBook/AddressBook.sqlitedb", "data": "ab"}],
        "hostile": [{"name": "../../escape", "data": "out"}, {"name": "/abs", "data": "out"},
                    {"name": "./a:b*?.txt", "size": 30}, {"name": "link", "type": "symlink", "target": "/"},
                    {"name": "link/through", "data": "in"},
                    {"name": "second", "type": "hardlink", "target": "./a:b*?.txt"},
                    {"name": "pipe", "type": "fifo"}, {"name": "twice", "data": "first"},
                    {"name": "./twice", "data": "second"}, {"name": "twice/below", "data": "folder"}],
    }
    for name, entries in archives.items():
        for compression in ("gzip", "none"):
            path = os.path.join(work, "%s-%s.cpio" % (name, compression))
            run("ios/cpio.py", "write", path, compression, stdin=json.dumps(entries))
            copy(path, out, "filerelay", os.path.basename(path))
    write(odc_member("sms.db", 0o100644, b"SQLite format 3\0") + odc_member("TRAILER!!!", 0, b""), out, "filerelay",
          "odc.cpio")


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make-corpus.py DIR")
    out = output_path(sys.argv[1])
    with tempfile.TemporaryDirectory() as work:
        backups(out, work)
        mbdb_cases(out, work)
        plists(out, work)
        keybags(out)
        databases(out, work)
        logs(out, work)
        adb_outputs(out, work)
        companion_sessions(out, work)
        afc_replies(out)
        device_link_messages(out)
        file_relay_archives(out, work)


if __name__ == "__main__":
    main()
