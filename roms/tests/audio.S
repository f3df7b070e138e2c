/* Sound through the audio interface at the DAC rate DACRATE, in three parts, each recording what
   it saw:
   1. One buffer of a square wave (256 frames, period 32), its end awaited by polling AI_STATUS;
      the interrupt and the status bits as it starts, AI_LEN counting down while it plays.
   2. A ramp through double buffering driven by the AI interrupt: the handler acknowledges,
      records AI_STATUS, refills the buffer that just finished and queues it (6 buffers of 128
      frames, ramp value frame * 256 on the left and its negation on the right).
   3. A second square wave (period 64) through double buffering by polling: a buffer is queued
      whenever AI_STATUS is not full, and each start is counted from MI_INTR (6 buffers of 128).
   The host test knows every frame these parts play. */
#include "vantor.inc"

#ifndef DACRATE
#define DACRATE 1103
#endif

#define C0_STATUS $12
#define EXCEPTION_VECTOR 0xA0000180
#define STATUS_IE_IM2 0x0401
#define MI_MASK_SET_AI 0x0020
#define MI_MASK_CLEAR_ALL 0x0555

#define AI_FULL_BUSY_ENABLED 0xC2000001
#define BUSY 0x40000000

#define ONE_FRAMES 256
#define PART_FRAMES 128
#define PART_BUFFERS 6
#define ONE_BUFFER 0xA0100000
#define RAMP_BUFFER 0xA0110000     /* and + 0x1000 */
#define SQUARE_BUFFER 0xA0120000   /* and + 0x1000 */

/* Results. */
#define R_INTERRUPT_ETC 0          /* 0-7: part 1 */
#define R_RAMP_STARTS 8
#define R_RAMP_FIRST_QUEUED 9
#define R_RAMP_AT_START 10         /* 10-15: AI_STATUS as each ramp buffer starts */
#define R_RAMP_QUEUED 16           /* 16-20: AI_STATUS once the handler queued the next one */
#define R_RAMP_END 22
#define R_SQUARE_STARTS 23
#define R_SQUARE_FULL_SEEN 24
#define R_SQUARE_END 25
#define R_DONE 26

  .set noreorder
  .section .text.start, "ax", @progbits
  .globl _start
_start:
  li    $t0, MI_MASK_CLEAR_ALL
  sw    $t0, MI_INTR_MASK
  li    $t0, DACRATE
  sw    $t0, AI_DACRATE
  li    $t0, 15
  sw    $t0, AI_BITRATE
  li    $t0, 1
  sw    $t0, AI_CONTROL

  /* Part 1: one buffer of the square wave. */
  li    $t2, ONE_BUFFER
  li    $t3, 0
1:
  andi  $t4, $t3, 16
  li    $t5, 0x1F400FA0             /* left 8000, right 4000 */
  beqz  $t4, 2f
  nop
  li    $t5, 0xE0C0F060             /* left -8000, right -4000 */
2:
  sw    $t5, 0($t2)
  addiu $t2, $t2, 4
  addiu $t3, $t3, 1
  bne   $t3, ONE_FRAMES, 1b
  nop
  li    $t0, PHYS(ONE_BUFFER)
  sw    $t0, AI_DRAM_ADDR
  li    $t0, ONE_FRAMES * 4
  sw    $t0, AI_LEN
  lw    $t0, MI_INTR
  andi  $t0, $t0, 4
  result $t0, 0
  lw    $t0, AI_STATUS
  result $t0, 1
  lw    $t0, AI_LEN
  result $t0, 2
  sw    $zero, AI_STATUS           /* acknowledge */
  lw    $t0, MI_INTR
  andi  $t0, $t0, 4
  result $t0, 3
  li    $t1, 20000                 /* a while into the buffer */
3:
  addiu $t1, $t1, -1
  bnez  $t1, 3b
  nop
  lw    $t0, AI_LEN
  result $t0, 4
  li    $t1, BUSY
4:
  lw    $t0, AI_STATUS
  and   $t0, $t0, $t1
  bnez  $t0, 4b
  nop
  lw    $t0, AI_STATUS
  result $t0, 5
  lw    $t0, AI_LEN
  result $t0, 6
  lw    $t0, MI_INTR
  andi  $t0, $t0, 4
  result $t0, 7

  /* Part 2: the ramp, fed from the interrupt. */
  la    $t0, handler
  la    $t1, handler_end
  li    $t2, EXCEPTION_VECTOR
5:
  lw    $t3, 0($t0)
  addiu $t0, $t0, 4
  sw    $t3, 0($t2)
  bne   $t0, $t1, 5b
  addiu $t2, $t2, 4
  li    $s4, 0                     /* starts seen */
  li    $s5, RAMP_BUFFER           /* the buffer to fill */
  li    $s6, PART_BUFFERS          /* buffers still to queue */
  li    $s7, 0                     /* the ramp's next frame */
  li    $t0, MI_MASK_SET_AI
  sw    $t0, MI_INTR_MASK
  jal   queue_ramp                 /* the first buffer, with interrupts still off */
  nop
  lw    $t0, AI_STATUS
  result $t0, R_RAMP_FIRST_QUEUED
  li    $s3, PART_BUFFERS
  mfc0  $s0, C0_STATUS
  ori   $t0, $s0, STATUS_IE_IM2
  mtc0  $t0, C0_STATUS             /* its start's interrupt is taken now */
