/* The video interface's line timing in the accurate mode, measured with COUNT (half the
   processor clock). Polls MI_INTR with the interrupt masked, so nothing is taken.

   Results (RESULTS + 4 * index):
     0-4    five VI_V_CURRENT values, each read as soon as it changed
     5-8    COUNT between those changes (a line each)
     9-11   VI_V_CURRENT when the interrupt for VI_V_INTR = 0x010, 0x100, 0x200 came
     12     COUNT between two interrupts at VI_V_INTR = 0x200 (a field)
     13     interrupts counted while COUNT ran three fields and a half on
     14-15  VI_V_CURRENT at two interrupts in a row in the interlaced mode (V_SYNC 524)
     16     0x600D when the run got to the end */
#include "vantor.inc"

#define C0_COUNT $9

  .set noreorder
  .section .text.start, "ax", @progbits
  .globl _start
_start:
  lui   $s7, %hi(VI_BASE)
  lui   $s6, %hi(MI_INTR)

  /* Lines: wait for each change of VI_V_CURRENT. */
  lw    $t0, %lo(VI_V_CURRENT)($s7)
1:
  lw    $t1, %lo(VI_V_CURRENT)($s7)
  beq   $t1, $t0, 1b
  nop
  mfc0  $t9, C0_COUNT
  li    $s0, RESULTS
  li    $s1, 5
2:
  sw    $t1, 0($s0)
  addiu $s1, $s1, -1
  beqz  $s1, 4f
  move  $t0, $t1
3:
  lw    $t1, %lo(VI_V_CURRENT)($s7)
  beq   $t1, $t0, 3b
  nop
  mfc0  $t8, C0_COUNT
  subu  $t2, $t8, $t9
  sw    $t2, 20($s0)
  move  $t9, $t8
  b     2b
  addiu $s0, $s0, 4
4:

  /* The interrupt at three lines. */
  li    $a0, 0x010
  jal   interrupt_at
  nop
  result $v0, 9
  li    $a0, 0x100
  jal   interrupt_at
  nop
  result $v0, 10
  li    $a0, 0x200
  jal   interrupt_at
  nop
  result $v0, 11
  mfc0  $t9, C0_COUNT
  jal   wait_interrupt
  nop
  mfc0  $t8, C0_COUNT
  subu  $t2, $t8, $t9
  result $t2, 12

  /* Interrupts in three fields and a half, by COUNT. */
  lw    $t3, RESULTS + 48
  srl   $t4, $t3, 1
  sll   $t3, $t3, 1
  addu  $t3, $t3, $t4
  lw    $t4, RESULTS + 48
  addu  $t3, $t3, $t4                   /* 3.5 fields of COUNT */
  mfc0  $t9, C0_COUNT
  move  $s2, $zero
5:
  lw    $t1, %lo(MI_INTR)($s6)
  andi  $t1, $t1, 8
  beqz  $t1, 6f
  nop
  addiu $s2, $s2, 1
  sw    $zero, %lo(VI_V_CURRENT)($s7)
6:
  mfc0  $t8, C0_COUNT
  subu  $t2, $t8, $t9
  sltu  $t2, $t2, $t3
  bnez  $t2, 5b
  nop
  result $s2, 13

  /* Interlaced: 525 half-lines a field, the field in bit 0 of VI_V_CURRENT. */
  li    $t0, 0x40
  sw    $t0, %lo(VI_STATUS)($s7)
  li    $t0, 524
  sw    $t0, %lo(VI_V_SYNC)($s7)
  li    $a0, 0x100
  jal   interrupt_at
  nop
  result $v0, 14
  jal   wait_interrupt
  nop
  result $v0, 15

  li    $t0, 0x600D
  result $t0, 16
  idle

/* Sets VI_V_INTR to $a0 and waits for its interrupt; $v0 = VI_V_CURRENT then. */
interrupt_at:
  sw    $a0, %lo(VI_V_INTR)($s7)
  sw    $zero, %lo(VI_V_CURRENT)($s7)
/* Waits for the next video interrupt and acknowledges it; $v0 = VI_V_CURRENT then. */
wait_interrupt:
  sw    $zero, %lo(VI_V_CURRENT)($s7)
1:
  lw    $t1, %lo(MI_INTR)($s6)
  andi  $t1, $t1, 8
  beqz  $t1, 1b
  nop
  lw    $v0, %lo(VI_V_CURRENT)($s7)
  jr    $ra
  sw    $zero, %lo(VI_V_CURRENT)($s7)
