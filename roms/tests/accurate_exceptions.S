/* Exceptions and the TLB as a program of the console sees them. Every vector (TLB refill, XTLB
   refill, general) runs one handler that records CAUSE (code, BD and CE, with the vector's number
   in bits 1-0), EPC less the address the case expected, and BadVAddr, then returns to the case's
   resume address in kernel mode. Cases: address errors (load, store, delay slot, fetch, 64-bit
   address in 32-bit mode, kernel address from user mode), COP0 from user mode, TLB refill through
   both vectors and under EXL, TLB invalid and modified, loads through mapped pages (4 KB and
   16 KB), ASID switches, an overwritten entry, TLBP, TLBR, Wired, Random and TLBWR, SYSCALL
   (also in a delay slot), BREAK (also under EXL, which keeps EPC and BD), the traps, overflow
   of all six forms, reserved encodings, COP1 unusable and the FPU's exceptions (an enabled IEEE
   cause, and the unimplemented operation: reserved formats, denormal and quiet NaN operands,
   unflushed underflow, conversions that do not fit). Words are recorded one after the other
   from RECORDS on; the registers an instruction would have written are recorded after it to
   show that it wrote nothing. */
#include "vantor.inc"

#define C0_INDEX $0
#define C0_RANDOM $1
#define C0_ENTRYLO0 $2
#define C0_ENTRYLO1 $3
#define C0_CONTEXT $4
#define C0_PAGEMASK $5
#define C0_WIRED $6
#define C0_BADVADDR $8
#define C0_ENTRYHI $10
#define C0_STATUS $12
#define C0_CAUSE $13
#define C0_EPC $14
#define C0_XCONTEXT $20

#define RECORDS (RESULTS + 0x100)  /* past the general vector at 0x80000180 */
#define STATUS_KERNEL 0x24000000    /* CU1, FR: kernel mode, 32-bit addressing */
#define STATUS_KX 0x00000080
#define STATUS_EXL 0x00000002
#define STATUS_USER 0x00000010
#define UNTOUCHED 0x1234

  .set noreorder
  .set noat

/* Records register \reg as the next word. */
.macro rec reg
  sw    \reg, 0($s6)
  addiu $s6, $s6, 4
.endm

/* Runs \insn expecting an exception with EPC at \insn; resumes after it. */
.macro fault insn:vararg
  la    $s5, 98f
  la    $s7, 99f
98:
  \insn
99:
.endm

/* Records the 64-bit register \reg as two words, the high one first. */
.macro rec64 reg
  dsrl32 $at, \reg, 0
  rec   $at
  rec   \reg
.endm

/* Writes TLB entry \index of 4 KB pages, global, with the 64-bit EntryHi \hi. */
.macro tlb_write64 index, hi, lo0
  li    $t0, \index
  mtc0  $t0, C0_INDEX
  dli   $t0, \hi
  dmtc0 $t0, C0_ENTRYHI
  li    $t0, \lo0
  mtc0  $t0, C0_ENTRYLO0
  li    $t0, 1
  mtc0  $t0, C0_ENTRYLO1
  mtc0  $zero, C0_PAGEMASK
  tlbwi
.endm

/* Writes TLB entry \index. */
.macro tlb_write index, hi, lo0, lo1, mask
  li    $t0, \index
  mtc0  $t0, C0_INDEX
  li    $t0, \hi
  mtc0  $t0, C0_ENTRYHI
  li    $t0, \lo0
  mtc0  $t0, C0_ENTRYLO0
  li    $t0, \lo1
  mtc0  $t0, C0_ENTRYLO1
  li    $t0, \mask
  mtc0  $t0, C0_PAGEMASK
  tlbwi
.endm

/* Copies the next 16 bytes from $t0 on to \vector. */
.macro copy_stub vector
  li    $t1, \vector
  lw    $t3, 0($t0)
  lw    $t4, 4($t0)
  lw    $t5, 8($t0)
  lw    $t6, 12($t0)
  sw    $t3, 0($t1)
  sw    $t4, 4($t1)
  sw    $t5, 8($t1)
  sw    $t6, 12($t1)
  addiu $t0, $t0, 16
.endm

/* Stores \value at the uncached address \address. */
.macro poke address, value
  li    $t0, \address
  li    $t1, \value
  sw    $t1, 0($t0)
.endm

  .section .text.start, "ax", @progbits
  .globl _start
