/* Reads constant, initialised and zero-filled data that the linker placed after the code in the
   same image: result 0 is the sum of the table (0x1000000A), result 1 the initialised word,
   result 2 the zero-filled word. */
#include "vantor.inc"

  .set noreorder
  .section .text.start, "ax", @progbits
  .globl _start
_start:
  la    $t0, table
  li    $t1, 4
  move  $t2, $zero
1:
  lw    $t3, 0($t0)
  addiu $t1, $t1, -1
  addu  $t2, $t2, $t3
  bnez  $t1, 1b
  addiu $t0, $t0, 4
  result $t2, 0

  la    $t0, initialised
  lw    $t1, 0($t0)
  result $t1, 1
  la    $t0, zeroed
  lw    $t1, 0($t0)
  result $t1, 2
  idle

  .section .rodata
table:
  .word 1, 2, 3, 0x10000004

  .data
initialised:
  .word 0xC0FFEE00

  .bss
zeroed:
  .space 4
