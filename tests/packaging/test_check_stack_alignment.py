#!/usr/bin/env python3
"""Cases of cmake/check_stack_alignment.py on hand-written disassembly, in the form
`objdump -d -C --no-show-raw-insn` prints it:

    python3 tests/packaging/test_check_stack_alignment.py
"""

import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "cmake"))
import check_stack_alignment as checker  # noqa: E402


def offenders(text):
    lines = [line.replace("|", "\t") for line in text.strip("\n").splitlines()]
    return [f.name for f in checker.scan(lines) if f.offence]


def function(name, *instructions):
    body = "".join(f"  {0x1000 + 4 * i:x}:|{ins}\n" for i, ins in enumerate(instructions))
    return f"00001000 <{name}>:\n{body}"


class AlignedAccesses(unittest.TestCase):
    def test_packed_operations_on_stack_slots_need_alignment(self):
        for ins in ("pand   0x40(%esp),%xmm1", "pshufd $0x44,0x30(%esp),%xmm1", "pmullw 0x20(%esp),%xmm0",
                    "movaps %xmm0,0x10(%esp)", "movdqa (%esp),%xmm2", "pmaxsd 0x10(%esp),%xmm3",
                    "mulps  0x10(%esp,%eax,1),%xmm0", "vmovdqa %ymm0,0x20(%esp)"):
            with self.subTest(ins=ins):
                self.assertEqual(offenders(function("k", "sub    $0x2c,%esp", ins)), ["k"])

    def test_unaligned_scalar_and_narrow_accesses_are_allowed(self):
        for ins in ("movups %xmm0,0x10(%esp)", "movdqu 0x10(%esp),%xmm0", "movq   %xmm0,0x8(%esp)",
                    "movd   0x30(%esp),%xmm1", "addss  0x4(%esp),%xmm0", "cvtsi2sdl 0x8(%esp),%xmm0",
                    "ucomisd 0x10(%esp),%xmm1", "cvttsd2si 0x8(%esp),%eax", "pinsrw $0x1,0x4(%esp),%xmm0",
                    "pmovzxbw 0x8(%esp),%xmm0", "vpand  0x10(%esp),%xmm1,%xmm2", "vmovdqu %ymm0,0x20(%esp)",
                    "movq   0x10(%esp),%mm0"):
            with self.subTest(ins=ins):
                self.assertEqual(offenders(function("k", "sub    $0x2c,%esp", ins)), [])

    def test_memory_off_the_stack_is_not_checked(self):
        self.assertEqual(offenders(function("k", "movdqa (%eax),%xmm0", "pand   0x10(%ecx,%edx,1),%xmm1")), [])


class Realignment(unittest.TestCase):
    def test_a_realigned_frame_may_use_aligned_slots(self):
        text = function("k", "push   %ebp", "mov    %esp,%ebp", "and    $0xfffffff0,%esp",
                        "pand   0x10(%esp),%xmm0", "movdqa %xmm0,-0x20(%ebp)")
        self.assertEqual(offenders(text), [])

    def test_wider_masks_realign_too_and_narrower_ones_do_not(self):
        self.assertEqual(offenders(function("k", "and    $0xffffffe0,%esp", "vmovdqa %ymm0,(%esp)")), [])
        self.assertEqual(offenders(function("k", "and    $0xfffffff8,%esp", "movdqa %xmm0,(%esp)")), ["k"])
        self.assertEqual(offenders(function("k", "and    $0xfffffff0,%eax", "movdqa %xmm0,(%esp)")), ["k"])

    def test_the_realignment_must_come_first(self):
        text = function("k", "pand   0x10(%esp),%xmm0", "and    $0xfffffff0,%esp")
        self.assertEqual(offenders(text), ["k"])

    def test_ebp_counts_as_the_stack_only_once_it_is_the_frame_pointer(self):
        self.assertEqual(offenders(function("k", "movdqa (%ebp),%xmm0")), [])
        self.assertEqual(offenders(function("k", "push   %ebp", "mov    %esp,%ebp", "movdqa -0x18(%ebp),%xmm0")),
                         ["k"])

    def test_each_function_realigns_its_own_frame(self):
        text = (function("a", "and    $0xfffffff0,%esp", "movdqa %xmm0,(%esp)")
                + function("b", "movdqa %xmm0,(%esp)"))
        self.assertEqual(offenders(text), ["b"])

    def test_cold_parts_run_in_their_function_frame(self):
        text = (function("k(int)", "and    $0xfffffff0,%esp", "movdqa %xmm0,(%esp)")
                + function("k(int) [clone .cold]", "movdqa (%esp),%xmm1")
                + function("j.part.0", "movdqa (%esp),%xmm1"))
        self.assertEqual(offenders(text), ["j.part.0"])


if __name__ == "__main__":
    unittest.main()
