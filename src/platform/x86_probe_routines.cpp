// The x86 sample-instruction routines (see x86_probes.h). This file holds nothing but
// assembly, so the compiler's own section bookkeeping is never disturbed.
//
// Each routine NAME has the labels NAME (entry), NAME_fault_begin and NAME_fault_end
// around the one instruction that may fault, and NAME_landing, which undoes what the
// routine did before that instruction and returns 0.

#if defined(__x86_64__) || defined(__i386__)

#if defined(__ELF__)
#define ORVIX_PROBE_SYMBOL(name) ".globl " name "\n.hidden " name "\n.type " name ", @function\n"
#else
#define ORVIX_PROBE_SYMBOL(name) ".globl " name "\n"
#endif

#define ORVIX_PROBE_LABELS(name)                                                                             \
    ORVIX_PROBE_SYMBOL(name) ORVIX_PROBE_SYMBOL(name "_fault_begin") ORVIX_PROBE_SYMBOL(name "_fault_end")   \
        ORVIX_PROBE_SYMBOL(name "_landing")

#if defined(__x86_64__)
#define ORVIX_PUSH_BX "push %rbx\n"
#define ORVIX_POP_BX "pop %rbx\n"
#else
#define ORVIX_PUSH_BX "push %ebx\n"
#define ORVIX_POP_BX "pop %ebx\n"
#endif

// A routine whose first instruction is the one that may fault.
#define ORVIX_SIMPLE_PROBE(name, faulting, after)                                                            \
    ".p2align 4\n" ORVIX_PROBE_LABELS(name) name ":\n" name "_fault_begin:\n" faulting "\n" name             \
    "_fault_end:\n" after "mov $1, %eax\nret\n" name "_landing:\nxor %eax, %eax\nret\n"

__asm__(".text\n"
        // cpuid clobbers ebx, which both calling conventions preserve.
        ".p2align 4\n" ORVIX_PROBE_LABELS("orvix_probe_cpuid")
        "orvix_probe_cpuid:\n" ORVIX_PUSH_BX
        "xor %eax, %eax\n"
        "xor %ecx, %ecx\n"
        "orvix_probe_cpuid_fault_begin:\n"
        "cpuid\n"
        "orvix_probe_cpuid_fault_end:\n" ORVIX_POP_BX
        "mov $1, %eax\n"
        "ret\n"
        "orvix_probe_cpuid_landing:\n" ORVIX_POP_BX
        "xor %eax, %eax\n"
        "ret\n"
        ORVIX_SIMPLE_PROBE("orvix_probe_mmx", "pxor %mm0, %mm0", "emms\n")
        ORVIX_SIMPLE_PROBE("orvix_probe_sse", "xorps %xmm0, %xmm0", "")
        ORVIX_SIMPLE_PROBE("orvix_probe_sse2", "xorpd %xmm0, %xmm0", "")
        ORVIX_SIMPLE_PROBE("orvix_probe_3dnow", "pfrcp %mm0, %mm0", "emms\n")
        ORVIX_SIMPLE_PROBE("orvix_probe_invalid", "ud2", ""));

#endif
