/* CPU benchmark: an endless mix of integer, load/store, branch, multiply/divide and
   floating-point work. It never waits in a jump to itself, so every step of every frame is
   executed; `vantor64-cli --bench --frames 400` then measures the interpreter alone.

   Each pass leaves its number as result word 0 and a checksum of its work as result word 1,
   so a test can tell that the passes run and agree. */
#include "vantor.inc"

#define WORK 0x80010000                 /* 1 KB of scratch data in RDRAM */
#define WORDS 256

  .set noreorder
  .section .text.start, "ax", @progbits
  .globl _start
_start:
  /* The accurate mode starts with Status.FR set (32 independent 64-bit FPU registers); the
     doubles below are even-odd pairs, as the default machine, which ignores FR, has them. */
  mfc0  $t0, $12
  li    $t1, 0xFBFFFFFF
  and   $t0, $t0, $t1
  mtc0  $t0, $12
  li    $s0, 0                          /* pass number */
  li    $s1, 0x2545F491                 /* xorshift state, carried across passes */
  lui   $s2, %hi(WORK)

pass:
  /* Integer: fill the scratch words with a xorshift sequence. */
  move  $t0, $s2
  addiu $t1, $s2, 4 * WORDS
fill:
  sll   $t2, $s1, 13
  xor   $s1, $s1, $t2
  srl   $t2, $s1, 17
  xor   $s1, $s1, $t2
  sll   $t2, $s1, 5
  xor   $s1, $s1, $t2
  sw    $s1, 0($t0)
  addiu $t0, $t0, 4
  bne   $t0, $t1, fill
  nop

  /* Loads of every width: words, halfwords and bytes of the same data, summed. */
  move  $t0, $s2
  li    $s3, 0                          /* checksum of this pass */
sum:
  lw    $t2, 0($t0)
  lhu   $t3, 2($t0)
  lb    $t4, 1($t0)
  addu  $s3, $s3, $t2
  xor   $s3, $s3, $t3
  subu  $s3, $s3, $t4
  addiu $t0, $t0, 4
  bne   $t0, $t1, sum
  nop

  /* Branches: one insertion-sort pass over the first 32 words, taken and untaken compares. */
  addiu $t0, $s2, 4                     /* element being inserted */
  addiu $t5, $s2, 4 * 32
insert:
  lw    $t2, 0($t0)
  move  $t3, $t0
shift:
  beq   $t3, $s2, place
  nop
  lw    $t4, -4($t3)
  sltu  $t6, $t2, $t4
  beqz  $t6, place
  nop
  sw    $t4, 0($t3)
  b     shift
  addiu $t3, $t3, -4
place:
  sw    $t2, 0($t3)
  addiu $t0, $t0, 4
  bne   $t0, $t5, insert
  nop
  lw    $t2, 0($s2)                     /* the smallest of the 32 */
  addu  $s3, $s3, $t2

  /* Multiply and divide: greatest common divisors by remainders, and products. */
  li    $t7, 24
  move  $t0, $s2
gcds:
  lw    $t2, 0($t0)
  lw    $t3, 4($t0)
  srl   $t2, $t2, 8
  srl   $t3, $t3, 12
  ori   $t3, $t3, 1                     /* never divide by zero */
euclid:
  divu  $zero, $t2, $t3
  move  $t2, $t3
  mfhi  $t3
  bnez  $t3, euclid
  nop
  multu $t2, $t7
  mflo  $t4
  addu  $s3, $s3, $t4
  addiu $t0, $t0, 8
  addiu $t7, $t7, -1
  bnez  $t7, gcds
  nop

  /* Floating point: Newton's square root in double precision against SQRT.D, a single
     precision series, conversions both ways and compare-and-branch. */
  li    $t7, 16
  move  $t0, $s2
newton:
  lhu   $t2, 0($t0)
  addiu $t2, $t2, 1
  mtc1  $t2, $f0
  nop
  cvt.d.w $f2, $f0                      /* x */
  mov.d $f4, $f2                        /* guess */
  li    $t3, 0x3FE00000                 /* 0.5, high word */
  mtc1  $t3, $f7
  mtc1  $zero, $f6
  li    $t4, 6
step:
  div.d $f8, $f2, $f4
  add.d $f8, $f8, $f4
  mul.d $f4, $f8, $f6
  addiu $t4, $t4, -1
  bnez  $t4, step
  nop
  sqrt.d $f10, $f2
  sub.d $f12, $f4, $f10
  c.lt.d $f12, $f10                     /* the error is smaller than the root */
  bc1f  1f
  nop
  cvt.w.d $f14, $f10
  mfc1  $t2, $f14
  addu  $s3, $s3, $t2
1:
  cvt.s.d $f16, $f4
  mul.s $f18, $f16, $f16
  neg.s $f18, $f18
  trunc.w.s $f20, $f18
  mfc1  $t2, $f20
  subu  $s3, $s3, $t2
  c.eq.s $f18, $f18
  bc1t  2f
  nop
  addiu $s3, $s3, 1                     /* never reached: a number equals itself */
2:
  addiu $t0, $t0, 4
  addiu $t7, $t7, -1
  bnez  $t7, newton
  nop

  addiu $s0, $s0, 1
  result $s0, 0
  result $s3, 1
  b     pass
  nop
