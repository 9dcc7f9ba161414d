#!/usr/bin/env bash
# Hostile input for the batch command: each case must end with a clear
# message or a correct import — never a crash, a hang or an altered table.
#   tests/hostile/run.sh PATH-TO-vesper-import
set -uo pipefail
bin=${1:?usage: run.sh PATH-TO-vesper-import}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
export PENNANT_ENGINE_CONFIG="$work/engine.cfg"
printf '[PNANT]\nTYPE=STANDARD\nPATH=%s\nDEFAULT DRIVER=PARADOX\n' "$work/data" > engine.cfg
"$bin" --create-data-folder data >/dev/null || { echo "cannot create the data folder"; exit 1; }

# A specification for three delimited fields.
spec() {  # spec FILE NAME1 NAME2 NAME3
  { printf '1\r\n%s\r\n%s\r\n%s\r\n' "$2" "$3" "$4"
    for i in $(seq 4 210); do printf '\r\n'; done
    printf '20\r\n'
    for i in $(seq 1 210); do printf -- '-1\r\n'; done; } > "$1"
}
spec good.imp LastName FirstName City
contacts() { sqlite3 data/CONTACT.DB 'select count(*) from contact'; }

pass=0 fail=0
# check NAME EXPECTED-CODES EXPECTED-ROW-CHANGE [ARGS...]: runs the import
# with a time limit and checks the exit code, the message and the table.
check() {
  local name=$1 codes=$2 change=$3; shift 3
  local before after code
  before=$(contacts)
  timeout 120 "$bin" "$@" >out.txt 2>err.txt
  code=$?
  after=$(contacts)
  local ok=1 why=""
  if [ $code -ge 124 ]; then ok=0; why="crashed or hung (exit $code)"; fi
  case " $codes " in *" $code "*) ;; *) ok=0; why="${why:+$why; }exit $code, expected one of $codes";; esac
  if [ "$code" != 0 ] && [ ! -s err.txt ]; then ok=0; why="${why:+$why; }no message"; fi
  if [ "$(sqlite3 data/CONTACT.DB 'pragma integrity_check')" != ok ]; then ok=0; why="${why:+$why; }table damaged"; fi
  if [ "$change" != any ] && [ $((after - before)) != "$change" ]; then ok=0; why="${why:+$why; }rows $before -> $after"; fi
  if [ $ok = 1 ]; then pass=$((pass + 1)); echo "ok   $name: $(head -c 150 err.txt | tr '\n' ' ')"
  else fail=$((fail + 1)); echo "FAIL $name: $why"; cat err.txt | head -5; fi
}

: > empty.csv
check "empty file" "1" 0 --database MAIN --spec good.imp empty.csv
head -c 300000 /bin/ls > binary.csv
check "binary file" "0 1" any --database MAIN --spec good.imp binary.csv
mkdir -p adir.csv
check "a directory" "1" 0 --database MAIN --spec good.imp adir.csv
check "a file that is not there" "1" 0 --database MAIN --spec good.imp vanished.csv
# A file that vanishes after it was chosen: removed while the import reads it.
python3 -c "
import sys
with open('vanishing.csv','w',newline='') as f:
    for i in range(300000): f.write('Last%d,First%d,City\r\n' % (i, i))
"
( sleep 0.2; rm -f vanishing.csv ) &
check "a file removed while it is read" "0" any --database MAIN --spec good.imp vanishing.csv
wait
# 200 MB in one line.
python3 -c "
import sys
with open('oneline.csv','w',newline='') as f:
    f.write('Jones,Ann,Denver\r\n')
    chunk = 'x' * (1 << 20)
    for i in range(200): f.write(chunk)
    f.write(',a,b,c\r\n')
    f.write('Smith,John,Boston\r\n')
"
check "a 200 MB single line" "0" 2 --database MAIN --spec good.imp oneline.csv
test "$(wc -c < bad.csv)" -gt 200000000 && echo "ok   the long line went whole to bad.csv" || { echo "FAIL long line not in bad.csv"; fail=$((fail+1)); }
printf 'Smith,John,Boston\r\n' > one.csv
spec sql.imp "x'); DROP TABLE contact; --" 'Name"; DELETE' "City; DROP"
check ".IMP naming fields with quotes and SQL" "1" 0 --database MAIN --spec sql.imp one.csv
spec sql2.imp "LastName" "'); DROP TABLE x;--" "City"
check ".IMP naming a field that is SQL" "1" 0 --database MAIN --spec sql2.imp one.csv
check "database name that is SQL" "1" 0 --database "MAIN'; DROP TABLE contact; --" --spec good.imp one.csv
printf '1\r\nLastName\r\nnot a number' > short.imp
check "a truncated .IMP" "1" 0 --database MAIN --spec short.imp one.csv
head -c 100000 /bin/ls > binary.imp
check "a binary .IMP" "1" 0 --database MAIN --spec binary.imp one.csv
check "the good case still imports" "0" 1 --database MAIN --spec good.imp one.csv
test "$(sqlite3 data/CONTACT.DB "select count(*) from sqlite_master where name='contact'")" = 1 || { echo "FAIL the contact table is gone"; fail=$((fail+1)); }
echo "$pass passed, $fail failed"
[ $fail = 0 ]
