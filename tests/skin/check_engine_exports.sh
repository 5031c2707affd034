#!/bin/sh
# Checks the shape of FmSkin.dll: it imports system DLLs only, exports
# FmSkin_Attach and FmSkin_LiveObjects under their plain names and, in the
# 32-bit build, FmSkin_Attach returns with "ret $0x18": it removes its six
# 32-bit arguments, as a __stdcall caller that checks its stack requires.
# usage: check_engine_exports.sh FmSkin.dll 32|64
set -eu
dll=$1
bits=$2
if [ "$bits" = 32 ]; then objdump=i686-w64-mingw32-objdump; else objdump=x86_64-w64-mingw32-objdump; fi
headers=$($objdump -p "$dll")

imports=$(printf '%s\n' "$headers" | sed -n 's/^\tDLL Name: //p' | tr 'a-z' 'A-Z' | sort)
for name in $imports; do
  case $name in
    KERNEL32.DLL | USER32.DLL | GDI32.DLL | MSVCRT.DLL | ADVAPI32.DLL) ;;
    *) echo "FmSkin.dll imports a non-system library: $name" >&2; exit 1 ;;
  esac
done

names=$(printf '%s\n' "$headers" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^\t\[ *[0-9]*\] //p' | sort | tr '\n' ' ')
if [ "$names" != "FmSkin_Attach FmSkin_LiveObjects " ]; then
  echo "unexpected export names: '$names'" >&2
  exit 1
fi

if [ "$bits" = 32 ]; then
  base=$(printf '%s\n' "$headers" | sed -n 's/^ImageBase[[:space:]]*//p')
  # Export Address Table rows: "[   0] +base[   1] 1a2b Export RVA"; the order
  # matches the sorted name table here (ordinal 1 = FmSkin_Attach).
  rva=$(printf '%s\n' "$headers" | sed -n 's/^\t\[ *0\] +base\[ *1\] \([0-9a-f]*\) Export RVA$/\1/p')
  if [ -z "$rva" ]; then echo "no export address for FmSkin_Attach" >&2; exit 1; fi
  start=$(printf '0x%x' $((0x$base + 0x$rva)))
  stop=$(printf '0x%x' $((0x$base + 0x$rva + 256)))
  ret=$($objdump -d --start-address="$start" --stop-address="$stop" "$dll" | grep -m1 -E '\sret' || true)
  case $ret in
    *'ret    $0x18'*) ;;
    *) echo "FmSkin_Attach does not end in 'ret \$0x18' (first return: '$ret')" >&2; exit 1 ;;
  esac
fi
echo "FmSkin.dll: system imports only ($imports), exports: $names"
