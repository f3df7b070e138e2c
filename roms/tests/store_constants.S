/* Builds two 32-bit constants with LUI and ORI and leaves them as result words 0 and 1. */
#include "vantor.inc"

  .set noreorder
  .section .text.start, "ax", @progbits
  .globl _start
_start:
  lui   $t0, 0x1234
  ori   $t0, $t0, 0x5678
  lui   $t1, 0xFEDC
  ori   $t1, $t1, 0xBA98
  lui   $t2, %hi(RESULTS)
  sw    $t0, %lo(RESULTS)($t2)
  sw    $t1, %lo(RESULTS + 4)($t2)
  idle
