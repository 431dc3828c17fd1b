#!/usr/bin/env python3
"""Checks the 32-bit quorvel.dll's calling convention without running it.

Every slot of IMediaFile must be thiscall: `this` in ECX and the callee removing its own
arguments (`ret $N`, N the slot's argument bytes). The call into the host's slot 1
(OnMediaEvent) must pass the host object in ECX and leave the 24 argument bytes for the
host to remove. The vtable and the functions, with their lengths, are found through the
DLL's PDB (llvm-pdbutil); the code is read from the shipped DLL.

Usage: check_slots.py OBJDUMP DLL PDB
"""
import re
import subprocess
import sys

# Argument bytes of each IMediaFile slot on 32-bit x86, `this` not counted.
SLOTS = [("DeletingDestructor", 4), ("SetLoop", 4), ("Open", 0), ("IsOpen", 0), ("Close", 0),
         ("Pause", 0), ("IsPaused", 0), ("Resume", 0), ("GetPos", 8), ("SetPos", 8),
         ("IsAudioOnly", 0), ("OnRenderGetaudioFrame", 24), ("GetFileInfo", 12)]
ON_MEDIA_EVENT_BYTES = 24
VTABLE = "__ZTV8CQuorvel"
# The engine's one call into the host's OnMediaEvent.
HOST_CALL = "__ZN7quorvel12EventChannel4CallEjjPKw"


def run(*args):
    return subprocess.run(args, check=True, capture_output=True, text=True,
                          errors="replace").stdout


def symbols(objdump, dll, pdb):
    """Name -> address of the public symbols, and address -> length of every function the
    PDB has a procedure record of (the engine's own, static ones included). A PDB address
    is an offset into a section of the image (numbered from 1)."""
    base = int(re.search(r"^ImageBase\s+([0-9a-f]+)", run(objdump, "-p", dll), re.M).group(1), 16)
    sections = [base + int(m.group(1), 16) for m in
                re.finditer(r"^\s*([0-9A-F]+) virtual address$",
                            run("llvm-pdbutil", "dump", "--section-headers", pdb), re.M)]

    def address(section, offset):
        return sections[int(section) - 1] + int(offset)

    table = {}
    for m in re.finditer(r"S_PUB32 .*`(\S+)`\n\s*flags = .*addr = (\d+):(\d+)",
                         run("llvm-pdbutil", "dump", "--publics", pdb)):
        table.setdefault(m.group(1), address(m.group(2), m.group(3)))
    lengths = {}
    for m in re.finditer(r"S_[GL]PROC32 .*\n.*addr = (\d+):(\d+), code size = (\d+)",
                         run("llvm-pdbutil", "dump", "--symbols", pdb)):
        lengths[address(m.group(1), m.group(2))] = int(m.group(3))
    return table, lengths


def words(objdump, dll, start, count):
    dump = run(objdump, "-s", f"--start-address={start:#x}", f"--stop-address={start + 4 * count:#x}", dll)
    data = b""
    for line in dump.splitlines():
        m = re.match(r"^ ([0-9a-f]{8}) ((?:[0-9a-f]{2,8} ){1,4})", line)
        if m:
            data += bytes.fromhex(m.group(2).replace(" ", ""))
    return [int.from_bytes(data[i:i + 4], "little") for i in range(0, 4 * count, 4)]


def disassemble(objdump, dll, start, lengths):
    stop = start + lengths.get(start, 4096)
    out = run(objdump, "-d", "--no-show-raw-insn", f"--start-address={start:#x}", f"--stop-address={stop:#x}", dll)
    return [m.group(2).strip() for m in (re.match(r"^\s*([0-9a-f]+):\s+(.*)$", l) for l in out.splitlines()) if m]


def reads_ecx_first(code):
    """The first instruction naming %ecx reads it (not a write to a fresh value)."""
    for insn in code:
        if "%ecx" not in insn:
            continue
        op, _, operands = insn.partition(" ")
        parts = [p.strip() for p in re.split(r",(?![^(]*\))", operands)]
        writes = op.startswith(("mov", "lea", "pop", "xor")) and parts[-1] == "%ecx" and \
            all("%ecx" not in p for p in parts[:-1]) or insn in ("xor %ecx,%ecx",)
        return not writes
    return False


def returns(code):
    return [i for i in code if i.split(" ")[0] in ("ret", "retl")]


def check_slot(objdump, dll, lengths, name, address, arg_bytes):
    code = disassemble(objdump, dll, address, lengths)
    rets = returns(code)
    if not rets and code and code[-1].startswith("jmp") and re.search(r"jmp\s+([0-9a-f]+)", code[-1]):
        target = int(re.search(r"jmp\s+([0-9a-f]+)", code[-1]).group(1), 16)
        code = code + disassemble(objdump, dll, target, lengths)
        rets = returns(code)
    want = f"$0x{arg_bytes:x}" if arg_bytes else None
    errors = []
    if not rets:
        errors.append("no ret found")
    for r in rets:
        operand = r.split(" ", 1)[1].strip() if " " in r else None
        if operand != want:
            errors.append(f"'{r}' where the slot removes {arg_bytes} argument bytes")
    if not reads_ecx_first(code):
        errors.append("does not take `this` in ECX")
    return errors


def check_host_call(objdump, dll, lengths, address):
    code = disassemble(objdump, dll, address, lengths)
    calls = [n for n, i in enumerate(code) if re.match(r"call\s+\*0x4\(%e[a-z]x\)", i)]
    if len(calls) != 1:
        return [f"expected one call through slot 1, found {len(calls)}"]
    at = calls[0]
    before, after = code[:at], code[at + 1:]
    errors = []
    if not any(re.search(r",%ecx$", i) for i in before):
        errors.append("the host object is not loaded into ECX before the call")
    pushed = 4 * sum(1 for i in before if i.startswith("push"))
    rebalanced = after and re.match(rf"sub\s+\$0x{ON_MEDIA_EVENT_BYTES:x},%esp", after[0])
    popped_by_caller = after and re.match(r"add\s+\$0x[0-9a-f]+,%esp", after[0])
    if popped_by_caller or not (rebalanced or pushed >= ON_MEDIA_EVENT_BYTES):
        errors.append("the caller, not the host, removes OnMediaEvent's arguments")
    return errors


def main():
    objdump, dll, pdb = sys.argv[1:4]
    table, lengths = symbols(objdump, dll, pdb)
    if VTABLE not in table or HOST_CALL not in table:
        print(f"check_slots: {VTABLE} or {HOST_CALL} not among the symbols", file=sys.stderr)
        return 1
    # An Itanium-ABI vtable symbol starts with the offset to the top and the type information.
    entries = words(objdump, dll, table[VTABLE] + 8, len(SLOTS))
    failures = 0
    for slot, ((name, arg_bytes), address) in enumerate(zip(SLOTS, entries)):
        for error in check_slot(objdump, dll, lengths, name, address, arg_bytes):
            print(f"check_slots: slot {slot} {name}: {error}", file=sys.stderr)
            failures += 1
    for error in check_host_call(objdump, dll, lengths, table[HOST_CALL]):
        print(f"check_slots: OnMediaEvent call: {error}", file=sys.stderr)
        failures += 1
    if failures == 0:
        print(f"i686: {len(SLOTS)} slots take this in ECX and remove their own arguments; "
              "OnMediaEvent is called the same way")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
