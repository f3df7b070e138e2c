/* What a program sees of COP0 and the interrupt lines: the registers left at reset, a write of
   all ones to CAUSE, IP2 while the video interrupt is pending with its MI mask bit clear and then
   set, a software interrupt taken through IP0, and a vertical-blank wait that polls the video
   current line until it passes half-line 0x200 and comes back to the top of the field. Each part
   records what it saw; the wait records 1 only when the line moved. */
#include "vantor.inc"

#define C0_STATUS $12
#define C0_CAUSE $13
#define C0_EPC $14
#define C0_PREVID $15
#define C0_CONFIG $16
#define C0_ERROREPC $30

#define EXCEPTION_VECTOR 0xA0000180
#define STATUS_IE_IM0 0x0101
#define MI_MASK_SET_VI 0x0080
#define MI_MASK_CLEAR_ALL 0x0555

  .set noreorder
  .section .text.start, "ax", @progbits
  .globl _start
_start:
  mfc0  $t0, C0_STATUS
  result $t0, 0
  mfc0  $t0, C0_EPC
  result $t0, 1
  mfc0  $t0, C0_ERROREPC
  result $t0, 2
  mfc0  $t0, C0_PREVID
  result $t0, 3
  mfc0  $t0, C0_CONFIG
  result $t0, 4

  li    $t0, -1                         /* only IP0 and IP1 take a write */
  mtc0  $t0, C0_CAUSE
  nop
  mfc0  $t0, C0_CAUSE
  result $t0, 5
  mtc0  $zero, C0_CAUSE
  li    $t0, MI_MASK_CLEAR_ALL
  sw    $t0, MI_INTR_MASK

  lui   $t2, %hi(MI_INTR)               /* wait for the first video interrupt */
1:
  lw    $t1, %lo(MI_INTR)($t2)
  andi  $t1, $t1, 8
  beqz  $t1, 1b
  nop
  nop
  mfc0  $t0, C0_CAUSE                   /* masked: IP2 stays clear */
  result $t0, 6
  li    $t0, MI_MASK_SET_VI
  sw    $t0, MI_INTR_MASK
  nop
  mfc0  $t0, C0_CAUSE                   /* unmasked: IP2 set */
  result $t0, 7
  sw    $zero, VI_V_CURRENT             /* acknowledge the video interrupt */

  la    $t0, handler                    /* the software interrupt's handler */
  la    $t1, handler_end
  li    $t2, EXCEPTION_VECTOR
2:
  lw    $t3, 0($t0)
  addiu $t0, $t0, 4
  sw    $t3, 0($t2)
  bne   $t0, $t1, 2b
  addiu $t2, $t2, 4
  li    $t0, STATUS_IE_IM0
  mtc0  $t0, C0_STATUS
  li    $t0, 0x100                      /* raise IP0 */
  mtc0  $t0, C0_CAUSE
  nop
  nop
  mtc0  $zero, C0_STATUS

  lui   $t2, %hi(VI_V_CURRENT)          /* the vertical-blank wait */
  li    $t3, 0x200
  li    $s1, 0
3:
  addiu $s1, $s1, 1
  lw    $t1, %lo(VI_V_CURRENT)($t2)
  sltu  $t4, $t1, $t3
  bnez  $t4, 3b
  nop
  result $t1, 10                        /* the line that ended the first wait */
4:
  lw    $t1, %lo(VI_V_CURRENT)($t2)
  sltiu $t4, $t1, 0x10
  beqz  $t4, 4b
  nop
  li    $t0, 1
  result $t0, 11
  idle

/* Uses only $k0 and $k1: counts the interrupt, records CAUSE and clears IP0. */
handler:
  lui   $k1, %hi(RESULTS)
  lw    $k0, %lo(RESULTS + 32)($k1)
  addiu $k0, $k0, 1
  sw    $k0, %lo(RESULTS + 32)($k1)     /* result 8: interrupts taken */
  mfc0  $k0, C0_CAUSE
  sw    $k0, %lo(RESULTS + 36)($k1)     /* result 9: CAUSE in the handler */
  mtc0  $zero, C0_CAUSE
  eret
handler_end:
