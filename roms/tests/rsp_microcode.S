/* The signal processor driven as the console's programs drive it. The main processor takes and
   frees the semaphore, moves a pattern from RDRAM into DMEM with a DMA of two rows and a skip,
   copies microcode of ours into IMEM and starts it with the interrupt on BREAK, then runs it once
   more without. The microcode loads and stores scalars and vectors at odd addresses, across the
   end of DMEM and of 16-byte lines, takes the semaphore, raises signal 1 and writes what it got
   to RDRAM with a DMA of two rows and a skip (0x200-0x23F and 0x280-0x2BF) before its BREAK.
   Waits record the polls they took, 0 when they gave up. */
#include "vantor.inc"
#include "rsp.inc"

#define PATTERN 0xA0300000
#define MARKED 0xA0000240

  .set noreorder
  .section .text.start, "ax", @progbits
  .globl _start
_start:
  lw    $t0, SP_STATUS                  /* halted since reset */
  result $t0, 0
  lw    $t0, SP_SEMAPHORE               /* free: 0, and now taken */
  result $t0, 1
  lw    $t0, SP_SEMAPHORE
  result $t0, 2
  sw    $zero, SP_SEMAPHORE
  lw    $t0, SP_SEMAPHORE               /* taken again here: the microcode finds 1 */
  result $t0, 3

  /* 64 bytes of pattern (byte i holds i) in RDRAM, and marks where the skip must leave them. */
  li    $t0, PATTERN
  li    $t1, 0x00010203
  li    $t2, 0x04040404
  li    $t3, 16
1:
  sw    $t1, 0($t0)
  addu  $t1, $t1, $t2
  addiu $t3, $t3, -1
  bnez  $t3, 1b
  addiu $t0, $t0, 4
  li    $t0, MARKED
  li    $t1, 0xDEADBEEF
  sw    $t1, 0($t0)
  sw    $t1, 0x3C($t0)

  /* Two rows of 16 bytes, 8 skipped between them, to DMEM 0xC00. */
  li    $t0, 0xC00
  sw    $t0, SP_MEM_ADDR
  li    $t0, PHYS(PATTERN)
  sw    $t0, SP_DRAM_ADDR
  li    $t0, (8 << 20) | (1 << 12) | 15
  sw    $t0, SP_RD_LEN
  lw    $t0, SP_DMA_BUSY
  result $t0, 4
  jal   wait_dma
  nop
  result $v0, 5
  lw    $t0, SP_DMEM + 0xC0C
  result $t0, 6
  lw    $t0, SP_DMEM + 0xC10            /* the second row starts at pattern byte 24 */
  result $t0, 7
  lw    $t0, SP_MEM_ADDR
  result $t0, 8
  lw    $t0, SP_DRAM_ADDR
  result $t0, 9
  lw    $t0, SP_RD_LEN
  result $t0, 10

  /* The microcode into IMEM, a word at a time, and SP_PC at its start. */
  copy_words microcode, microcode_end, SP_IMEM
  sw    $zero, SP_PC

  li    $t0, SP_CLEAR_HALT | SP_CLEAR_BROKE | SP_SET_INTR_BREAK
  sw    $t0, SP_STATUS
  wait_bit0 MI_INTR                     /* wait for the SP interrupt */
  result $v0, 11
  lw    $t0, SP_STATUS
  result $t0, 12
  lw    $t0, SP_PC
  result $t0, 13
  li    $t0, SP_CLEAR_INTR
  sw    $t0, SP_STATUS
  lw    $t0, MI_INTR
  andi  $t0, $t0, 1
  result $t0, 14

  /* Again without the interrupt: the program polls for the halt. */
  sw    $zero, SP_PC
  li    $t0, SP_CLEAR_HALT | SP_CLEAR_BROKE | SP_CLEAR_INTR_BREAK | SP_CLEAR_SIG1
  sw    $t0, SP_STATUS
  lw    $t0, SP_STATUS                  /* running */
  result $t0, 15
  wait_bit0 SP_STATUS
  result $v0, 16
  lw    $t0, SP_STATUS
  result $t0, 17
  lw    $t0, MI_INTR
  andi  $t0, $t0, 1
  result $t0, 18
  li    $t0, MARKED
  lw    $t1, 0($t0)                     /* the skip left these alone */
  result $t1, 19
  lw    $t1, 0x3C($t0)
  result $t1, 20
  idle

/* Polls SP_DMA_BUSY; returns the polls left of 10000 when it cleared, 0 if it did not. */
wait_dma:
  li    $v0, 10000
  lui   $t2, %hi(SP_DMA_BUSY)
1:
  lw    $t3, %lo(SP_DMA_BUSY)($t2)
  beqz  $t3, 2f
  nop
  addiu $v0, $v0, -1
  bnez  $v0, 1b
  nop
2:
  jr    $ra
  nop

/* The microcode: IMEM offset 0 on, only relative branches. Registers $1-$11 by number. */
  .balign 8
microcode:
  .set noat
  lw    $1, 0xC03($0)                   /* 03 04 05 06, from an odd address */
  sw    $1, 0xD01($0)
  lhu   $7, 0xD02($0)                   /* 04 05 */
  sh    $7, 0xE5B($0)                   /* an odd halfword */
  addiu $2, $0, 0xFFE
  sw    $1, 0($2)                       /* FFE, FFF, then 000 and 001: DMEM wraps */
  lw    $3, 0($2)
  sw    $3, 0xE24($0)

  addiu $4, $0, 0xC05
  VLOAD(LQV, 1, 0, 4)                   /* 05 .. 0F: to the line's end */
  addiu $4, $0, 0xE00
  VSTORE(SQV, 1, 0, 4)
  addiu $4, $0, 0xC15
  VLOAD(LRV, 1, 0, 4)                   /* C10 .. C14 into bytes 11-15 */
  addiu $4, $0, 0xE10
  VSTORE(SQV, 1, 0, 4)
  addiu $4, $0, 0xE21
  VSTORE(SSV, 1, 15, 4)                 /* byte 15, then byte 0 */
  VLOAD(LLV, 2, 13, 2)                  /* from FFE: three bytes fit */
  addiu $4, $0, 0xE30
  VSTORE(SQV, 2, 0, 4)
  addiu $4, $0, 0xC03
  VLOAD(LPV, 3, 0, 4)
  addiu $4, $0, 0xE40
  VSTORE(SQV, 3, 0, 4)
  addiu $4, $0, 0xE51
  VSTORE(SUV, 3, 0, 4)
  addiu $4, $0, 0xC01
  VLOAD(LHV, 4, 0, 4)
  addiu $4, $0, 0xE61
  VSTORE(SHV, 4, 0, 4)
  addiu $4, $0, 0xE75
  VSTORE(SWV, 1, 2, 4)                  /* all sixteen, wrapping in the line from E70 */

  mfc0  $5, $7                          /* the semaphore the main processor holds: 1 */
  sw    $5, 0xE28($0)
  MFC2(6, 1, 3)                         /* bytes 3 and 4 of $v1 */
  sw    $6, 0xE2C($0)
  ori   $5, $0, SP_SET_SIG1
  mtc0  $5, $4

  addiu $8, $0, 0xE00
  mtc0  $8, $0
  addiu $9, $0, 0x200
  mtc0  $9, $1
  lui   $10, 0x0400                     /* skip 64: bits 31-20 */
  ori   $10, $10, (1 << 12) | 0x3F      /* 2 rows of 64 bytes */
  mtc0  $10, $3
1:
  mfc0  $11, $6
  bnez  $11, 1b
  nop
  break
microcode_end:
  .set at
