#!/usr/bin/env python3
"""Finds 32-bit x86 functions that need a 16-byte aligned stack without making one.

    check_stack_alignment.py --objdump OBJDUMP FILE [--expect-offender NAME]...

32-bit Windows promises only 4-byte stack alignment at a call. A function that uses an
SSE instruction with an alignment requirement (movaps, movdqa, pand, pshufd, ... with a
128-bit memory operand) on a stack slot must therefore realign its own frame first
(`and $-16,%esp` or a wider mask) or it faults in callers that keep no more than 4
bytes. The disassembly of FILE (a DLL or an object file) is scanned function by
function; a function offends when such an access through %esp, or through %ebp once
%ebp has been made the frame pointer, comes before any realignment of %esp.

Without --expect-offender the check passes when no function offends. With it, the
check passes when every named function offends (used to show that the check finds
what it is meant to find); NAME is found anywhere in the demangled name.
"""

import argparse
import re
import subprocess
import sys

# Legacy (non-VEX) SSE instructions whose memory operand need not be aligned: the
# explicitly unaligned loads and stores, and those reading or writing 64 bits or less.
UNALIGNED_OK = {
    "movups", "movupd", "movdqu", "lddqu", "movq", "movd", "movss", "movsd",
    "movlps", "movhps", "movlpd", "movhpd", "movddup", "movntss", "movntsd",
    "cvtpi2ps", "cvtpi2pd", "cvtps2pd", "cvtdq2pd",
    "pinsrb", "pinsrw", "pinsrd", "pinsrq", "pextrb", "pextrw", "pextrd", "pextrq",
    "insertps", "extractps",
    "pcmpestri", "pcmpestrm", "pcmpistri", "pcmpistrm",
}
# VEX and EVEX instructions fault on misalignment only in these explicit forms.
VEX_ALIGNED = {
    "vmovaps", "vmovapd", "vmovdqa", "vmovdqa32", "vmovdqa64",
    "vmovntps", "vmovntpd", "vmovntdq", "vmovntdqa",
}

SYMBOL = re.compile(r"^[0-9a-f]+ <(.+)>:$")
INSTRUCTION = re.compile(r"^\s*([0-9a-f]+):\s+(.*)$")
PREFIXES = {"lock", "rep", "repz", "repnz", "repe", "repne", "data16", "addr32", "notrack", "bnd"}


def stack_operand(operands, frame_pointer_set):
    """True when an operand addresses memory through %esp (or the frame pointer)."""
    for base in re.findall(r"\(%(e[sb]p)[,)]", operands):
        if base == "esp" or frame_pointer_set:
            return True
    return False


def needs_alignment(mnemonic, operands):
    if "%xmm" not in operands and "%ymm" not in operands:
        return False
    if mnemonic.startswith("v"):
        return mnemonic in VEX_ALIGNED
    if mnemonic in UNALIGNED_OK:
        return False
    if mnemonic.startswith("pmovzx") or mnemonic.startswith("pmovsx"):
        return False  # 64 bits or less from memory
    # Scalar single and double forms (addss, cvtsd2si, cvtsi2sdl, ucomisd, ...); the
    # packed integer instructions all begin with p (pabsd, pmaxsd are packed).
    if not mnemonic.startswith("p") and re.search(r"(ss|sd)[lq]?$|^cvtt?s[sd]2si", mnemonic):
        return False
    return True


def realigns_stack(mnemonic, operands):
    match = re.fullmatch(r"\$0x([0-9a-f]+),%esp", operands)
    if mnemonic not in ("and", "andl") or not match:
        return False
    mask = int(match.group(1), 16)
    return mask >= 0x80000000 and mask & 0xF == 0


class Function:
    def __init__(self, name):
        self.name = name
        self.realigned = False
        self.frame_pointer = False
        self.offence = None  # the first aligned stack access before a realignment
        self.aligned_accesses = 0


def parent_name(name):
    """GCC moves the cold paths of a function into NAME.cold; they run in its frame."""
    for suffix in (" [clone .cold]", ".cold"):
        if name.endswith(suffix):
            return name[: -len(suffix)]
    return None


def scan(lines):
    functions = []
    by_name = {}
    current = None
    for line in lines:
        symbol = SYMBOL.match(line)
        if symbol:
            current = Function(symbol.group(1))
            parent = by_name.get(parent_name(current.name) or "")
            if parent:
                current.realigned = parent.realigned
                current.frame_pointer = parent.frame_pointer
            functions.append(current)
            by_name.setdefault(current.name, current)
            continue
        instruction = INSTRUCTION.match(line)
        if not instruction or current is None:
            continue
        address, text = instruction.groups()
        words = text.split(None, 1)
        while words and words[0] in PREFIXES:
            words = words[1].split(None, 1) if len(words) > 1 else []
        if not words:
            continue
        mnemonic = words[0]
        operands = words[1].split("#")[0].strip().replace(" ", "") if len(words) > 1 else ""
        if realigns_stack(mnemonic, operands):
            current.realigned = True
        elif mnemonic in ("mov", "movl") and operands == "%esp,%ebp":
            current.frame_pointer = True
        elif needs_alignment(mnemonic, operands) and stack_operand(operands, current.frame_pointer):
            current.aligned_accesses += 1
            if not current.realigned and current.offence is None:
                current.offence = f"{address}: {mnemonic} {operands}"
    return functions


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--objdump", required=True)
    parser.add_argument("--expect-offender", action="append", default=[])
    parser.add_argument("file")
    args = parser.parse_args()

    result = subprocess.run([args.objdump, "-d", "-C", "--no-show-raw-insn", args.file],
                            stdout=subprocess.PIPE, universal_newlines=True)
    if result.returncode != 0:
        sys.exit(f"{args.objdump} -d failed on {args.file}")
    functions = scan(result.stdout.splitlines())
    offenders = [f for f in functions if f.offence]
    users = sum(1 for f in functions if f.aligned_accesses)
    realigning = sum(1 for f in functions if f.realigned and f.aligned_accesses)
    print(f"{args.file}: {len(functions)} functions, {users} with aligned SSE stack operands, "
          f"{realigning} of them realign the stack")
    if not functions:
        sys.exit("no functions in the disassembly")
    for f in offenders:
        print(f"  no realignment before {f.offence}\n    in {f.name}")

    if args.expect_offender:
        missing = [n for n in args.expect_offender if not any(n in f.name for f in offenders)]
        if missing:
            sys.exit("expected offenders not found: " + ", ".join(missing))
        print("the expected offenders were found")
        return
    if offenders:
        sys.exit(f"{len(offenders)} functions use aligned SSE accesses to an unaligned stack")


if __name__ == "__main__":
    main()
