/* Talks to the controller as a game does: command blocks built in main memory, sent to the
   boot chip's peripheral RAM with one serial copy and read back with the other.

   Results: 0 to 2 the SI bit of MI_INTR after the send, after an SI_STATUS write and after the
   read-back; 3 the word the send left in the boot page, 4 and 5 the first and last words read
   back, 6 the sender's first word afterwards; 7 and 8 the answer to status on port 1; 9, 10
   and 17 the reads on ports 2 to 4; 11 and 12 an unknown command on port 1, sent twice; 13 to
   15 a block whose last command runs past the RAM, and 16 the boot page word after the RAM;
   20 to 27 the buttons and stick read once after each of the first eight frames. */
#include "vantor.inc"

#define BLOCK 0x80001000                /* the block sent */
#define ANSWER 0x80001100               /* what came back */
#define READS 8

  .set noreorder
  .section .text.start, "ax", @progbits
  .globl _start
_start:
  /* The copies' directions: a numbered block to boot page offset 0x100 and back. */
  li    $t0, BLOCK
  li    $t1, 0x01020304
  li    $t2, 16
1:
  sw    $t1, 0($t0)
  addiu $t0, $t0, 4
  addiu $t2, $t2, -1
  bnez  $t2, 1b
  addiu $t1, $t1, 0x0101
  li    $a2, PHYS(PIF_BOOT) + 0x100
  jal   exchange
  nop
  result $v0, 0
  result $v1, 1
  result $a3, 2
  lw    $t0, PIF_BOOT + 0x100
  result $t0, 3
  lw    $t0, ANSWER
  result $t0, 4
  lw    $t0, ANSWER + 60
  result $t0, 5
  lw    $t0, BLOCK
  result $t0, 6

  /* Status on port 1, reads on the three ports with nothing plugged in. */
  la    $a0, status_block
  jal   send_block
  nop
  lw    $t0, ANSWER
  result $t0, 7
  lw    $t0, ANSWER + 4
  result $t0, 8
  lw    $t0, ANSWER + 8
  result $t0, 9
  lw    $t0, ANSWER + 16
  result $t0, 10
  lw    $t0, ANSWER + 24
  result $t0, 17

  /* A command the controller does not know, twice: one console line. */
  la    $a0, unknown_block
  jal   send_block
  nop
  lw    $t0, ANSWER
  result $t0, 11
  la    $a0, unknown_block
  jal   send_block
  nop
  lw    $t0, ANSWER
  result $t0, 12

  /* A read at the end of the RAM whose reply would not fit, with a marker right after it. */
  li    $t0, 0x5A5A5A5A
  sw    $t0, PIF_RAM + 64
  la    $a0, late_block
  jal   send_block
  nop
  lw    $t0, ANSWER + 52
  result $t0, 13
  lw    $t0, ANSWER + 56
  result $t0, 14
  lw    $t0, ANSWER + 60
  result $t0, 15
  lw    $t0, PIF_RAM + 64
  result $t0, 16

  /* The buttons and stick once per frame: wait for the video interrupt, acknowledge it, read. */
  li    $s0, 0
read_loop:
  lw    $t0, MI_INTR
  andi  $t0, $t0, 0x08
  beqz  $t0, read_loop
  nop
  sw    $zero, VI_V_CURRENT
  la    $a0, read_block
  jal   send_block
  nop
  lw    $t0, ANSWER + 4                 /* the four reply bytes */
  sll   $t1, $s0, 2
  li    $t2, RESULTS + 4 * 20
  addu  $t1, $t1, $t2
  sw    $t0, 0($t1)
  addiu $s0, $s0, 1
  li    $t0, READS
  bne   $s0, $t0, read_loop
  nop
  idle

/* Copies the 64-byte block at $a0 to BLOCK and exchanges it with the peripheral RAM. */
send_block:
  li    $t0, BLOCK
  addiu $t1, $a0, 64
1:
  lw    $t2, 0($a0)
  addiu $a0, $a0, 4
  sw    $t2, 0($t0)
  bne   $a0, $t1, 1b
  addiu $t0, $t0, 4
  li    $a2, PIF_RAM_PHYS
  /* falls through */

/* Sends BLOCK to the boot page at physical address $a2 and reads it back into ANSWER. Returns
   the SI bit of MI_INTR after the send ($v0), after the status write ($v1) and after the
   read-back ($a3), and leaves it clear. */
exchange:
  lui   $t0, %hi(SI_BASE)
  li    $t1, PHYS(BLOCK)
  sw    $t1, %lo(SI_DRAM_ADDR)($t0)
  sw    $a2, %lo(SI_PIF_ADDR_WR64B)($t0)
  lw    $v0, MI_INTR
  andi  $v0, $v0, 0x02
  sw    $zero, %lo(SI_STATUS)($t0)
  lw    $v1, MI_INTR
  andi  $v1, $v1, 0x02
  li    $t1, PHYS(ANSWER)
  sw    $t1, %lo(SI_DRAM_ADDR)($t0)
  sw    $a2, %lo(SI_PIF_ADDR_RD64B)($t0)
  lw    $a3, MI_INTR
  andi  $a3, $a3, 0x02
  jr    $ra
  sw    $zero, %lo(SI_STATUS)($t0)

  .section .rodata, "a", @progbits
  .align 3
/* Port 1 status (3 reply bytes), then a read on ports 2, 3 and 4; words of four bytes. */
status_block:
  .byte 0x01, 0x03, 0x00, 0xEE, 0xEE, 0xEE, 0xFF, 0xFF
  .byte 0x01, 0x04, 0x01, 0xEE, 0xEE, 0xEE, 0xEE, 0xFF
  .byte 0x01, 0x04, 0x01, 0xEE, 0xEE, 0xEE, 0xEE, 0xFF
  .byte 0x01, 0x04, 0x01, 0xEE, 0xEE, 0xEE, 0xEE, 0xFE
  .fill 31, 1, 0
  .byte 0x01
unknown_block:
  .byte 0x01, 0x02, 0x02, 0xEE, 0xEE, 0xFE
  .fill 57, 1, 0
  .byte 0x01
late_block:
  .fill 59, 1, 0xFF
  .byte 0x01, 0x04, 0x01, 0xEE, 0x01
/* Padding first, so the reply is the second word. */
read_block:
  .byte 0xFF, 0x01, 0x04, 0x01, 0xEE, 0xEE, 0xEE, 0xEE, 0xFE
  .fill 54, 1, 0
  .byte 0x01
