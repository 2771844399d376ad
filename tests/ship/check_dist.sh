#!/usr/bin/env bash
# What ships is the product alone, as it ships:
# - dist/ holds exactly wardline.exe, qnCommon.dll, WDLCustom.dll and vbzip10.dll;
# - each carries version data naming its maker, "Brevant Software", and a description, so that the
#   program's own files never look like files without version data;
# - each stands alone: none imports the MinGW runtime DLLs (the runtimes are linked in), and none holds
#   debug sections;
# - none exports or contains test code: the in-memory doubles of the platform layer (Fake...) or the
#   toolkit's headless backend. Their classes would show in the export table and in the type names the
#   compiler writes into the binary.
# Usage: check_dist.sh <dist folder> <probe>, where the probe is a program of the same build that holds
# the test code (tests/ship/TestCodeProbe.cpp): every kind of test-only name must show in it, so that
# the check is known to see them.
set -euo pipefail
dist=$1
probe=$2
objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}
windres=${WINDRES:-x86_64-w64-mingw32-windres}
product=(WDLCustom.dll qnCommon.dll vbzip10.dll wardline.exe)
# The test-only names, one kind per entry: each is a pattern of the names of one test-only target.
kinds=('Fake[A-Z][A-Za-z]+' 'Headless(Backend|Window)')
testonly=$(IFS='|'; echo "${kinds[*]}")
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
  if grep -Eq "$testonly" <<<"$exports"; then
    echo "$name exports test code:"; grep -E "$testonly" <<<"$exports" | head; status=1
  fi
  # (A type name ends in "E" as the compiler writes it: FakeRegistryE.)
  found=$(grep -aoE "$testonly" "$file" | sed -E 's/([a-z])E$/\1/' | LC_ALL=C sort -u | tr '\n' ' ' || true)
  if [ -n "$found" ]; then
    echo "$name contains test code: $found"; status=1
  fi
done
# The checks must be able to fail: each kind of test code shows by its names in the probe, which holds
# it as a shipped file would.
for kind in "${kinds[@]}"; do
  grep -aEq "$kind" "$probe" || { echo "no name like $kind in $probe: such test code would go unseen"; status=1; }
done
# And the imports and exports were read (qnCommon.dll exports the library's own classes, and the
# program imports it).
grep -q 'CLogger' <<<"$("$objdump" -p "$dist/qnCommon.dll")" || { echo "no exports read"; status=1; }
grep -q 'DLL Name: qnCommon.dll' <<<"$("$objdump" -p "$dist/wardline.exe")" || { echo "no imports read"; status=1; }
exit $status
