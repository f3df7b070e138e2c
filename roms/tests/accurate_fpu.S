/* The floating-point unit as a program for the console uses it: 64-bit registers under
   Status.FR = 1 and register pairs under FR = 0 with SDC1/LDC1 round trips, the sixteen compare
   conditions on unordered, equal, less and greater operands, conversions to words in each
   rounding mode and the four explicit roundings on halfway values, conversions with 64-bit
   integers, a division in each rounding mode, the FCR31 cause and flag bits of division by
   zero, overflow, invalid operation and underflow (flushed under FS in each rounding mode), and
   ABS. */
#include "vantor.inc"

#define C0_STATUS $12
#define STATUS_CU1 0x20000000
#define FCR31 $31
#define FS 0x01000000

/* Loads single-precision bits into an FPU register; uses $t0. */
.macro fconst reg, bits
  li    $t0, \bits
  mtc1  $t0, \reg
.endm

/* One compare of $f4 with $f6, its condition bit shifted into $s1. */
.macro compare cond
  c.\cond\().s $f4, $f6
  cfc1  $t0, FCR31
  srl   $t0, $t0, 23
  andi  $t0, $t0, 1
  sll   $s1, $s1, 1
  or    $s1, $s1, $t0
.endm

/* The sixteen compares, their condition bits gathered into $s1, C.F in bit 15. */
.macro compares
  li    $s1, 0
  compare f
  compare un
  compare eq
  compare ueq
  compare olt
  compare ult
  compare ole
  compare ule
  compare sf
  compare ngle
  compare seq
  compare ngl
  compare lt
  compare nge
  compare le
  compare ngt
.endm

/* CVT.W.S of $f10, $f12, $f14 and $f16 in rounding mode \mode, stored from word \index on. */
.macro convert_all mode, index
  li    $t0, \mode
  ctc1  $t0, FCR31
  .irp reg, 10, 12, 14, 16
  cvt.w.s $f20, $f\reg
  mfc1  $t1, $f20
  sw    $t1, 4 * \index + 4 * ((\reg - 10) / 2)($s0)
  .endr
.endm

/* DIV.S 1 / 3 in rounding mode \mode, stored as word \index. */
.macro third mode, index
  li    $t0, \mode
  ctc1  $t0, FCR31
  div.s $f20, $f22, $f24
  swc1  $f20, 4 * \index($s0)
.endm

  .set noreorder
  .section .text.start, "ax", @progbits
  .globl _start
