/* The signal processor's scalar unit, vector loads and stores and vector unit working together.
   The main processor puts two vectors of operands in DMEM, loads microcode into IMEM by DMA and
   runs it until it halts. The microcode runs a multiply and a multiply-accumulate on the signed
   integer halves (reading the accumulator back with VSAR), an add that sets the carries and an
   add that takes them in, a less-than compare and a merge on its flags, and a reciprocal of zero,
   and stores the vectors and the control registers it read to DMEM. The main processor then
   compares them with the values the instructions' definitions give, worked out below.

   Result words: 0 the polls left when the halt came (0: it never did), 1 the mismatching words,
   2 the first of them (-1 for none), 3 and 4 what it held and what was expected. */
#include "vantor.inc"
#include "rsp.inc"

#define OPERANDS 0xA4000C00             /* v1, v2 and a vector of zeros */
#define STORED 0xA4000D00
#define STAGING 0xA0200000
#define WORDS 40                        /* nine vectors and four words */

  .set noreorder
  .section .text.start, "ax", @progbits
  .globl _start
_start:
  la    $t0, operands
  li    $t1, OPERANDS
  li    $t2, 12
1:
  lw    $t3, 0($t0)
  sw    $t3, 0($t1)
  addiu $t0, $t0, 4
  addiu $t2, $t2, -1
  bnez  $t2, 1b
  addiu $t1, $t1, 4
  load_microcode microcode, microcode_end, STAGING

  sw    $zero, SP_PC
  li    $t0, SP_CLEAR_HALT | SP_CLEAR_BROKE
  sw    $t0, SP_STATUS
  wait_bit0 SP_STATUS
  result $v0, 0

  la    $t0, expected
  li    $t1, STORED
  li    $t2, 0                          /* word index */
  li    $s0, 0                          /* mismatches */
  li    $s1, -1                         /* the first */
1:
  lw    $t3, 0($t0)
  lw    $t4, 0($t1)
  beq   $t3, $t4, 2f
  nop
  addiu $s0, $s0, 1
  bgez  $s1, 2f
  nop
  move  $s1, $t2
  result $t4, 3
  result $t3, 4
2:
  addiu $t0, $t0, 4
  addiu $t1, $t1, 4
  addiu $t2, $t2, 1
  li    $t5, WORDS
  bne   $t2, $t5, 1b
  nop
  result $s0, 1
  result $s1, 2
  idle

  .balign 8
operands:
  .half 1, 2, 0x7FFF, 0x8000, 0xFFFF, 100, 0x4000, 3          /* v1 */
  .half 3, 0xFFFF, 1, 2, 0xFFFF, 200, 0x4000, 0xFFFD          /* v2 */
  .half 0, 0, 0, 0, 0, 0, 0, 0

/* Lane by lane, v1 op v2 as signed numbers unless said otherwise. */
expected:
  /* VMUDH: the products 3, -2, 32767, -65536, 1, 20000, 2^28, -9 clamped to 16 bits. */
  .half 3, 0xFFFE, 0x7FFF, 0x8000, 1, 20000, 0x7FFF, 0xFFF7
  /* VMADH adds them again: 6, -4, 65534, -131072, 2, 40000, 2^29, -18, clamped. */
  .half 6, 0xFFFC, 0x7FFF, 0x8000, 2, 0x7FFF, 0x7FFF, 0xFFEE
  /* VSAR of the accumulator's middle: the sums' low halves. */
  .half 6, 0xFFFC, 0xFFFE, 0, 2, 40000, 0, 0xFFEE
  /* VSAR of its high part: their high halves. */
  .half 0, 0xFFFF, 0, 0xFFFE, 0, 0, 0x2000, 0xFFFF
  /* VADDC: unsigned sums' low halves; carries out of lanes 1, 4 and 7. */
  .half 4, 1, 0x8000, 0x8002, 0xFFFE, 300, 0x8000, 0
  /* VADD with those carries in: 4, 2, 32768, -32766, -1, 300, 32768, 1, clamped. */
  .half 4, 2, 0x7FFF, 0x8002, 0xFFFF, 300, 0x7FFF, 1
  /* VLT: the lesser, v2's where equal; v1 < v2 in lanes 0, 3 and 5. */
  .half 1, 0xFFFF, 1, 0x8000, 0xFFFF, 100, 0x4000, 0xFFFD
  /* VMRG v2, v1 on those flags: v2 where v1 was less, else v1. */
  .half 3, 2, 0x7FFF, 2, 0xFFFF, 200, 0x4000, 3
  /* VRCP of 0 into lane 3: the low half of 0x7FFFFFFF; VRCPH puts its high half in lane 4. */
  .half 0, 0, 0, 0xFFFF, 0x7FFF, 0, 0, 0
  /* VCO after VADDC (the carries, lane i in bit i), after VADD (cleared), VCC after VLT. */
  .word 0x92, 0, 0x29, 0

  .balign 8
microcode:
  .set noat
  addiu $2, $0, 0xC00
  VLOAD(LQV, 1, 0, 2)
  VLOAD(LQV, 2, 0, 2) + 1
  VLOAD(LQV, 11, 0, 2) + 2
  VLOAD(LQV, 12, 0, 2) + 2
  VOP(VMUDH, 3, 1, 2, 0)
  VOP(VMADH, 4, 1, 2, 0)
  VOP(VSAR, 5, 0, 0, 9)
  VOP(VSAR, 6, 0, 0, 8)
  VOP(VADDC, 7, 1, 2, 0)
  CFC2(3, 0)
  VOP(VADD, 8, 1, 2, 0)
  CFC2(4, 0)
  VOP(VLT, 9, 1, 2, 0)
  CFC2(5, 1)
  VOP(VMRG, 10, 2, 1, 0)
  VOP(VRCP, 11, 3, 12, 8)
  VOP(VRCPH, 11, 4, 12, 8)
  addiu $6, $0, 0xD00
  VSTORE(SQV, 3, 0, 6)
  VSTORE(SQV, 4, 0, 6) + 1
  VSTORE(SQV, 5, 0, 6) + 2
  VSTORE(SQV, 6, 0, 6) + 3
  VSTORE(SQV, 7, 0, 6) + 4
  VSTORE(SQV, 8, 0, 6) + 5
  VSTORE(SQV, 9, 0, 6) + 6
  VSTORE(SQV, 10, 0, 6) + 7
  VSTORE(SQV, 11, 0, 6) + 8
  sw    $3, 0xD90($0)
  sw    $4, 0xD94($0)
  sw    $5, 0xD98($0)
  sw    $0, 0xD9C($0)
  break
microcode_end:
  .set at