6:
  bne   $s4, $s3, 6b
  nop
  li    $t1, BUSY
7:
  lw    $t0, AI_STATUS
  and   $t0, $t0, $t1
  bnez  $t0, 7b
  nop
  mtc0  $s0, C0_STATUS
  result $s4, R_RAMP_STARTS
  lw    $t0, AI_STATUS
  result $t0, R_RAMP_END

  /* Part 3: the second square wave, by polling. */
  li    $t0, MI_MASK_CLEAR_ALL
  sw    $t0, MI_INTR_MASK
  li    $s2, 0                     /* polls that found the queue full */
  li    $s4, 0                     /* starts seen in MI_INTR */
  li    $s5, SQUARE_BUFFER
  li    $s6, PART_BUFFERS
  li    $s7, 0                     /* the wave's next frame */
8:
  jal   count_start
  nop
  beqz  $s6, 11f
  nop
  lw    $t0, AI_STATUS
  bgez  $t0, 9f                    /* bit 31: full */
  nop
  b     8b
  addiu $s2, $s2, 1
9:
  move  $t2, $s5
  li    $t3, PART_FRAMES
10:
  andi  $t4, $s7, 32
  li    $t5, 0x2EE0F448            /* left 12000, right -3000 */
  beqz  $t4, 12f
  nop
  li    $t5, 0xD1200BB8            /* left -12000, right 3000 */
12:
  sw    $t5, 0($t2)
  addiu $t2, $t2, 4
  addiu $s7, $s7, 1
  addiu $t3, $t3, -1
  bnez  $t3, 10b
  nop
  li    $t0, 0x1FFFFFFF
  and   $t0, $s5, $t0
  sw    $t0, AI_DRAM_ADDR
  li    $t0, PART_FRAMES * 4
  sw    $t0, AI_LEN
  xori  $s5, $s5, 0x1000
  b     8b
  addiu $s6, $s6, -1
11:
  jal   count_start
  nop
  lw    $t0, AI_STATUS
  li    $t1, BUSY
  and   $t0, $t0, $t1
  bnez  $t0, 11b
  nop
  result $s4, R_SQUARE_STARTS
  result $s2, R_SQUARE_FULL_SEEN
  lw    $t0, AI_STATUS
  result $t0, R_SQUARE_END
  li    $t0, 0x600D
  result $t0, R_DONE
  idle

/* Counts a buffer start seen in MI_INTR and acknowledges it. Uses $t8. */
count_start:
  lw    $t8, MI_INTR
  andi  $t8, $t8, 4
  beqz  $t8, 1f
  nop
  sw    $zero, AI_STATUS
  addiu $s4, $s4, 1
1:
  jr    $ra
  nop

/* Fills the ramp buffer at $s5 with the ramp's next frames and queues it; moves $s5 to the other
   buffer. Uses $t0-$t5 and $at. */
queue_ramp:
  move  $t2, $s5
  li    $t3, PART_FRAMES
1:
  sll   $t4, $s7, 8                /* left: frame * 256 */
  andi  $t4, $t4, 0xFFFF
  subu  $t5, $zero, $t4            /* right: its negation */
  andi  $t5, $t5, 0xFFFF
  sll   $t4, $t4, 16
  or    $t4, $t4, $t5
  sw    $t4, 0($t2)
  addiu $t2, $t2, 4
  addiu $s7, $s7, 1
  addiu $t3, $t3, -1
  bnez  $t3, 1b
  nop
  li    $t0, 0x1FFFFFFF
  and   $t0, $s5, $t0
  sw    $t0, AI_DRAM_ADDR
  li    $t0, PART_FRAMES * 4
  sw    $t0, AI_LEN
  xori  $s5, $s5, 0x1000
  jr    $ra
  addiu $s6, $s6, -1

/* The interrupt handler, copied to the exception vector: runs as each ramp buffer starts, with
   the main program waiting on $s4. Records AI_STATUS, acknowledges, and queues the next buffer
   while any remain. Position-independent: it reaches queue_ramp by its absolute address. */
handler:
  lw    $k0, AI_STATUS
  sll   $k1, $s4, 2
  li    $t0, RESULTS + 4 * R_RAMP_AT_START
  addu  $t0, $t0, $k1
  sw    $k0, 0($t0)
  sw    $zero, AI_STATUS
  addiu $s4, $s4, 1
  beqz  $s6, 1f
  nop
  move  $k0, $ra
  la    $t0, queue_ramp
  jalr  $t0
  nop
  move  $ra, $k0
  lw    $t1, AI_STATUS
  li    $t0, RESULTS + 4 * R_RAMP_QUEUED
  addu  $t0, $t0, $k1
  sw    $t1, 0($t0)
1:
  eret
handler_end:
