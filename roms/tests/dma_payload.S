/* Boot code in the signal processor's data memory copies a payload from the cartridge to RDRAM
   by DMA and jumps to it; the payload leaves 0x600DF00D as result word 0. The symbols payload_*
   come from dma_payload.ld. */
#include "vantor.inc"

  .set noreorder
  .section .text.start, "ax", @progbits
  .globl _start
_start:
  lui   $t0, %hi(PI_BASE)
  la    $t1, payload_dram
  sw    $t1, %lo(PI_DRAM_ADDR)($t0)
  la    $t1, payload_cart
  sw    $t1, %lo(PI_CART_ADDR)($t0)
  la    $t1, payload_size - 1
  sw    $t1, %lo(PI_WR_LEN)($t0)
1:                                      /* wait while DMA or I/O is busy */
  lw    $t1, %lo(PI_STATUS)($t0)
  nop
  andi  $t1, $t1, 3
  bnez  $t1, 1b
  nop
  la    $t0, payload
  jr    $t0
  nop

  .section .payload, "ax", @progbits
payload:
  lui   $t3, 0x600D
  ori   $t3, $t3, 0xF00D
  result $t3, 0
  idle
