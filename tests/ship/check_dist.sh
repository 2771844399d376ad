#!/usr/bin/env bash
# What ships holds no test code: none of the program's files in dist/ exports or contains the
# in-memory doubles of the platform layer (their classes would show in the export table and in the
# type names the compiler writes into the binary).
set -euo pipefail
dist=$1
objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}
doubles='Fake(Machine|Registry|Files|Processes|VersionInfo|System|Desktop|Components|Http|ZipLibrary|Shutdown)'
status=0
shopt -s nullglob
files=("$dist"/wardline.exe "$dist"/qnCommon.dll "$dist"/WDLCustom.dll "$dist"/vbzip10.dll)
[ -f "$dist/qnCommon.dll" ] || { echo "no $dist/qnCommon.dll"; exit 1; }
for file in "${files[@]}"; do
  [ -f "$file" ] || continue
  exports=$("$objdump" -p "$file" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p')
  if grep -Eq "$doubles" <<<"$exports"; then
    echo "$file exports test doubles:"; grep -E "$doubles" <<<"$exports" | head; status=1
  fi
  if grep -aEq "$doubles" "$file"; then
    echo "$file contains test doubles"; status=1
  fi
done
# The check must be able to fail: qnCommon.dll exports the library's own classes.
own=$("$objdump" -p "$dist/qnCommon.dll")
grep -q 'CLogger' <<<"$own" || { echo "no exports read"; status=1; }
exit $status
