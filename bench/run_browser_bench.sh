#!/bin/sh
# Times the cleaning of today's browsers beside BleachBit doing the same on
# an identical copy, in one run, alternating. Each home holds a Firefox
# profile and a Chromium profile of the same size: 50,000 disk cache files
# (kept apart under ~/.cache, as on Linux), 100,000 history rows (places and
# visits; a few places bookmarked), 5,000 cookies, 1,000 form entries and
# the session files. Ours: `machine link-browsers`, then `clean` with cookies,
# history, caches and form entries on and the safety deletion off; BleachBit:
#
#   bleachbit --clean firefox.cache firefox.cookies firefox.url_history
#     firefox.forms firefox.session_restore chromium.cache chromium.cookies
#     chromium.history chromium.form_history chromium.session
#
# with HOME at the copy. Target: ours / BleachBit <= 0.5. After each run the
# script compares what is left in both homes (rows of every table, files of
# the caches and sessions) and fails on any difference.
#
#   bench/run_browser_bench.sh [build-dir] [runs]
#
# KX_BENCH_DIR picks the place (default /var/tmp). Needs python3 (to lay
# out the profiles) and bleachbit.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
. "$here/common.sh"
build=${1:-"$here/../build"}
runs=${2:-3}
base=${KX_BENCH_DIR:-/var/tmp}
work="$base/kx-browser-bench"
if ! command -v bleachbit >/dev/null; then
    echo "browsers: skipped, bleachbit (the peer) is not installed (apt-get install bleachbit)"
    exit 0
fi
fresh_machine
set_options Cookies=1 Recent=1 INetTempFiles=1 AutoFillOff=1 Security=0

