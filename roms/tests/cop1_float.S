/* Floating point as a program uses it: the diagonal of a 3-4 box by a square root, a circle's
   area in double precision, Newton's iteration for the square root of 2 stopped by a compare,
   conversions both ways, and a NaN seen by C.UN. Results are left as words in RDRAM. */
#include "vantor.inc"

  .set noreorder
  .section .text.start, "ax", @progbits
  .globl _start
_start:
  la    $s0, RESULTS

  /* sqrt(3*3 + 4*4) in single precision, truncated to an integer */
  li    $t0, 3
  mtc1  $t0, $f0
  cvt.s.w $f0, $f0
  li    $t0, 4
  mtc1  $t0, $f2
  cvt.s.w $f2, $f2
  mul.s $f0, $f0, $f0
  mul.s $f2, $f2, $f2
  add.s $f4, $f0, $f2
  sqrt.s $f4, $f4
  swc1  $f4, 0($s0)                     /* 5.0f = 0x40A00000 */
  trunc.w.s $f6, $f4
  mfc1  $t1, $f6
  sw    $t1, 4($s0)                     /* 5 */

  /* area of a circle of radius 10 in double precision: 3.14159265 * 10 * 10 */
  lui   $t0, 0x4009                     /* pi as a double: 0x400921FB_54442D18 */
  ori   $t0, $t0, 0x21FB
  lui   $t1, 0x5444
  ori   $t1, $t1, 0x2D18
  mtc1  $t1, $f8                        /* low word in the even register */
  mtc1  $t0, $f9
  li    $t2, 10
  mtc1  $t2, $f10
  cvt.d.w $f10, $f10
  mul.d $f12, $f10, $f10
  mul.d $f12, $f12, $f8
  swc1  $f13, 8($s0)                    /* 314.159... high word 0x4073A28C */
  swc1  $f12, 12($s0)
  cvt.w.d $f14, $f12
  mfc1  $t3, $f14
  sw    $t3, 16($s0)                    /* 314 */

  /* Newton's iteration for sqrt(2): x = (x + 2 / x) / 2 until x * x - 2 < 1/1024 */
  li    $t0, 2
  mtc1  $t0, $f16
  cvt.d.w $f16, $f16                    /* the constant 2 */
  mov.d $f18, $f16                      /* x = 2 */
  lui   $t0, 0x3FF0                     /* the double 1.0 */
  mtc1  $zero, $f20
  mtc1  $t0, $f21
  li    $t0, 1024
  mtc1  $t0, $f22
  cvt.d.w $f22, $f22
  div.d $f22, $f20, $f22                /* 1/1024 */
  li    $t4, 0                          /* iterations */
1:
  div.d $f24, $f16, $f18
  add.d $f24, $f24, $f18
  div.d $f18, $f24, $f16
  addiu $t4, $t4, 1
  mul.d $f26, $f18, $f18
  sub.d $f26, $f26, $f16                /* x * x - 2 */
  c.lt.d $f26, $f22
  bc1f  1b
  nop
  sw    $t4, 20($s0)                    /* 3 iterations: 1.5, 1.41667, 1.4142157 */
  cvt.s.d $f28, $f18
  swc1  $f28, 24($s0)

  /* 0 / 0 is a NaN: C.UN sees it and BC1TL takes the branch */
  mtc1  $zero, $f0
  div.s $f2, $f0, $f0
  c.un.s $f2, $f2
  li    $t5, 0
  bc1tl 2f
  li    $t5, 1                          /* runs only because the branch is taken */
2:
  sw    $t5, 28($s0)                    /* 1 */
  neg.s $f4, $f4
  swc1  $f4, 32($s0)                    /* -5.0f = 0xC0A00000 */
  idle
