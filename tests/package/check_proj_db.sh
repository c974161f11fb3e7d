#!/usr/bin/env bash
# The proj.db the build puts beside its executables against PROJ's own: the same tables, views
# and indexes, every table the same rows in the same order, and no triggers left to parse.
# Exit 77 (skipped) without SQLite's shell, which the build then did without as well.
set -euo pipefail
original="$1"
copy="$2"
command -v sqlite3 >/dev/null || { echo "no sqlite3: the copy is PROJ's file as it is"; exit 77; }

schema() { sqlite3 "$1" "SELECT type, name, sql FROM sqlite_master WHERE type <> 'trigger' ORDER BY type, name"; }
if ! diff <(schema "$original") <(schema "$copy") >&2; then
    echo "the copy's tables, views or indexes differ from PROJ's" >&2
    exit 1
fi
triggers=$(sqlite3 "$copy" "SELECT count(*) FROM sqlite_master WHERE type = 'trigger'")
if [ "$triggers" != 0 ]; then
    echo "the copy still holds $triggers triggers" >&2
    exit 1
fi
tables=0
while read -r table; do
    rows() { sqlite3 "$1" "SELECT * FROM \"$table\"" | md5sum; }
    if [ "$(rows "$original")" != "$(rows "$copy")" ]; then
        echo "table $table differs" >&2
        exit 1
    fi
    tables=$((tables + 1))
done < <(sqlite3 "$original" "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name")
[ "$tables" -gt 30 ] || { echo "only $tables tables: not PROJ's database" >&2; exit 1; }
echo "$tables tables alike, no triggers"
