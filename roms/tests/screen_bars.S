/* Draws eight vertical colour bars (black, blue, green, cyan, red, magenta, yellow, white), each
   40 pixels wide, into a 320x240 frame at RDRAM 0x00100000, points the video interface at it and
   sets the width, then idles: the renderer shows the same picture every frame. */
#include "vantor.inc"

  .set noreorder
  .section .text.start, "ax", @progbits
  .globl _start
_start:
  lui   $t0, 0x8010              /* the frame, through the cached segment */
  li    $t1, 240                 /* rows left */
row:
  la    $t4, colours
  li    $t5, 8                   /* bars left in this row */
bar:
  lw    $t6, 0($t4)              /* two pixels of the bar's colour */
  li    $t7, 20                  /* pixel pairs left in this bar */
pair:
  sw    $t6, 0($t0)
  addiu $t7, $t7, -1
  bnez  $t7, pair
  addiu $t0, $t0, 4
  addiu $t5, $t5, -1
  bnez  $t5, bar
  addiu $t4, $t4, 4
  addiu $t1, $t1, -1
  bnez  $t1, row
  nop

  lui   $t0, %hi(VI_BASE)
  lui   $t1, 0x0010
  sw    $t1, %lo(VI_ORIGIN)($t0)
  li    $t1, 320
  sw    $t1, %lo(VI_WIDTH)($t0)
  idle

  .section .rodata
  .align 2
/* 5-5-5-1 pixels, red in bits 15-11, green 10-6, blue 5-1, bit 0 set; two per word. */
colours:
  .word 0x00010001, 0x003F003F, 0x07C107C1, 0x07FF07FF
  .word 0xF801F801, 0xF83FF83F, 0xFFC1FFC1, 0xFFFFFFFF
