/* Pictures of the video interface in the accurate mode, drawn by the CPU. First a 16-bit one of
   320x240 pixels, shown from memory 640 pixels wide through the scale registers (half a pixel
   of memory per screen pixel across); four fields later a 32-bit one of 640x480, interlaced,
   two lines of memory per line of a field.

   Pixels: 16-bit (x, y) = (x * 0x41 + y * 0x800) | 1, 8-8-8-8 (x, y) = x << 20 | y << 8 | 0xFF.
   Memory 16-bit pixels right of x = 320 stay 0, never shown. */
#include "vantor.inc"

#define FB16 0xA0100000
#define FB32 0xA0200000

  .set noreorder
  .section .text.start, "ax", @progbits
  .globl _start
_start:
  lui   $s7, %hi(VI_BASE)
  lui   $s6, %hi(MI_INTR)

  /* The 16-bit picture: 240 rows of 320 pixels, rows 1280 bytes apart. */
  li    $t0, FB16
  move  $t1, $zero                      /* y */
1:
  move  $t2, $zero                      /* x */
  sll   $t4, $t1, 11                    /* y * 0x800 */
2:
  sll   $t3, $t2, 6
  addu  $t3, $t3, $t2                   /* x * 0x41 */
  addu  $t3, $t3, $t4
  ori   $t3, $t3, 1
  sll   $t5, $t2, 1
  addu  $t5, $t5, $t0
  sh    $t3, 0($t5)
  addiu $t2, $t2, 1
  slti  $t6, $t2, 320
  bnez  $t6, 2b
  nop
  addiu $t0, $t0, 1280
  addiu $t1, $t1, 1
  slti  $t6, $t1, 240
  bnez  $t6, 1b
  nop

  li    $t0, 0x00100000
  sw    $t0, %lo(VI_ORIGIN)($s7)
  li    $t0, 640
  sw    $t0, %lo(VI_WIDTH)($s7)
  li    $t0, 0x006C02EC                 /* 640 screen pixels across */
  sw    $t0, %lo(VI_H_VIDEO)($s7)
  li    $t0, 0x00250205                 /* 480 half-lines: 240 lines a field */
  sw    $t0, %lo(VI_V_VIDEO)($s7)
  li    $t0, 0x200                      /* half a memory pixel a screen pixel */
  sw    $t0, %lo(VI_X_SCALE)($s7)
  li    $t0, 0x400
  sw    $t0, %lo(VI_Y_SCALE)($s7)
  li    $t0, 2                          /* 5-5-5-1 */
  sw    $t0, %lo(VI_STATUS)($s7)
  li    $t0, 2
  sw    $t0, %lo(VI_V_INTR)($s7)

  li    $s0, 4                          /* four fields of it */
3:
  sw    $zero, %lo(VI_V_CURRENT)($s7)
4:
  lw    $t1, %lo(MI_INTR)($s6)
  andi  $t1, $t1, 8
  beqz  $t1, 4b
  nop
  addiu $s0, $s0, -1
  bnez  $s0, 3b
  nop

  /* The 32-bit picture: 480 rows of 640 pixels. */
  li    $t0, FB32
  move  $t1, $zero                      /* y */
5:
  move  $t2, $zero                      /* x */
  sll   $t4, $t1, 8
  ori   $t4, $t4, 0xFF
6:
  sll   $t3, $t2, 20
  or    $t3, $t3, $t4
  sw    $t3, 0($t0)
  addiu $t0, $t0, 4
  addiu $t2, $t2, 1
  slti  $t6, $t2, 640
  bnez  $t6, 6b
  nop
  addiu $t1, $t1, 1
  slti  $t6, $t1, 480
  bnez  $t6, 5b
  nop

  li    $t0, 524                        /* 525 half-lines a field: interlaced */
  sw    $t0, %lo(VI_V_SYNC)($s7)
  li    $t0, 0x00200000
  sw    $t0, %lo(VI_ORIGIN)($s7)
  li    $t0, 0x00230203                 /* 480 half-lines: 240 lines a field */
  sw    $t0, %lo(VI_V_VIDEO)($s7)
  li    $t0, 0x400
  sw    $t0, %lo(VI_X_SCALE)($s7)
  li    $t0, 0x800                      /* two memory lines a line of a field */
  sw    $t0, %lo(VI_Y_SCALE)($s7)
  li    $t0, 0x43                       /* 8-8-8-8, serrate */
  sw    $t0, %lo(VI_STATUS)($s7)
  idle
