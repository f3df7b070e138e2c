/* Integer arithmetic as a program uses it: a loop summing 1..100, a factorial by multiply, a
   division with remainder, 64-bit shifts and compares, and the sign extension of 32-bit
   results. Each answer is left as a result word. */
#include "vantor.inc"

  .set noreorder
  .section .text.start, "ax", @progbits
  .globl _start
_start:
  /* sum = 1 + 2 + ... + 100 */
  li    $t0, 0
  li    $t1, 100
1:
  addu  $t0, $t0, $t1
  addiu $t1, $t1, -1
  bgtz  $t1, 1b
  nop
  result $t0, 0                         /* 5050 */

  /* 10! by MULTU, read back with MFLO */
  li    $t0, 1
  li    $t1, 10
2:
  multu $t0, $t1
  mflo  $t0
  addiu $t1, $t1, -1
  bnez  $t1, 2b
  nop
  result $t0, 1                         /* 3628800 */

  /* -1000 / 7: quotient toward zero, remainder with the dividend's sign */
  li    $t0, -1000
  li    $t1, 7
  div   $zero, $t0, $t1
  mflo  $t2
  mfhi  $t3
  result $t2, 2                         /* -142 */
  result $t3, 3                         /* -6 */

  /* a 64-bit value built by shifts: 0x00000001_80000000, then its halves */
  li    $t0, 3
  dsll32 $t0, $t0, 0
  dsrl  $t0, $t0, 1
  dsrl32 $t1, $t0, 0
  result $t1, 4                         /* 1 */
  result $t0, 5                         /* low word 0x80000000 */

  /* 0x7FFFFFFF + 1 wraps without a trap and sign-extends */
  lui   $t0, 0x7FFF
  ori   $t0, $t0, 0xFFFF
  addi  $t0, $t0, 1
  dsra32 $t1, $t0, 0
  result $t1, 6                         /* 0xFFFFFFFF */

  /* compares: signed and unsigned views of -1 against 1 */
  li    $t0, -1
  li    $t1, 1
  slt   $t2, $t0, $t1
  sltu  $t3, $t0, $t1
  sll   $t2, $t2, 4
  or    $t2, $t2, $t3
  result $t2, 7                         /* 0x10 */
  idle