_start:
  li    $t0, STATUS_KERNEL
  mtc0  $t0, C0_STATUS
  li    $s6, RECORDS
  la    $t0, stubs                      /* the three vectors' stubs */
  copy_stub 0xA0000000
  copy_stub 0xA0000080
  copy_stub 0xA0000180

  /* Address errors. */
  li    $t0, 0x80000001
  li    $t1, UNTOUCHED
  fault lw $t1, 0($t0)                  /* 0: misaligned load */
  rec   $t1
  fault sh $t1, 0($t0)                  /* 1: misaligned store */
  la    $s5, 3f                         /* 2: in a delay slot: EPC at the branch, BD */
  la    $s7, 4f
3:
  beq   $zero, $zero, 4f
  lw    $t1, 2($t0)
  nop
4:
  la    $t2, 5f + 2                     /* 3: a fetch from a jump to an odd address */
  move  $s5, $t2
  la    $s7, 5f
  jr    $t2
  nop
5:
  dli   $t0, 0x0000000180000010         /* 4: not a 32-bit address in 32-bit mode */
  fault lw $t1, 0($t0)

  /* TLB entries: 0 maps the first 8 KB for user code, 1 an even page only, 2 a clean page,
     3 a page of ASID 5 only, 4 a pair of 16 KB pages. */
  tlb_write 0, 0x00000000, 0x41F, 0x001, 0
  tlb_write 1, 0x40004000, 0x81F, 0x001, 0
  tlb_write 2, 0x40006000, 0x85B, 0x001, 0
  tlb_write 3, 0x40008005, 0xC1E, 0x000, 0
  tlb_write 4, 0x40100000, 0x101F, 0x111F, 0x6000
  li    $t0, 5
  mtc0  $t0, C0_ENTRYHI                 /* ASID 5 */
  mtc0  $zero, C0_PAGEMASK

  /* User mode: code copied to physical 0x10000, run from virtual 0 through entry 0. */
  la    $t0, user_code
  li    $t1, 0xA0010000
  lw    $t2, 0($t0)
  lw    $t3, 4($t0)
  sw    $t2, 0($t1)
  sw    $t3, 4($t1)
  li    $t0, 0x80000100
  li    $t1, STATUS_KERNEL | STATUS_USER | STATUS_EXL
  mtc0  $t1, C0_STATUS
  mtc0  $zero, C0_EPC
  li    $s5, 0                          /* 5: a kernel address from user mode */
  la    $s7, 6f
  eret
6:
  li    $t1, STATUS_KERNEL | STATUS_USER | STATUS_EXL
  mtc0  $t1, C0_STATUS
  li    $t1, 4
  mtc0  $t1, C0_EPC
  li    $s5, 4                          /* 6: COP0 from user mode */
  la    $s7, 7f
  eret
7:

  /* TLB exceptions. */
  mtc0  $zero, C0_CONTEXT
  li    $t0, 0x40000000
  fault lw $t1, 0($t0)                  /* 7: refill, 32-bit vector */
  mfc0  $t1, C0_CONTEXT
  rec   $t1
  mfc0  $t1, C0_ENTRYHI
  rec   $t1
  li    $t1, 5
  mtc0  $t1, C0_ENTRYHI
  li    $t1, STATUS_KERNEL | STATUS_KX
  mtc0  $t1, C0_STATUS
  li    $t0, 0x40002000
  fault sw $t1, 0($t0)                  /* 8: refill, 64-bit vector */
  mfc0  $t1, C0_XCONTEXT
  rec   $t1
  li    $t1, STATUS_KERNEL | STATUS_EXL
  mtc0  $t1, C0_STATUS
  li    $s5, 0x00ABCDE0                 /* 9: refill under EXL: general vector, EPC kept */
  mtc0  $s5, C0_EPC
  la    $s7, 8f
  li    $t0, 0x40000000
  lw    $t1, 0($t0)
8:
  li    $t1, 5
  mtc0  $t1, C0_ENTRYHI
  li    $t0, 0x40005000
  fault lw $t1, 0($t0)                  /* 10: invalid half */
  li    $t0, 0x40006000
  fault sw $t1, 0($t0)                  /* 11: store to a clean page */
  li    $t2, 0x1000                     /* 12: a fetch from entry 0's invalid half */
  move  $s5, $t2
  la    $s7, 9f
  jr    $t2
  nop
