/* Runs for ever through a TLB-mapped page, floating-point arithmetic and cartridge DMA, so that a
   save state taken at any moment has all three in flight: TLB entry 0 maps virtual 0x10000000 to
   0x10001FFF onto physical 0x00100000; the loop counts in $s1, stores the count and a running
   float sum through the mapped page, and every 4096 rounds copies 64 bytes of the cartridge to
   RDRAM 0x00200000 and up by DMA. */
#include "vantor.inc"

  .set noreorder
  .section .text.start, "ax", @progbits
  .globl _start
_start:
  mtc0  $zero, $0                       /* INDEX 0 */
  mtc0  $zero, $5                       /* PAGEMASK: 4 KB halves */
  lui   $t0, 0x1000
  mtc0  $t0, $10                        /* ENTRYHI: virtual 0x10000000 */
  li    $t0, (0x100 << 6) | 6           /* even half: physical page 0x100, dirty, valid */
  mtc0  $t0, $2
  li    $t0, (0x101 << 6) | 6           /* odd half: physical page 0x101 */
  mtc0  $t0, $3
  nop
  tlbwi
  li    $t0, 0x3FC00000                 /* 1.5f */
  mtc1  $t0, $f2
  mtc1  $zero, $f0
  lui   $s0, 0x1000
  move  $s1, $zero
  lui   $s2, %hi(PI_BASE)
loop:
  addiu $s1, $s1, 1
  sll   $t1, $s1, 3
  andi  $t1, $t1, 0x1FF8
  addu  $t2, $s0, $t1
  sw    $s1, 0($t2)
  add.s $f0, $f0, $f2
  mul.s $f4, $f0, $f2
  swc1  $f4, 4($t2)
  andi  $t3, $s1, 0xFFF
  bnez  $t3, loop
  nop
  srl   $t3, $s1, 12
  andi  $t3, $t3, 0x3F
  sll   $t3, $t3, 6
  lui   $t4, 0x0020
  addu  $t4, $t4, $t3
  sw    $t4, %lo(PI_DRAM_ADDR)($s2)
  lui   $t4, 0x1000
  addu  $t4, $t4, $t3
  sw    $t4, %lo(PI_CART_ADDR)($s2)
  li    $t4, 63
  sw    $t4, %lo(PI_WR_LEN)($s2)
  b     loop
  nop
