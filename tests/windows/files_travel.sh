#!/usr/bin/env bash
# Files written by one platform's build load in the other's: the Linux and the
# Windows morvelith_files_travel each write the same state, each loads the
# other's preset and bank and stores them again byte for byte, and the two
# builds' own files are equal. Exit 77 (skipped) without the Linux build.
# Usage: files_travel.sh LINUX_TOOL WINDOWS_TOOL WINE_RUNNER WORK_FOLDER
set -euo pipefail
linux_tool=$1 windows_tool=$2 wine_run=$3 work=$4
if [ ! -x "$linux_tool" ]; then
  echo "skipped: the Linux build's $linux_tool is not built (build the Linux tree first)"
  exit 77
fi
rm -rf "$work"
mkdir -p "$work"
cd "$work"  # relative folders: the same names on both sides
"$linux_tool" write from-linux
"$wine_run" "$windows_tool" write from-windows
echo "Linux files loaded and stored by the Windows build:"
"$wine_run" "$windows_tool" check from-linux linux-in-windows
echo "Windows files loaded and stored by the Linux build:"
"$linux_tool" check from-windows windows-in-linux
echo "The same state written by both builds:"
cmp from-linux/travel.fxb from-windows/travel.fxb
cmp from-linux/travel.fxp from-windows/travel.fxp
echo "all files equal"