# Lays out one home with both profiles.
lay_out() {
    rm -rf "$1"
    python3 - "$1" <<'EOF'
import os, sqlite3, sys
home = sys.argv[1]
N_CACHE, N_HISTORY, N_COOKIES, N_FORMS = (int(os.environ.get(k, d)) for k, d in (
    ("N_CACHE", 50000), ("N_HISTORY", 100000), ("N_COOKIES", 5000), ("N_FORMS", 1000)))

def files(folder, count, stem):
    os.makedirs(folder, exist_ok=True)
    body = b"x" * 512
    for i in range(count):
        with open(os.path.join(folder, "%s%06X" % (stem, i)), "wb") as f:
            f.write(body)

def database(path, script, rows):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    con = sqlite3.connect(path)
    con.executescript(script)
    for sql, values in rows:
        con.executemany(sql, values)
    con.commit()
    con.close()

ff = os.path.join(home, ".mozilla/firefox")
profile = os.path.join(ff, "p1.default")
os.makedirs(profile)
with open(os.path.join(ff, "profiles.ini"), "w") as f:
    f.write("[Profile0]\nName=default\nIsRelative=1\nPath=p1.default\nDefault=1\n")
files(os.path.join(home, ".cache/mozilla/firefox/p1.default/cache2/entries"), N_CACHE, "E")
database(os.path.join(profile, "places.sqlite"),
         "PRAGMA journal_mode=WAL;"
         "CREATE TABLE moz_places(id INTEGER PRIMARY KEY, url LONGVARCHAR, title LONGVARCHAR,"
         " rev_host LONGVARCHAR, visit_count INTEGER DEFAULT 0, hidden INTEGER DEFAULT 0 NOT NULL,"
         " typed INTEGER DEFAULT 0 NOT NULL, frecency INTEGER DEFAULT -1 NOT NULL,"
         " last_visit_date INTEGER, guid TEXT, foreign_count INTEGER DEFAULT 0 NOT NULL,"
         " url_hash INTEGER DEFAULT 0 NOT NULL, description TEXT, preview_image_url TEXT,"
         " site_name TEXT, origin_id INTEGER, recalc_frecency INTEGER NOT NULL DEFAULT 0,"
         " alt_frecency INTEGER, recalc_alt_frecency INTEGER NOT NULL DEFAULT 0);"
         "CREATE TABLE moz_inputhistory(place_id INTEGER NOT NULL, input LONGVARCHAR NOT NULL,"
         " use_count INTEGER, PRIMARY KEY (place_id, input));"
         "CREATE TABLE moz_anno_attributes(id INTEGER PRIMARY KEY, name VARCHAR(32) UNIQUE NOT NULL);"
         "CREATE TABLE moz_annos(id INTEGER PRIMARY KEY, place_id INTEGER NOT NULL,"
         " anno_attribute_id INTEGER, content LONGVARCHAR, flags INTEGER DEFAULT 0,"
         " expiration INTEGER DEFAULT 0, type INTEGER DEFAULT 0, dateAdded INTEGER DEFAULT 0,"
         " lastModified INTEGER DEFAULT 0);"
         "CREATE TABLE moz_items_annos(id INTEGER PRIMARY KEY, item_id INTEGER NOT NULL,"
         " anno_attribute_id INTEGER, content LONGVARCHAR, flags INTEGER DEFAULT 0,"
         " expiration INTEGER DEFAULT 0, type INTEGER DEFAULT 0, dateAdded INTEGER DEFAULT 0,"
         " lastModified INTEGER DEFAULT 0);"
         "CREATE TABLE moz_keywords(id INTEGER PRIMARY KEY AUTOINCREMENT, keyword TEXT UNIQUE,"
         " place_id INTEGER, post_data TEXT);"
         "CREATE TABLE moz_historyvisits(id INTEGER PRIMARY KEY, from_visit INTEGER,"
         " place_id INTEGER, visit_date INTEGER, visit_type INTEGER);"
         "CREATE TABLE moz_bookmarks(id INTEGER PRIMARY KEY, type INTEGER, fk INTEGER,"
         " parent INTEGER, title TEXT);"
         "CREATE TABLE moz_origins(id INTEGER PRIMARY KEY, prefix TEXT NOT NULL, host TEXT NOT NULL,"
         " frecency INTEGER NOT NULL, recalc_frecency INTEGER NOT NULL DEFAULT 0,"
         " alt_frecency INTEGER, recalc_alt_frecency INTEGER NOT NULL DEFAULT 0);",
         [("INSERT INTO moz_origins(id, prefix, host, frecency) VALUES (?, 'https://', ?, 1)",
           [(i + 1, "site%d.example" % i) for i in range(1000)]),
          ("INSERT INTO moz_places(id, url, title, visit_count, last_visit_date, origin_id)"
           " VALUES (?, ?, ?, 1, 1700000000000000, ?)",
           [(i + 1, "https://site%d.example/page/%d" % (i % 1000, i), "Page %d" % i, i % 1000 + 1)
            for i in range(N_HISTORY)]),
          ("INSERT INTO moz_historyvisits(place_id, visit_date, visit_type) VALUES (?, 1, 1)",
           [(i + 1,) for i in range(N_HISTORY)]),
          ("INSERT INTO moz_bookmarks(type, fk, parent, title) VALUES (1, ?, 2, 'b')",
           [(i * 997 + 1,) for i in range(10)])])
database(os.path.join(profile, "cookies.sqlite"),
         "PRAGMA journal_mode=WAL;"
         "CREATE TABLE moz_cookies(id INTEGER PRIMARY KEY, originAttributes TEXT NOT NULL DEFAULT '',"
         " name TEXT, value TEXT, host TEXT, path TEXT, expiry INTEGER, lastAccessed INTEGER,"
         " creationTime INTEGER, isSecure INTEGER, isHttpOnly INTEGER);",
         [("INSERT INTO moz_cookies(name, value, host, path, expiry, isSecure) "
           "VALUES ('id', ?, ?, '/', 2000000000, 1)",
           [("v%d" % i, ".site%d.example" % i) for i in range(N_COOKIES)])])
database(os.path.join(profile, "formhistory.sqlite"),
         "CREATE TABLE moz_formhistory(id INTEGER PRIMARY KEY, fieldname TEXT NOT NULL,"
         " value TEXT NOT NULL, timesUsed INTEGER, firstUsed INTEGER, lastUsed INTEGER, guid TEXT);",
         [("INSERT INTO moz_formhistory(fieldname, value) VALUES ('q', ?)",
           [("query %d" % i,) for i in range(N_FORMS)])])
for name in ("sessionstore.jsonlz4", "sessionstore-backups/recovery.jsonlz4",
             "sessionstore-backups/previous.jsonlz4"):
    os.makedirs(os.path.dirname(os.path.join(profile, name)), exist_ok=True)
    with open(os.path.join(profile, name), "wb") as f:
        f.write(b"mozLz40\0" + b"s" * 4096)

cr = os.path.join(home, ".config/chromium")
default = os.path.join(cr, "Default")
os.makedirs(default)
with open(os.path.join(cr, "Local State"), "w") as f:
    f.write('{"profile": {"info_cache": {"Default": {"name": "Person 1"}}}}')
with open(os.path.join(default, "Preferences"), "w") as f:
    f.write("{}")
files(os.path.join(home, ".cache/chromium/Default/Cache/Cache_Data"), N_CACHE, "f_")
database(os.path.join(default, "History"),
         "CREATE TABLE urls(id INTEGER PRIMARY KEY, url LONGVARCHAR, title LONGVARCHAR,"
         " visit_count INTEGER DEFAULT 0 NOT NULL, typed_count INTEGER DEFAULT 0 NOT NULL,"
         " last_visit_time INTEGER NOT NULL, hidden INTEGER DEFAULT 0 NOT NULL);"
         "CREATE TABLE visits(id INTEGER PRIMARY KEY, url INTEGER NOT NULL,"
         " visit_time INTEGER NOT NULL, from_visit INTEGER, transition INTEGER DEFAULT 0 NOT NULL);"
         "CREATE TABLE keyword_search_terms(keyword_id INTEGER NOT NULL, url_id INTEGER NOT NULL,"
         " term LONGVARCHAR NOT NULL, normalized_term LONGVARCHAR NOT NULL);"
         "CREATE TABLE meta(key LONGVARCHAR NOT NULL UNIQUE PRIMARY KEY, value LONGVARCHAR);"
         "INSERT INTO meta VALUES ('version', '66'), ('last_compatible_version', '16');"
         "CREATE TABLE segments(id INTEGER PRIMARY KEY, name VARCHAR, url_id INTEGER NON NULL);"
         "CREATE TABLE segment_usage(id INTEGER PRIMARY KEY, segment_id INTEGER NOT NULL,"
         " time_slot INTEGER NOT NULL, visit_count INTEGER DEFAULT 0 NOT NULL);"
         "CREATE TABLE visit_source(id INTEGER PRIMARY KEY, source INTEGER NOT NULL);"
         "CREATE TABLE downloads(id INTEGER PRIMARY KEY, guid VARCHAR NOT NULL,"
         " current_path LONGVARCHAR NOT NULL, target_path LONGVARCHAR NOT NULL);"
         "CREATE TABLE downloads_url_chains(id INTEGER NOT NULL, chain_index INTEGER NOT NULL,"
         " url LONGVARCHAR NOT NULL, PRIMARY KEY (id, chain_index));",
         [("INSERT INTO urls(id, url, title, visit_count, last_visit_time) VALUES (?, ?, ?, 1, 1)",
           [(i + 1, "https://site%d.example/page/%d" % (i % 1000, i), "Page %d" % i)
            for i in range(N_HISTORY)]),
          ("INSERT INTO visits(url, visit_time) VALUES (?, 1)", [(i + 1,) for i in range(N_HISTORY)])])
database(os.path.join(default, "Cookies"),
         "CREATE TABLE cookies(creation_utc INTEGER NOT NULL, host_key TEXT NOT NULL,"
         " top_frame_site_key TEXT NOT NULL DEFAULT '', name TEXT NOT NULL, value TEXT NOT NULL,"
         " encrypted_value BLOB DEFAULT '', path TEXT NOT NULL, expires_utc INTEGER NOT NULL,"
         " is_secure INTEGER NOT NULL, is_httponly INTEGER NOT NULL DEFAULT 0);",
         [("INSERT INTO cookies(creation_utc, host_key, name, value, path, expires_utc, is_secure) "
           "VALUES (?, ?, 'id', ?, '/', 13400000000000000, 1)",
           [(i, ".site%d.example" % i, "v%d" % i) for i in range(N_COOKIES)])])
database(os.path.join(default, "Web Data"),
         "CREATE TABLE autofill(name VARCHAR, value VARCHAR, value_lower VARCHAR,"
         " date_created INTEGER DEFAULT 0, date_last_used INTEGER DEFAULT 0,"
         " count INTEGER DEFAULT 1, PRIMARY KEY (name, value));"
         "CREATE TABLE autofill_profile_names(guid VARCHAR, first_name VARCHAR,"
         " middle_name VARCHAR, last_name VARCHAR, full_name VARCHAR);"
         "CREATE TABLE autofill_profile_emails(guid VARCHAR, email VARCHAR);"
         "CREATE TABLE autofill_profile_phones(guid VARCHAR, number VARCHAR);"
         "CREATE TABLE autofill_profiles(guid VARCHAR PRIMARY KEY, company_name VARCHAR,"
         " street_address VARCHAR, city VARCHAR, state VARCHAR, zipcode VARCHAR,"
         " country_code VARCHAR, date_modified INTEGER NOT NULL DEFAULT 0);"
         "CREATE TABLE server_addresses(id VARCHAR, company_name VARCHAR, street_address VARCHAR,"
         " city VARCHAR, zip_code VARCHAR, country_code VARCHAR, phone_number VARCHAR);"
         "CREATE TABLE meta(key LONGVARCHAR NOT NULL UNIQUE PRIMARY KEY, value LONGVARCHAR);"
         "INSERT INTO meta VALUES ('version', '108');",
         [("INSERT INTO autofill(name, value, value_lower) VALUES ('q', ?, ?)",
           [("query %d" % i, "query %d" % i) for i in range(N_FORMS)])])
os.makedirs(os.path.join(default, "Sessions"))
for name in ("Sessions/Session_13400000000000000", "Sessions/Tabs_13400000000000000",
             "Current Session", "Current Tabs"):
    with open(os.path.join(default, name), "wb") as f:
        f.write(b"SNSS" + b"s" * 4096)
EOF
}

