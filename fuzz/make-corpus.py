#!/usr/bin/env python3
# Writes the starting inputs of every fuzz target, from the test fixtures' generators and
# the SQLite forensic corpus, into DIR/<target>/. scripts/fuzz merges them into
# fuzz/corpus/<target>/, keeping only the inputs that add coverage.
#   make-corpus.py DIR
import glob, json, os, shutil, sqlite3, subprocess, sys, tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
FIXTURES = os.path.join(HERE, os.pardir, "tests", "fixtures")
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


# Shared data lives beside the checkout: next to the main one, or one level up from a worktree.
def forensic_corpus():
    folder = os.path.dirname(HERE)
    for _ in range(3):
        folder = os.path.dirname(folder)
        candidate = os.path.join(folder, "shared", "fixtures", "sqlite-forensic-corpus")
        if os.path.isdir(candidate):
            return candidate
    sys.exit("make-corpus.py: the SQLite forensic corpus (shared/fixtures) was not found")


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


if __name__ == "__main__":
    main()
