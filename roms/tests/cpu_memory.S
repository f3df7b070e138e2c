/* Loads and stores of every width: a big-endian word taken apart by byte and halfword loads,
   an unaligned word through LWL/LWR and SWL/SWR, a double word through SD/LD, and the two
   reported faults: a read of an unmapped address and a word write to the cartridge. */
#include "vantor.inc"

  .set noreorder
  .section .text.start, "ax", @progbits
  .globl _start
_start:
  la    $s0, RESULTS
  li    $t0, 0x8899AABB
  sw    $t0, 0x40($s0)
  lb    $t1, 0x40($s0)                  /* 0xFFFFFF88 */
  lbu   $t2, 0x41($s0)                  /* 0x99 */
  lh    $t3, 0x42($s0)                  /* 0xFFFFAABB */
  lhu   $t4, 0x40($s0)                  /* 0x8899 */
  sw    $t1, 0($s0)
  sw    $t2, 4($s0)
  sw    $t3, 8($s0)
  sw    $t4, 12($s0)

  /* the bytes 11 22 33 44 stored one by one at an odd address, read back unaligned */
  li    $t0, 0x11
  sb    $t0, 0x51($s0)
  li    $t0, 0x22
  sb    $t0, 0x52($s0)
  li    $t0, 0x3344
  sh    $t0, 0x54($s0)                  /* 33 44 at 0x54: the word is 11 22 ?? 33 44 */
  lwl   $t5, 0x52($s0)
  lwr   $t5, 0x55($s0)
  sw    $t5, 16($s0)                    /* 0x22003344 */

  /* an unaligned store of 0xCAFEF00D at RESULTS + 0x61 */
  li    $t0, 0xCAFEF00D
  swl   $t0, 0x61($s0)
  swr   $t0, 0x64($s0)
  lw    $t6, 0x60($s0)
  lw    $t7, 0x64($s0)
  sw    $t6, 20($s0)                    /* 0x00CAFEF0 */
  sw    $t7, 24($s0)                    /* 0x0D000000 */

  /* a double word: SD and LD are single 64-bit accesses (vantor.inc sets gp=64) */
  li    $t0, 0x01234567
  dsll32 $t0, $t0, 0
  li    $t1, 0x89ABCDEF
  dsll32 $t1, $t1, 0
  dsrl32 $t1, $t1, 0
  or    $t0, $t0, $t1
  sd    $t0, 0x70($s0)
  ld    $t1, 0x70($s0)
  dsrl32 $t2, $t1, 0
  sw    $t2, 28($s0)                    /* 0x01234567 */
  sw    $t1, 32($s0)                    /* 0x89ABCDEF */

  /* faults are reported and emulation goes on */
  lui   $t0, 0x0000
  lw    $t1, 0x1234($t0)                /* ILLEGAL READ */
  li    $t0, CART
  sw    $zero, 0x40($t0)                /* ROM WRITE */
  li    $t1, 0x5A
  sw    $t1, 36($s0)
  idle
