#!/usr/bin/env bash
# Installs what is missing, builds the optimised command and runs the main job.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target pelmo
pelmo=build/release/pelmo
echo "== methods of the interface"
"$pelmo" methods
echo "== a byte body decoded pair by pair in code page 936 (the argument is written back)"
"$pelmo" call Tarvessa_BytesToBstr_new x:c4e3bac34142
echo "== the same bytes through the stream as GB2312"
"$pelmo" call Tarvessa_BytesToBstr x:c4e3bac34142 s:GB2312
echo "== every block between two markers, markers removed"
"$pelmo" call D1616_body2s 's:<li>one</li><LI>two</li><li>three</li>' 's:<li>' 's:</li>' 's:###' b:true
echo "== one slice, mode 0"
"$pelmo" call D1616_GetContent 's:<b>x</b><b>y</b>' 's:<B>' 's:</b>' n:0
echo "== cleaners"
"$pelmo" call FNum 's:1, 2.5,abc,,-3'
"$pelmo" call Bint 's: 3.5 '
"$pelmo" call StayNub 's:1,299.00'
"$pelmo" call Str4Null $'s:  It\'s  a "test"\r\n\t'
"$pelmo" call Ltxt 's:<b>bold</b> text<br/>'