9:

  /* Mapped loads. */
  poke  0xA0020010, 0x11111111
  li    $t0, 0x40004010
  lw    $t1, 0($t0)
  rec   $t1
  poke  0xA0021020, 0x22222222
  li    $t0, 0x40006020
  lw    $t1, 0($t0)
  rec   $t1
  poke  0xA0030000, 0x33333333
  li    $t0, 0x40008000
  lw    $t1, 0($t0)
  rec   $t1
  poke  0xA0047000, 0x44444444
  li    $t0, 0x40107000
  lw    $t1, 0($t0)
  rec   $t1

  /* TLBP and TLBR. */
  li    $t0, 0x40008005
  mtc0  $t0, C0_ENTRYHI
  tlbp
  mfc0  $t1, C0_INDEX
  rec   $t1
  li    $t0, 0x50000005
  mtc0  $t0, C0_ENTRYHI
  tlbp
  mfc0  $t1, C0_INDEX
  srl   $t1, $t1, 31
  rec   $t1
  li    $t0, 4
  mtc0  $t0, C0_INDEX
  tlbr
  mfc0  $t1, C0_ENTRYHI
  rec   $t1
  mfc0  $t1, C0_ENTRYLO0
  rec   $t1
  mfc0  $t1, C0_ENTRYLO1
  rec   $t1
  mfc0  $t1, C0_PAGEMASK
  rec   $t1

  /* ASID 6 does not see entry 3; entry 1 overwritten loses its page. */
  li    $t0, 6
  mtc0  $t0, C0_ENTRYHI
  li    $t0, 0x40008000
  fault lw $t1, 0($t0)                  /* 13 */
  tlb_write 1, 0x40400000, 0x81F, 0x001, 0
  li    $t0, 0x40004010
  fault lw $t1, 0($t0)                  /* 14 */

  /* Wired and Random: with Wired 30 Random reads 30 or 31; with 31, TLBWR writes entry 31. */
  li    $t0, 30
  mtc0  $t0, C0_WIRED
  mfc0  $t1, C0_RANDOM
  rec   $t1
  li    $t0, 31
  mtc0  $t0, C0_WIRED
  li    $t0, 0x40200000
  mtc0  $t0, C0_ENTRYHI
  li    $t0, 0x141F                     /* physical 0x50000 */
  mtc0  $t0, C0_ENTRYLO0
  li    $t0, 1
  mtc0  $t0, C0_ENTRYLO1
  tlbwr
  mtc0  $zero, C0_WIRED
  poke  0xA0050008, 0x55555555
  li    $t0, 0x40200008
  lw    $t1, 0($t0)
  rec   $t1
  li    $t0, 31
  mtc0  $t0, C0_INDEX
  tlbr
  mfc0  $t1, C0_ENTRYHI
  rec   $t1

  /* SYSCALL, BREAK and the traps. */
  fault syscall                         /* 15 */
  fault break                           /* 16 */
  la    $s5, 1f                         /* 16a: SYSCALL in a delay slot */
  la    $s7, 2f
1:
  bne   $zero, $s5, 2f                  /* taken: the slot raises */
  syscall
  nop
2:
  li    $t1, STATUS_KERNEL | STATUS_EXL  /* 16b: BREAK under EXL keeps EPC */
  mtc0  $t1, C0_STATUS
  li    $s5, 0x00FEDCB0
  mtc0  $s5, C0_EPC
  la    $s7, 3f
  break