# What is left in a home: the rows of every table, the files of the caches
# and sessions, one line each.
left_in() {
    python3 - "$1" <<'EOF'
import os, sqlite3, sys
home = sys.argv[1]
checks = [
    (".mozilla/firefox/p1.default/cookies.sqlite", "SELECT count(*) FROM moz_cookies"),
    (".mozilla/firefox/p1.default/places.sqlite", "SELECT count(*) FROM moz_historyvisits"),
    (".mozilla/firefox/p1.default/places.sqlite", "SELECT count(*) FROM moz_places"),
    (".mozilla/firefox/p1.default/formhistory.sqlite", "SELECT count(*) FROM moz_formhistory"),
    (".config/chromium/Default/Cookies", "SELECT count(*) FROM cookies"),
    (".config/chromium/Default/History", "SELECT count(*) FROM urls"),
    (".config/chromium/Default/History", "SELECT count(*) FROM visits"),
    (".config/chromium/Default/Web Data", "SELECT count(*) FROM autofill"),
]
for path, sql in checks:
    full = os.path.join(home, path)
    # A database removed as a whole has no rows left.
    rows = 0
    if os.path.exists(full):
        con = sqlite3.connect(full)
        rows = con.execute(sql).fetchone()[0]
        con.close()
    print("rows", path, sql.split()[-1], rows)
for folder in (".cache/mozilla/firefox/p1.default", ".cache/chromium/Default",
               ".mozilla/firefox/p1.default/sessionstore-backups", ".config/chromium/Default/Sessions"):
    count = sum(len(f) for _, _, f in os.walk(os.path.join(home, folder)))
    print("files", folder, count)
for name in (".mozilla/firefox/p1.default/sessionstore.jsonlz4",
             ".config/chromium/Default/Current Session", ".config/chromium/Default/Current Tabs"):
    print("files", name, int(os.path.exists(os.path.join(home, name))))
EOF
}

