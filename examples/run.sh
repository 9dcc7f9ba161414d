#!/usr/bin/env bash
# Builds vesper-import and runs a real import: the bundled contacts.csv, with
# its import specification, into a fresh sample data folder under demo/,
# then says how to open the import wizard's windows on that folder.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/.ci/install-packages"
echo "Building vesper-import in $top/build (the first build takes a few minutes)..."
cmake -S "$top" -B "$top/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$top/build" -j"$(nproc)" --target vesper-import >/dev/null
demo="$top/demo"
rm -rf "$demo"
mkdir -p "$demo"
export PENNANT_ENGINE_CONFIG="$demo/engine.cfg"
printf '[PNANT]\nTYPE=STANDARD\nPATH=%s\nDEFAULT DRIVER=PARADOX\n' "$demo/data" > "$PENNANT_ENGINE_CONFIG"
"$top/build/vesper-import" --create-data-folder "$demo/data"
cp "$top/examples/contacts.imp" "$demo/"
cd "$demo"
"$top/build/vesper-import" --database MAIN --spec contacts.imp --mixed-case "$top/examples/contacts.csv"
echo
echo "The first contacts of $demo/data/CONTACT.DB:"
if command -v sqlite3 >/dev/null; then
  sqlite3 -header -column "$demo/data/CONTACT.DB" \
    "select Recno, Salut, FirstName, LastName, Company, City, State, Zip from contact limit 5"
fi
echo
echo "The import wizard's windows on this data folder (the database MAIN):"
printf '  PENNANT_ENGINE_CONFIG=%q %q\n' "$demo/engine.cfg" "$top/build/vesper-import"