3:
  li    $t0, 7
  li    $t1, 7
  fault teq $t0, $t1                    /* 17 */
  fault tgei $t0, 7                     /* 18 */
  fault tltiu $t0, 8                    /* 19 */
  fault tnei $t0, -1                    /* 20 */
  tne   $t0, $t1                        /* not taken */
  tlti  $t0, 7
  tgeu  $zero, $t0
  li    $t2, 0x600D
  rec   $t2

  /* Overflow: the destination keeps its value. */
  li    $t0, 0x7FFFFFFF
  li    $t1, 1
  li    $t2, UNTOUCHED
  fault add $t2, $t0, $t1               /* 21 */
  fault addi $t2, $t0, 1                /* 22 */
  li    $t3, 0x80000000
  fault sub $t2, $t3, $t1               /* 23 */
  dli   $t4, 0x7FFFFFFFFFFFFFFF
  fault dadd $t2, $t4, $t1              /* 24 */
  fault daddi $t2, $t4, 1               /* 25 */
  dli   $t5, 0x8000000000000000
  fault dsub $t2, $t5, $t1              /* 26 */
  rec   $t2
  add   $t2, $t0, $zero                 /* no overflow: written */
  rec   $t2

  /* Reserved encodings and coprocessors. */
  fault .word 0x4C000000                /* 27: opcode 0x13 */
  fault .word 0x00000001                /* 28: SPECIAL function 1 */
  li    $t0, 0x04000000                 /* FR, without CU1 */
  mtc0  $t0, C0_STATUS
  fault mfc1 $t1, $f0                   /* 29 */
  li    $t0, STATUS_KERNEL
  mtc0  $t0, C0_STATUS

  /* The FPU: an enabled invalid operation, then an unimplemented one. */
  li    $t0, 0xBF800000                 /* -1.0 */
  mtc1  $t0, $f0
  li    $t0, UNTOUCHED
  mtc1  $t0, $f2
  li    $t0, 0x800                      /* enable invalid operation */
  ctc1  $t0, $31
  fault sqrt.s $f2, $f0                 /* 30 */
  mfc1  $t1, $f2
  rec   $t1
  cfc1  $t1, $31
  rec   $t1
  ctc1  $zero, $31
  fault .word 0x46800000                /* 31: ADD in format W */
  cfc1  $t1, $31
  rec   $t1

  /* What the FPU has no hardware for traps as unimplemented, whatever the enables; the
     destination ($f2) keeps its value. */
  li    $t0, 0x3F800000                 /* 1.0 */
  mtc1  $t0, $f6
  li    $t0, 0x00000001                 /* the smallest denormal */
  mtc1  $t0, $f8
  li    $t0, 0x7FBFFFFF                 /* a quiet NaN (top fraction bit clear) */
  mtc1  $t0, $f10
  li    $t0, 0x0DA24260                 /* about 2^-100 */
  mtc1  $t0, $f12
  li    $t0, 0x4F000000                 /* 2^31 */
  mtc1  $t0, $f14
  li    $t0, 0xFF800000                 /* minus infinity */
  mtc1  $t0, $f16
  ctc1  $zero, $31
  fault add.s $f2, $f6, $f8             /* 32: a denormal operand */
  fault mul.s $f2, $f10, $f6            /* 33: a quiet NaN operand */
  fault mul.s $f2, $f12, $f12           /* 34: an underflow with FS clear */
  li    $t0, 0x01000100                 /* 35: FS set but underflow enabled */
  ctc1  $t0, $31
  fault mul.s $f2, $f12, $f12
  ctc1  $zero, $31
  fault cvt.w.s $f2, $f14               /* 36: 2^31 does not fit a word */
  fault trunc.w.s $f2, $f16             /* 37: an infinity */
  fault cvt.d.s $f2, $f8                /* 38: a denormal converted */
  fault neg.s $f2, $f8                  /* 39: NEG of a denormal */
  mfc1  $t1, $f2
  rec   $t1
  cfc1  $t1, $31
  rec   $t1
  mov.s $f4, $f8                        /* moves and compares take them */
  c.eq.s $f8, $f8
  cfc1  $t1, $31
  rec   $t1
  c.eq.s $f10, $f6
  cfc1  $t1, $31
  rec   $t1
  mfc1  $t1, $f4
  rec   $t1
  li    $t0, 0x4EFFFFFF                 /* 2^31 - 128 converts */
  mtc1  $t0, $f14
  cvt.w.s $f2, $f14
  mfc1  $t1, $f2
  rec   $t1
  ctc1  $zero, $31

  /* 32-bit EntryHi values are sign-extended: an entry for kseg3 is in region 3. */
  tlb_write 7, 0xE0000000, 0x81F, 0x001, 0
  li    $t0, 0xE0000010
  lw    $t1, 0($t0)
  rec   $t1

  /* 64-bit addressing (KX): the TLB matches the region and VPN2 bits 39-13. */
  li    $t0, STATUS_KERNEL | STATUS_KX
  mtc0  $t0, C0_STATUS
  dli   $t0, -1
  dmtc0 $t0, C0_ENTRYHI
  dmfc0 $t1, C0_ENTRYHI                 /* only the fields that exist */
  rec64 $t1
  tlb_write64 5, 0xC000001234560000, 0x81F     /* xkseg, physical 0x20000 */
  tlb_write64 6, 0x000000FF00004000, 0x85B     /* xuseg, physical 0x21000, clean */
  dli   $t0, 0xC000001234560010
  lw    $t1, 0($t0)
  rec   $t1
  dli   $t0, 0x000000FF00004020
  lw    $t1, 0($t0)
  rec   $t1
  li    $t0, 0x4020
  fault lw $t1, 0($t0)                  /* 40: the same low word in another segment */
  dli   $t0, 0x000000FF00004020
  fault sw $t1, 0($t0)                  /* 41: TLB modified at a 64-bit address */
  dmfc0 $t1, C0_BADVADDR
  rec64 $t1
  dli   $t0, 0xFEDCBA9876543210
  dmtc0 $t0, C0_CONTEXT
  dli   $t0, 0x1234567800000000
  dmtc0 $t0, C0_XCONTEXT
  dli   $t0, 0xC00000345678A000
  fault lw $t1, 0($t0)                  /* 42: XTLB refill in xkseg */
  dmfc0 $t1, C0_BADVADDR
  rec64 $t1
  dmfc0 $t1, C0_ENTRYHI
  rec64 $t1
  dmfc0 $t1, C0_CONTEXT
  rec64 $t1
  dmfc0 $t1, C0_XCONTEXT
  rec64 $t1
  dli   $t0, 0x9000000000020010         /* xkphys: physical 0x20010 */
  lw    $t1, 0($t0)
  rec   $t1
  dli   $t0, 0x9000000100000000
  fault lw $t1, 0($t0)                  /* 43: xkphys past 32 physical bits */
  dmfc0 $t1, C0_BADVADDR
  rec64 $t1
  dli   $t0, 0x4000010000000000
  fault lw $t1, 0($t0)                  /* 44: past xsseg's 2^40 bytes */

  /* TLBP and TLBR with the region. */
  dli   $t0, 0xC000001234560000
  dmtc0 $t0, C0_ENTRYHI
  tlbp
  mfc0  $t1, C0_INDEX
  rec   $t1
  dli   $t0, 0x0000001234560000
  dmtc0 $t0, C0_ENTRYHI
  tlbp
  mfc0  $t1, C0_INDEX
  srl   $t1, $t1, 31
  rec   $t1
  li    $t0, 5
  mtc0  $t0, C0_INDEX
  tlbr
  dmfc0 $t1, C0_ENTRYHI
  rec64 $t1

  /* ERET in 32-bit mode to an EPC that is not a 32-bit address: its fetch faults. */
  li    $t0, STATUS_KERNEL | STATUS_EXL
  mtc0  $t0, C0_STATUS
  dli   $s5, 0x0000000100000000         /* 45 */
  dmtc0 $s5, C0_EPC
  la    $s7, 1f
  eret
