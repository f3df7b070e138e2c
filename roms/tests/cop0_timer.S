/* The COMPARE timer: a handler copied to the general exception vector 0x80000180 counts the
   interrupt, records EPC and CAUSE, acknowledges by writing COMPARE and returns with ERET to the
   waiting loop, which then records how it was left. */
#include "vantor.inc"

#define C0_COUNT $9
#define C0_COMPARE $11
#define C0_STATUS $12
#define C0_CAUSE $13
#define C0_EPC $14

#define EXCEPTION_VECTOR 0xA0000180
#define STATUS_IE_IM7 0x8001

  .set noreorder
  .section .text.start, "ax", @progbits
  .globl _start
_start:
  copy_words handler, handler_end, EXCEPTION_VECTOR  /* the handler to the vector */

  la    $t0, wait
  result $t0, 6
  la    $t0, wait_end
  result $t0, 7

  mfc0  $t0, C0_COUNT                   /* fire 200 steps from now */
  addiu $t0, $t0, 200
  mtc0  $t0, C0_COMPARE
  li    $t0, STATUS_IE_IM7
  mtc0  $t0, C0_STATUS

  lui   $t2, %hi(RESULTS)
  li    $s1, 0
wait:
  addiu $s1, $s1, 1
  lw    $t1, %lo(RESULTS + 4)($t2)
  beqz  $t1, wait
  nop
wait_end:
  result $s1, 4                         /* passes through the loop: the interrupt came late */
  mfc0  $t0, C0_STATUS
  result $t0, 5                         /* 0x8001: ERET left the exception level */
  idle

/* Uses only $k0 and $k1, and no pseudo-instruction that would touch $at. */
handler:
  lui   $k1, %hi(RESULTS)
  lw    $k0, %lo(RESULTS + 4)($k1)
  addiu $k0, $k0, 1
  sw    $k0, %lo(RESULTS + 4)($k1)      /* result 1: interrupts taken */
  mfc0  $k0, C0_EPC
  sw    $k0, %lo(RESULTS + 8)($k1)      /* result 2: EPC */
  mfc0  $k0, C0_CAUSE
  sw    $k0, %lo(RESULTS + 12)($k1)     /* result 3: CAUSE */
  mtc0  $zero, C0_COMPARE               /* acknowledge; COMPARE 0 never fires again */
  eret
handler_end:
