#!/usr/bin/env bash
# Installs what is missing, builds and installs LabCore into ./_install, then
# runs the main job: the installed dbupdate upgrades a workstation's four
# databases, set up in ./demo as a never-upgraded workstation had them.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)"
cmake --install build --prefix _install

databases=(profile data qc syslog)
fixtures=tests/fixtures/legacy

rm -rf demo
mkdir demo
for db in "${databases[@]}"; do
    if [[ -f $fixtures/${db}_v0.sql ]]; then
        sqlite3 "demo/$db.db" <"$fixtures/${db}_v0.sql"
    else
        echo "note: no fixture for $db.db; dbupdate will create it"
    fi
done

# The version a database records: the largest value of its version table.
version() {
    local file=demo/$1.db
    if [[ ! -f $file ]]; then
        echo "missing"
    else
        local v
        v=$(sqlite3 "$file" "select version from version order by version desc limit 1" 2>/dev/null) || v=
        echo "${v:-0}"
    fi
}

declare -A before
for db in "${databases[@]}"; do
    before[$db]=$(version "$db")
done

status=0
(cd demo && ../_install/bin/dbupdate update.log ../_install/share/labcore/translations/dbupdate_en) ||
    status=$?

echo
echo "dbupdate in $PWD/demo"
for db in "${databases[@]}"; do
    printf '  %-10s version %-8s -> %s\n' "$db.db" "${before[$db]}" "$(version "$db")"
done
echo "  exit status: $status"
echo "  log: $(wc -l <demo/update.log) lines in $PWD/demo/update.log"
if [[ -d demo/backup ]]; then
    echo "  backups of the old versions: $(ls demo/backup | tr '\n' ' ')(in $PWD/demo/backup)"
fi
exit "$status"
