#!/bin/sh
# Checks the product library's export table:
#   check-exports.sh win32 <objdump> VELO_VIROZI_10.dll
#     exactly the nine operations, undecorated, at ordinals 3 to 11, and no import from a
#     MinGW runtime DLL (the runtime is linked in);
#   check-exports.sh native <nm> VELO_VIROZI_10.so
#     exactly the nine operations and the three string helpers.
set -eu
kind=$1 tool=$2 lib=$3
fail() { echo "check-exports: $*" >&2; exit 1; }

if [ "$kind" = win32 ]; then
  dump=$("$tool" -p "$lib")
  # objdump lists "[ordinal - base] name" in the table that follows "[Ordinal/Name Pointer] Table".
  table=$(printf '%s\n' "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | grep '^\s*\[' |
          sed 's/^\s*\[\s*\([0-9]*\)\]\s*\(.*\)$/\1 \2/' | sort -n)
  expected="2 PAY
3 REPRINT
4 OPEN
5 GETSTATUS
6 DAYCLOSE
7 GETTOTALS
8 CLOSE
9 VERSION
10 VERIFYTRAN"
  [ "$table" = "$expected" ] || fail "export table differs:
$table"
  base=$(printf '%s\n' "$dump" | sed -n 's/^Ordinal Base\s*\([0-9]*\).*/\1/p')
  [ "$base" = 1 ] || fail "ordinal base is '$base', not 1"
  imports=$(printf '%s\n' "$dump" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z')
  [ -n "$imports" ] || fail "no import table found"
  for dll in $imports; do
    case $dll in
      libgcc*|libstdc++*|libwinpthread*|*mingw*) fail "imports the runtime DLL $dll";;
    esac
  done
  echo "exports and imports of $lib are as expected"
else
  names=$("$tool" -D --defined-only "$lib" | awk '$2 ~ /^[TtDdBbWwVvRr]$/ {print $3}' | sort)
  expected=$(printf '%s\n' CLOSE DAYCLOSE GETSTATUS GETTOTALS OPEN PAY REPRINT SysAllocStringLen \
             SysFreeString SysStringLen VERIFYTRAN VERSION | sort)
  [ "$names" = "$expected" ] || fail "visible symbols differ:
$names"
  echo "visible symbols of $lib are as expected"
fi