_start:
  la    $s0, RESULTS
  ctc1  $zero, FCR31

  /* FR = 1 as the boot code leaves it: $f0 and $f1 are independent 64-bit registers */
  dli   $t1, 0x1111111122222222
  dmtc1 $t1, $f0
  dli   $t1, 0x3333333344444444
  .word 0x44A90800                      /* dmtc1 $t1, $f1 (the assembler wants even registers) */
  sdc1  $f0, 0($s0)
  .word 0xF6010008                      /* sdc1 $f1, 8($s0) */

  /* FR = 0: $f2 and $f3 are the low and high words of one pair */
  li    $t0, STATUS_CU1
  mtc0  $t0, C0_STATUS
  nop
  ldc1  $f2, 8($s0)
  mfc1  $t1, $f3
  sw    $t1, 16($s0)
  mfc1  $t1, $f2
  sw    $t1, 20($s0)
  sdc1  $f2, 24($s0)

  ctc1  $zero, FCR31
  fconst $f4, 0x3F800000                /* 1 against a NaN */
  fconst $f6, 0x7FBFFFFF
  compares
  sw    $s1, 32($s0)
  cfc1  $t1, FCR31
  sw    $t1, 36($s0)
  fconst $f4, 0x00000000                /* 0 against -0 */
  fconst $f6, 0x80000000
  compares
  sw    $s1, 40($s0)
  fconst $f4, 0xFF800000                /* -infinity against infinity */
  fconst $f6, 0x7F800000
  compares
  sw    $s1, 44($s0)
  fconst $f4, 0x40000000                /* 2 against 1 */
  fconst $f6, 0x3F800000
  compares
  sw    $s1, 48($s0)
  cfc1  $t1, FCR31
  sw    $t1, 52($s0)

  fconst $f10, 0x40200000               /* 2.5 */
  fconst $f12, 0xC0200000               /* -2.5 */
  fconst $f14, 0x3FC00000               /* 1.5 */
  fconst $f16, 0xBF000000               /* -0.5 */
  convert_all 0, 16
  convert_all 1, 20
  convert_all 2, 24
  convert_all 3, 28
  /* the explicit roundings ignore the mode (still toward minus infinity) */
  round.w.s $f20, $f10
  swc1  $f20, 128($s0)
  round.w.s $f20, $f12
  swc1  $f20, 132($s0)
  trunc.w.s $f20, $f10
  swc1  $f20, 136($s0)
  trunc.w.s $f20, $f12
  swc1  $f20, 140($s0)
  ceil.w.s $f20, $f10
  swc1  $f20, 144($s0)
  ceil.w.s $f20, $f12
  swc1  $f20, 148($s0)
  floor.w.s $f20, $f10
  swc1  $f20, 152($s0)
  floor.w.s $f20, $f12
  swc1  $f20, 156($s0)
  ctc1  $zero, FCR31
  cvt.w.s $f20, $f10                    /* inexact */
  cfc1  $t1, FCR31
  sw    $t1, 160($s0)

  /* 64-bit integers: 2^40 + 0.5 rounds to the even 2^40; -5e11 converts with all 64 bits;
     2^40 + 1 converts back to a double */
  dli   $t1, 0x4270000000000800
  dmtc1 $t1, $f26
  round.l.d $f28, $f26
  sdc1  $f28, 168($s0)
  dli   $t1, 0xC25D1A94A2000000
  dmtc1 $t1, $f26
  cvt.l.d $f28, $f26
  sdc1  $f28, 176($s0)
  dli   $t1, 0x0000010000000001
  dmtc1 $t1, $f26
  cvt.d.l $f28, $f26
  sdc1  $f28, 184($s0)

  fconst $f22, 0x3F800000               /* 1 / 3 in each mode */
  fconst $f24, 0x40400000
  third 0, 48
  third 1, 49
  third 2, 50
  third 3, 51

  ctc1  $zero, FCR31
  mtc1  $zero, $f26
  div.s $f20, $f22, $f26                /* division by zero */
  cfc1  $t1, FCR31
  sw    $t1, 208($s0)
  fconst $f26, 0x7F7FFFFF
  mul.s $f20, $f26, $f26                /* overflow */
  cfc1  $t1, FCR31
  sw    $t1, 212($s0)
  mtc1  $zero, $f26
  div.s $f20, $f26, $f26                /* invalid */
  cfc1  $t1, FCR31
  sw    $t1, 216($s0)
  li    $t0, FS                         /* flush tiny results: underflow without a trap */
  ctc1  $t0, FCR31
  fconst $f26, 0x0DA24260
  mul.s $f20, $f26, $f26                /* underflow */
  cfc1  $t1, FCR31
  sw    $t1, 220($s0)
  swc1  $f20, 228($s0)
  li    $t0, FS | 2                     /* toward plus infinity: the smallest normal number */
  ctc1  $t0, FCR31
  mul.s $f20, $f26, $f26
  swc1  $f20, 232($s0)
  li    $t0, FS | 3                     /* toward minus infinity, a negative result */
  ctc1  $t0, FCR31
  neg.s $f26, $f26
  mul.s $f20, $f26, $f26
  swc1  $f20, 236($s0)
  fconst $f24, 0x0DA24260
  mul.s $f20, $f26, $f24
  swc1  $f20, 240($s0)
  ctc1  $zero, FCR31

  fconst $f20, 0x12345678
  fconst $f26, 0xC0A00000
  abs.s $f20, $f26
  swc1  $f20, 224($s0)
  idle
