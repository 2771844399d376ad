#!/usr/bin/env bash
# What ships is the product alone, as it ships:
# - dist/ holds exactly wardline.exe, qnCommon.dll, WDLCustom.dll and vbzip10.dll;
# - each carries version data naming its maker, "Brevant Software", and a description, so that the
#   program's own files never look like files without version data;
# - each stands alone: none imports the MinGW runtime DLLs (the runtimes are linked in), and none holds
#   debug sections;
# - none exports or contains the in-memory doubles of the platform layer (their classes would show in
#   the export table and in the type names the compiler writes into the binary).
set -euo pipefail
dist=$1
objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}
windres=${WINDRES:-x86_64-w64-mingw32-windres}
product=(WDLCustom.dll qnCommon.dll vbzip10.dll wardline.exe)
doubles='Fake(Machine|Registry|Files|Processes|VersionInfo|System|Desktop|Components|Http|ZipLibrary|Shutdown)'
runtime='lib(stdc\+\+|gcc_s|winpthread)[^ ]*\.dll'
status=0

listed=$(cd "$dist" && LC_ALL=C ls -A | LC_ALL=C sort | tr '\n' ' ')
wanted=$(printf '%s\n' "${product[@]}" | LC_ALL=C sort | tr '\n' ' ')
if [ "$listed" != "$wanted" ]; then
  echo "$dist holds: $listed"; echo "it should hold: $wanted"; status=1
fi

for name in "${product[@]}"; do
  file=$dist/$name
  [ -f "$file" ] || continue
  version=$("$windres" -i "$file" -O rc 2>/dev/null | sed -n '/VERSIONINFO/,$p' || true)
  grep -q 'VALUE "CompanyName", "Brevant Software"' <<<"$version" || { echo "$name: no CompanyName \"Brevant Software\""; status=1; }
  grep -Eq 'VALUE "FileDescription", "[^"]+"' <<<"$version" || { echo "$name: no FileDescription"; status=1; }
  headers=$("$objdump" -h -p "$file")
  if grep -Eq '^ *[0-9]+ \.debug' <<<"$headers"; then
    echo "$name holds debug sections:"; grep -E '^ *[0-9]+ \.debug' <<<"$headers" | head; status=1
  fi
  if grep -Eiq "DLL Name: $runtime" <<<"$headers"; then
    echo "$name imports the MinGW runtime:"; grep -Ei "DLL Name: $runtime" <<<"$headers"; status=1
  fi
  exports=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$headers")
  if grep -Eq "$doubles" <<<"$exports"; then
    echo "$name exports test doubles:"; grep -E "$doubles" <<<"$exports" | head; status=1
  fi
  if grep -aEq "$doubles" "$file"; then
    echo "$name contains test doubles"; status=1
  fi
done
# The checks must be able to fail: the imports and exports were read (qnCommon.dll exports the
# library's own classes, and the program imports it).
grep -q 'CLogger' <<<"$("$objdump" -p "$dist/qnCommon.dll")" || { echo "no exports read"; status=1; }
grep -q 'DLL Name: qnCommon.dll' <<<"$("$objdump" -p "$dist/wardline.exe")" || { echo "no imports read"; status=1; }
exit $status
