#!/usr/bin/env python3
"""Writes the module definition for the 64-bit test build of Kalvex2 from exports/Kalvex2.def.

The ordinal table names 32-bit C++ symbols. A 64-bit build mangles some of them differently (size_t is another
type, calling-convention attributes disappear), so each name is demangled, normalised and looked up among the
64-bit objects' symbols by its signature. Every ordinal keeps its number; a name that cannot be matched is an error.

usage: def_for_x64.py INPUT.def OUTPUT.def OBJECT...
"""
import re
import subprocess
import sys


def demangle(names, tool, prefix):
    if not names:
        return []
    out = subprocess.run([tool], input='\n'.join(prefix + n for n in names), capture_output=True, text=True,
                         check=True).stdout.split('\n')
    return [line.strip() for line in out[:len(names)]]


def normalise(signature):
    signature = signature.replace('unsigned long long', 'unsigned int')  # size_t, WPARAM
    signature = re.sub(r'\blong long\b', 'long', signature)  # LPARAM, LONG_PTR
    signature = re.sub(r'@\d+$', '', signature)  # the argument bytes of a 32-bit __stdcall name
    signature = re.sub(r'\s*\b(stdcall|cdecl|thiscall)\b', '', signature)
    return re.sub(r'\s+', ' ', signature)


def main():
    source, target, objects = sys.argv[1], sys.argv[2], sys.argv[3:]
    symbols = set()
    for obj in objects:
        out = subprocess.run(['x86_64-w64-mingw32-nm', '--defined-only', obj], capture_output=True, text=True,
                             check=True).stdout
        for line in out.splitlines():
            parts = line.split()
            if len(parts) == 3 and parts[1] in ('T', 'D', 'R', 'B'):
                symbols.add(parts[2])
    symbols = sorted(symbols)
    by_signature = {}
    for sym, dem in zip(symbols, demangle(symbols, 'x86_64-w64-mingw32-c++filt', '')):
        by_signature.setdefault(normalise(dem), sym)

    entry = re.compile(r'^(\s*)(?:(\S+)\s*=\s*)?(\S+)(\s+@\d+.*)$')
    lines = open(source).read().split('\n')
    wanted = []
    for line in lines:
        m = entry.match(line)
        if m and not line.lstrip().startswith(';') and m.group(3).startswith('_Z'):
            wanted.append(m.group(3))
    mapped = dict(zip(wanted, demangle(wanted, 'i686-w64-mingw32-c++filt', '_')))

    result, missing = [], []
    for line in lines:
        m = entry.match(line)
        if m and not line.lstrip().startswith(';') and m.group(3).startswith('_Z'):
            signature = normalise(mapped[m.group(3)])
            sym = by_signature.get(signature)
            if not sym:
                missing.append(signature)
                continue
            alias = f'{m.group(2)} = ' if m.group(2) else ''
            line = f'{m.group(1)}{alias}{sym}{m.group(4)}'
        result.append(line)
    if missing:
        sys.exit('def_for_x64: no 64-bit symbol for: ' + '; '.join(missing))
    open(target, 'w').write('\n'.join(result))


main()
