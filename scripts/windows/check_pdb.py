#!/usr/bin/env python3
"""Checks that a PDB is the debug information of its DLL, as a Windows debugger decides it.

The DLL's debug directory must hold a CodeView record naming the PDB by its file name
alone (the debugger looks beside the DLL) with the PDB's own GUID and age, and
llvm-pdbutil must read the PDB and find each exported function both among its public
symbols and as a procedure with a type (full debug information, not a symbol table).

Usage: check_pdb.py DLL PDB EXPORTED_FUNCTION...
"""
import os
import re
import subprocess
import sys


def run(*args):
    return subprocess.run(args, check=True, capture_output=True, text=True,
                          errors="replace").stdout


def dll_record(dll):
    """GUID (as the PDB prints it), age and file name from the DLL's CodeView record."""
    out = run("llvm-readobj", "--coff-debug-directory", dll)
    guid = re.search(r"PDBGUID: \(([0-9A-F ]+)\)", out)
    age = re.search(r"PDBAge: (\d+)", out)
    name = re.search(r"PDBFileName: (.+)", out)
    if not (guid and age and name):
        return None
    b = bytes.fromhex(guid.group(1).replace(" ", ""))
    # A GUID's first three fields are stored little-endian.
    text = "{%s-%s-%s-%s-%s}" % (b[3::-1].hex(), b[5:3:-1].hex(), b[7:5:-1].hex(),
                                 b[8:10].hex(), b[10:].hex())
    return text.upper(), int(age.group(1)), name.group(1).strip()


def pdb_identity(pdb):
    out = run("llvm-pdbutil", "dump", "--summary", pdb)
    guid = re.search(r"GUID: (\{[0-9A-F-]+\})", out)
    age = re.search(r"Age: (\d+)", out)
    return (guid.group(1), int(age.group(1))) if guid and age else None


def main():
    dll, pdb, exported = sys.argv[1], sys.argv[2], sys.argv[3:]
    errors = []
    record = dll_record(dll)
    identity = pdb_identity(pdb)
    if record is None:
        errors.append(f"{dll} has no CodeView record in its debug directory")
    elif identity is None:
        errors.append(f"llvm-pdbutil finds no GUID and age in {pdb}")
    else:
        guid, age, name = record
        if name != os.path.basename(pdb):
            errors.append(f"the DLL names {name}, not {os.path.basename(pdb)} beside it")
        if (guid, age) != identity:
            errors.append(f"the DLL expects {guid} age {age}, the PDB is {identity[0]} age {identity[1]}")
    publics = run("llvm-pdbutil", "dump", "--publics", pdb)
    symbols = run("llvm-pdbutil", "dump", "--symbols", pdb)
    for function in exported:
        # 32-bit C names carry a leading underscore among the publics.
        if not re.search(rf"S_PUB32 .*`_?{function}`", publics):
            errors.append(f"{function} is not among the PDB's public symbols")
        if not re.search(rf"S_GPROC32 .*`{function}`\n.*\n\s*type = `0x", symbols):
            errors.append(f"{function} has no procedure record with a type in the PDB")
    for error in errors:
        print(f"check_pdb: {error}", file=sys.stderr)
    if errors:
        return 1
    print(f"{os.path.basename(pdb)}: matches {os.path.basename(dll)} ({identity[0]} age "
          f"{identity[1]}); {', '.join(exported)} found with their types")
    return 0


if __name__ == "__main__":
    sys.exit(main())
