#!/usr/bin/env bash
# Static checks of the 32-bit Windows DLL, which cannot run on this machine:
# PE machine i386, exactly the two entries exported (one function), only
# system DLLs imported, the Windows i386 record layout asserted by the i686
# compiler, SSE maths on every unit, and the same source files as the 64-bit
# build whose tests run (the sources differ only through the platform seams).
# Usage: dll_checks.sh X86_BUILD_DIR X64_BUILD_DIR SOURCE_DIR
set -euo pipefail
x86=$1 x64=$2 src=$3
dll=$x86/morvelith.dll
objdump=i686-w64-mingw32-objdump
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

[ -f "$dll" ] || { echo "FAILED: $dll is not built"; exit 1; }

# PE header: e_lfanew at 0x3c, then "PE\0\0" and the machine (0x014c = i386).
pe=$(od -An -tu4 -j60 -N4 "$dll" | tr -d ' ')
signature=$(od -An -tx1 -j"$pe" -N4 "$dll" | tr -d ' ')
machine=$(od -An -tx2 -j$((pe + 4)) -N2 "$dll" | tr -d ' ')
magic=$(od -An -tx2 -j$((pe + 24)) -N2 "$dll" | tr -d ' ')
if [ "$signature" = 50450000 ] && [ "$machine" = 014c ] && [ "$magic" = 010b ]; then
  pass "PE32 image for machine i386 (0x014c)"
else
  fail "PE signature $signature, machine 0x$machine, optional header magic 0x$magic (want 50450000, 014c, 010b)"
fi

headers=$($objdump -p "$dll")
exports=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$headers" | sed -n 's/^\s*\[ *[0-9]*\] //p' | sort | tr '\n' ' ')
if [ "$exports" = "VSTPluginMain main " ]; then pass "exports exactly: $exports"; else fail "exports: $exports"; fi
addresses=$(sed -n '/^Export Address Table -- Ordinal Base/,/^$/p' <<<"$headers" | awk '/Export RVA/ {print $(NF-2)}' | sort -u)
if [ "$(wc -l <<<"$addresses")" = 1 ]; then pass "both entries are one function (RVA 0x$addresses)"; else fail "entry addresses: $addresses"; fi

# System DLLs only: anything else (libwinpthread, libstdc++, libgcc) would
# make LoadLibrary fail on a machine without MinGW.
allowed=" kernel32.dll user32.dll gdi32.dll gdiplus.dll comdlg32.dll comctl32.dll ole32.dll oleaut32.dll shlwapi.dll shell32.dll advapi32.dll msvcrt.dll "
imports=$(sed -n 's/^\s*DLL Name: //p' <<<"$headers" | tr 'A-Z' 'a-z' | sort -u)
stray=""
for name in $imports; do
  case "$allowed" in *" $name "*) ;; *) stray="$stray $name" ;; esac
done
if [ -z "$stray" ]; then pass "imports only system DLLs: $(echo $imports)"; else fail "non-system imports:$stray"; fi

# The record layout as a 32-bit Windows host sees it (MSVC, 8-byte packing).
if printf '#include "vst/AEffect.h"\nstatic_assert(VST_LAYOUT_CHECKED_WIN32_I386 == 1);\n' |
  i686-w64-mingw32-g++-posix -std=c++20 -msse2 -mfpmath=sse -fsyntax-only -I"$src" -x c++ -; then
  pass "Windows i386 sizes and offsets of the VST records hold"
else
  fail "Windows i386 record layout"
fi

# Every unit of the 32-bit tree compiled with SSE maths and 8-byte new alignment.
sources() { python3 -c '
import json, os, sys
src = os.path.realpath(sys.argv[2])
for entry in json.load(open(sys.argv[1])):
    path = os.path.realpath(os.path.join(entry["directory"], entry["file"]))
    if path.startswith(src + "/") and not path.startswith(src + "/build"):
        print(os.path.relpath(path, src))
' "$1" "$src" | sort -u; }
x87=$(python3 -c '
import json, sys
for entry in json.load(open(sys.argv[1])):
    command = entry.get("command", " ".join(entry.get("arguments", [])))
    if not all(flag in command.split() for flag in ("-msse2", "-mfpmath=sse", "-faligned-new=8")):
        print(entry["file"])
' "$x86/compile_commands.json")
if [ -z "$x87" ]; then pass "every 32-bit unit built with -msse2 -mfpmath=sse -faligned-new=8"; else fail "units without SSE maths: $x87"; fi

# The 64-bit tree builds the same files plus its tests (and GoogleTest).
x86_sources=$(sources "$x86/compile_commands.json")
x64_sources=$(sources "$x64/compile_commands.json" | grep -v '^tests/' || true)
if [ "$x86_sources" = "$x64_sources" ]; then
  pass "the same $(wc -l <<<"$x86_sources") source files in both builds"
else
  fail "source files differ between the builds:"
  diff <(echo "$x86_sources") <(echo "$x64_sources") || true
fi

# No code path only one width takes, outside the files that exist for it.
seams="vst/AEffect.h spkit/Cpu.cpp frame/LockPosix.cpp spkit/Oscillators.cpp"
paths=$( (cd "$src" && grep -lE '^\s*#\s*(if|elif|ifdef|ifndef).*(_WIN64|__i386__|_M_IX86|__x86_64__|_M_X64|__LP64__|__ILP32__)' \
  $x86_sources $(cd "$src" && ls vst/*.h frame/*.h spkit/*.h instrument/*.h host/*.h 2>/dev/null)) | sort -u || true)
odd=""
for f in $paths; do
  case " $seams " in *" $f "*) ;; *) odd="$odd $f" ;; esac
done
if [ -z "$odd" ]; then pass "width-specific code only in:$(echo " $paths" | tr '\n' ' ')"; else fail "width-specific code in$odd"; fi

exit $((failures > 0))
