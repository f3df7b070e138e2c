/* Signal processor benchmark: microcode of ours runs a transform's multiply-accumulate chain
   (VMUDL, VMADM, VMADN, VMADH with broadcast elements for four columns, twice a pass) for
   PASSES passes and breaks. The main processor loads it into IMEM by DMA and starts it with the
   interrupt on BREAK; the interrupt's handler counts the run and starts the next one, while the
   main processor waits in a jump to itself, so nearly all the work is the signal processor's.

   Result word 0 counts the finished runs, word 1 is the vector instructions a run executes. */
#include "vantor.inc"
#include "rsp.inc"

#define C0_STATUS $12
#define EXCEPTION_VECTOR 0xA0000180
#define STATUS_IE_IM2 0x0401
#define MI_MASK_SET_SP 0x0002
#define STAGING 0xA0200000

#define PASSES 4096
#define OPS_PER_PASS 32

  .set noreorder
  .section .text.start, "ax", @progbits
  .globl _start
_start:
  result $zero, 0
  li    $t0, PASSES * OPS_PER_PASS
  result $t0, 1
  load_microcode microcode, microcode_end, STAGING

  copy_words handler, handler_end, EXCEPTION_VECTOR
  li    $t0, MI_MASK_SET_SP
  sw    $t0, MI_INTR_MASK
  li    $t0, STATUS_IE_IM2
  mtc0  $t0, C0_STATUS

  sw    $zero, SP_PC
  li    $t0, SP_CLEAR_HALT | SP_CLEAR_BROKE | SP_SET_INTR_BREAK
  sw    $t0, SP_STATUS
  idle

/* The SP interrupt: acknowledge it, count the run, start the next. Uses only $k0 and $k1. */
handler:
  lui   $k1, %hi(SP_STATUS)
  li    $k0, SP_CLEAR_INTR
  sw    $k0, %lo(SP_STATUS)($k1)
  lui   $k1, %hi(SP_PC)
  sw    $zero, %lo(SP_PC)($k1)
  lui   $k1, %hi(SP_STATUS)
  li    $k0, SP_CLEAR_HALT | SP_CLEAR_BROKE
  sw    $k0, %lo(SP_STATUS)($k1)
  lui   $k1, %hi(RESULTS)
  lw    $k0, %lo(RESULTS)($k1)
  addiu $k0, $k0, 1
  sw    $k0, %lo(RESULTS)($k1)
  eret
handler_end:

/* Rows of the matrix in v0-v3 (integer) and v4-v7 (fraction), the vertex in v8 (integer) and v9
   (fraction), all loaded from the first 160 bytes of DMEM; the result in v10 and v11. The first
   column of each half starts the accumulator afresh. */
#define COLUMN(c, low, mid) \
  VOP(low, 11, 4 + (c), 9, 8 + (c)); \
  VOP(VMADM, 11, (c), 9, 8 + (c)); \
  VOP(mid, 11, 4 + (c), 8, 8 + (c)); \
  VOP(VMADH, 10, (c), 8, 8 + (c))

  .balign 8
microcode:
  .set noat
  addiu $2, $0, 0
  VLOAD(LQV, 0, 0, 2)
  VLOAD(LQV, 1, 0, 2) + 1
  VLOAD(LQV, 2, 0, 2) + 2
  VLOAD(LQV, 3, 0, 2) + 3
  VLOAD(LQV, 4, 0, 2) + 4
  VLOAD(LQV, 5, 0, 2) + 5
  VLOAD(LQV, 6, 0, 2) + 6
  VLOAD(LQV, 7, 0, 2) + 7
  VLOAD(LQV, 8, 0, 2) + 8
  VLOAD(LQV, 9, 0, 2) + 9
  ori   $1, $0, PASSES
1:
  COLUMN(0, VMUDL, VMUDN)
  COLUMN(1, VMADL, VMADN)
  COLUMN(2, VMADL, VMADN)
  COLUMN(3, VMADL, VMADN)
  COLUMN(0, VMUDL, VMUDN)
  COLUMN(1, VMADL, VMADN)
  COLUMN(2, VMADL, VMADN)
  COLUMN(3, VMADL, VMADN)
  addiu $1, $1, -1
  bnez  $1, 1b
  nop
  break
microcode_end:
  .set at
