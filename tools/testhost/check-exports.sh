#!/bin/sh
# Checks the product library's export table:
#   check-exports.sh windows <objdump> VELO_VIROZI_10.dll   (32- or 64-bit)
#     exactly the nine operations, undecorated, at ordinals 3 to 11 (objdump shows the
#     ordinal base, 3, and each name at its ordinal minus the base), and no import from a
#     MinGW runtime DLL (the runtime is linked in);
#   check-exports.sh native <nm> VELO_VIROZI_10.so
#     exactly the nine operations and the three string helpers.
set -eu
kind=$1 tool=$2 lib=$3
fail() { echo "check-exports: $*" >&2; exit 1; }

if [ "$kind" = windows ]; then
  dump=$("$tool" -p "$lib")
  # The name table lists "[index] name"; the ordinal is the index plus the ordinal base,
  # which the linker takes from the lowest ordinal of the .def file.
  base=$(printf '%s\n' "$dump" | sed -n 's/^Export Address Table -- Ordinal Base \([0-9]*\).*/\1/p')
  [ -n "$base" ] || fail "no export table found"
  table=$(printf '%s\n' "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | grep -E '^\s*\[\s*[0-9]+\]' |
          sed 's/^\s*\[\s*\([0-9]*\)\]\s*\(.*\)$/\1 \2/' |
          while read -r index name; do echo "$((index + base)) $name"; done | sort -n)
  expected="3 PAY
4 REPRINT
5 OPEN
6 GETSTATUS
7 DAYCLOSE
8 GETTOTALS
9 CLOSE
10 VERSION
11 VERIFYTRAN"
  [ "$table" = "$expected" ] || fail "export table differs (ordinal name):
$table"
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
