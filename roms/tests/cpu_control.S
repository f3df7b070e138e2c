/* Control flow: subroutine calls through JAL and JR, a likely branch whose delay slot only
   runs when taken, JALR through a register, and a counted loop with a filled delay slot. */
#include "vantor.inc"

  .set noreorder
  .section .text.start, "ax", @progbits
  .globl _start
_start:
  li    $s0, 0                          /* bit trail of what ran */
  jal   set_bit0
  li    $a0, 1                          /* delay slot: the argument */
  result $v0, 0                         /* 2: the routine doubled its argument */

  li    $t0, 5
  beql  $t0, $zero, 1f                  /* not taken: its delay slot is skipped */
  ori   $s0, $s0, 0x100
  ori   $s0, $s0, 0x200
1:
  beql  $t0, $t0, 2f                    /* taken: its delay slot runs */
  ori   $s0, $s0, 0x400
  ori   $s0, $s0, 0x800                 /* skipped by the branch */
2:
  la    $t1, set_bit0
  jalr  $t1
  li    $a0, 20
  result $v0, 1                         /* 40 */

  /* count down with the decrement in the delay slot */
  li    $t2, 0
  li    $t3, 10
3:
  addiu $t2, $t2, 3
  bnez  $t3, 3b
  addiu $t3, $t3, -1
  result $t2, 2                         /* 33: eleven passes */
  result $s0, 3                         /* 0x601 */
  idle

set_bit0:
  ori   $s0, $s0, 1
  jr    $ra
  sll   $v0, $a0, 1                     /* delay slot: the result */