1:
  dmfc0 $t1, C0_BADVADDR
  rec64 $t1

  li    $t0, 0xD0E
  rec   $t0
  idle

/* Runs in user mode at virtual 0: a load from a kernel address, then a COP0 move. */
user_code:
  lw    $t1, 0($t0)
  mfc0  $t1, C0_STATUS

/* Copied to the vectors: each loads its number and goes to the handler. */
stubs:
  la    $k0, handler
  jr    $k0
  li    $k1, 0
  la    $k0, handler
  jr    $k0
  li    $k1, 1
  la    $k0, handler
  jr    $k0
  li    $k1, 2

/* Records CAUSE with the vector's number, EPC less $s5 (64 bits) and BadVAddr, then returns to
   $s7 in kernel mode. */
handler:
  mfc0  $k0, C0_CAUSE
  lui   $at, 0xB000
  ori   $at, $at, 0x7C
  and   $k0, $k0, $at
  or    $k0, $k0, $k1
  rec   $k0
  dmfc0 $k0, C0_EPC                     /* all 64 bits: 0 only when both halves match */
  dsubu $k0, $k0, $s5
  dsrl32 $at, $k0, 0
  or    $k0, $k0, $at
  rec   $k0
  mfc0  $k0, C0_BADVADDR
  rec   $k0
  mfc0  $k0, C0_STATUS
  ori   $k0, $k0, STATUS_USER
  xori  $k0, $k0, STATUS_USER
  mtc0  $k0, C0_STATUS
  mtc0  $s7, C0_EPC
  eret