# The same rows gone in both homes, and every file BleachBit removed gone in
# ours too; what ours removes beyond it (session files it leaves) is listed.
same_gone() {
    python3 - "$1" "$2" <<'EOF'
import sys
def read(path):
    return {" ".join(l.split()[:-1]): int(l.split()[-1]) for l in open(path)}
ours, peer = read(sys.argv[1]), read(sys.argv[2])
bad = [k for k in ours if ours[k] != peer[k] and (k.startswith("rows") or ours[k] > peer[k])]
for k in bad:
    print("MISMATCH:", k, "ours", ours[k], "bleachbit", peer[k], file=sys.stderr)
for k in ours:
    if k.startswith("files") and ours[k] < peer[k]:
        print("only ours removes:", k, peer[k] - ours[k])
sys.exit(1 if bad else 0)
EOF
}

ours_home="$work/home-ours"
peer_home="$work/home-peer"
ours=""; theirs=""; i=0
while [ "$i" -lt "$runs" ]; do
    lay_out "$ours_home"
    cp -a "$ours_home" "$peer_home.new" && rm -rf "$peer_home" && mv "$peer_home.new" "$peer_home"
    HOME="$ours_home" XDG_CACHE_HOME= "$kx" --prefix "$prefix" machine link-browsers >/dev/null
    sync
    t=$(now_ns)
    HOME="$ours_home" "$kx" --quiet --prefix "$prefix" clean >/dev/null
    ours="$ours $(( ($(now_ns) - t) / 1000 ))"
    t=$(now_ns)
    HOME="$peer_home" XDG_CACHE_HOME= XDG_CONFIG_HOME= bleachbit --clean firefox.cache \
        firefox.cookies firefox.url_history firefox.forms firefox.session_restore chromium.cache \
        chromium.cookies chromium.history chromium.form_history chromium.session \
        >"$work/bleachbit.txt" 2>&1
    theirs="$theirs $(( ($(now_ns) - t) / 1000 ))"
    # A peer that failed part-way did less work: no fair figure.
    if grep -q "^Error" "$work/bleachbit.txt"; then
        grep -A3 "^Error" "$work/bleachbit.txt" >&2
        exit 1
    fi
    left_in "$ours_home" >"$work/left-ours.txt"
    left_in "$peer_home" >"$work/left-peer.txt"
    same_gone "$work/left-ours.txt" "$work/left-peer.txt" >"$work/extra.txt"
    i=$((i + 1))
done
m_ours=$(median "$ours"); m_peer=$(median "$theirs")
echo "browsers (50,000 cache files, 100,000 history rows, 5,000 cookies each, $fstype):" \
    "ours $((m_ours / 1000)) ms, bleachbit $((m_peer / 1000)) ms," \
    "ratio $(ratio "$m_ours" "$m_peer") (target <= 0.5)"
cat "$work/extra.txt"
