/* What a block of instructions must carry out exactly as single steps do: a branch in the last
   word of a page with its delay slot on the next, likely branches taken and not, a branch in a
   delay slot, code that rewrites itself inside a running loop, cartridge DMA over code that has
   run, COMPARE interrupts every few hundred steps while the loop reads COUNT, byte stores into
   MI_INTR, and TLBWI remapping the page the code runs in. The program goes round for ever,
   leaving its sums as result words, so any difference between two ways of running it shows in
   the registers and memory. */
#include "vantor.inc"

#define C0_INDEX $0
#define C0_ENTRYLO0 $2
#define C0_ENTRYLO1 $3
#define C0_PAGEMASK $5
#define C0_COUNT $9
#define C0_ENTRYHI $10
#define C0_COMPARE $11
#define C0_STATUS $12
#define C0_CAUSE $13

#define EXCEPTION_VECTOR 0xA0000180
#define STATUS_IE_IM7 0x8001
/* The loop runs astride the page boundary at 0x80002000; the remapped code at virtual
   0x00400000 comes from physical page 0x3000, then from 0x5000. */
#define CHUNK_RAM 0x80001FE0
#define CHUNK_PHYS 0x00001FE0
#define MAPPED 0x00400000
#define MAPPED_A 0x80003000
#define MAPPED_B 0x80005000

  .set noreorder
  .section .text.start, "ax", @progbits
  .globl _start
_start:
  la    $a0, handler                    /* the timer handler to the vector */
  la    $a1, handler_end
  li    $a2, EXCEPTION_VECTOR
  jal   copy
  nop
  la    $a0, chunk                      /* the loop astride the page boundary */
  la    $a1, chunk_end
  li    $a2, CHUNK_RAM
  jal   copy
  nop
  la    $a0, remap_a                    /* two versions of the TLB-mapped code */
  la    $a1, remap_end
  li    $a2, MAPPED_A
  jal   copy
  nop
  la    $a0, remap_b
  la    $a1, remap_b_end
  li    $a2, MAPPED_B
  jal   copy
  nop

  mfc0  $t0, C0_COUNT
  addiu $t0, $t0, 300
  mtc0  $t0, C0_COMPARE
  li    $t0, STATUS_IE_IM7
  mtc0  $t0, C0_STATUS
  li    $t9, 1                          /* keeps BEQL $zero, $t9 untaken */

round:
  li    $t8, CHUNK_RAM                  /* the loop, as copied */
  jalr  $t7, $t8
  nop
  result $s3, 2
  result $s4, 3
  result $s5, 4
  result $s6, 5

  lui   $t0, %hi(PI_BASE)               /* DMA the other version of the loop over it */
  li    $t1, CHUNK_PHYS
  sw    $t1, %lo(PI_DRAM_ADDR)($t0)
  la    $t1, chunk_alt - 0xA4000000 + CART_PHYS
  sw    $t1, %lo(PI_CART_ADDR)($t0)
  li    $t1, chunk_alt_end - chunk_alt - 1
  sw    $t1, %lo(PI_WR_LEN)($t0)
  li    $t8, CHUNK_RAM
  jalr  $t8
  nop
  result $s3, 6

  lui   $t0, %hi(MI_BASE)               /* a byte store raises the interrupt line, one clears it */
  li    $t1, 0x20
  sb    $t1, %lo(MI_INTR + 3)($t0)
  mfc0  $t2, C0_CAUSE
  sb    $zero, %lo(MI_INTR + 3)($t0)
  mfc0  $t3, C0_CAUSE
  xor   $t2, $t2, $t3
  result $t2, 7

  mtc0  $zero, C0_INDEX                 /* map virtual MAPPED to MAPPED_A and run there */
  li    $t0, MAPPED
  mtc0  $t0, C0_ENTRYHI
  mtc0  $zero, C0_PAGEMASK
  li    $t0, ((MAPPED_A & 0x1FFFFFFF) >> 12 << 6) | 2
  mtc0  $t0, C0_ENTRYLO0
  mtc0  $zero, C0_ENTRYLO1
  tlbwi
  li    $t8, MAPPED
  jalr  $t8
  nop
  result $s7, 8

  li    $t0, CHUNK_RAM                  /* put the first loop back for the next round */
  la    $a0, chunk
  la    $a1, chunk_end
  jal   copy
  move  $a2, $t0
  b     round
  nop

/* Copies the words from $a0 to $a1 to $a2. */
copy:
  lw    $t3, 0($a0)
  addiu $a0, $a0, 4
  sw    $t3, 0($a2)
  bne   $a0, $a1, copy
  addiu $a2, $a2, 4
  jr    $ra
  nop

/* Uses only $k0 and $k1: counts the interrupt and sets the next one 250 to 500 steps on. */
handler:
  lui   $k1, %hi(RESULTS)
  lw    $k0, %lo(RESULTS)($k1)
  addiu $k0, $k0, 1
  sw    $k0, %lo(RESULTS)($k1)          /* result 0: interrupts taken */
  mfc0  $k0, C0_COUNT
  andi  $k1, $k0, 0xFF
  addu  $k0, $k0, $k1
  addiu $k0, $k0, 250
  mtc0  $k0, C0_COMPARE
  eret
handler_end:

/* Position-independent: branches only; BAL takes $ra, so the return address waits in $t7. The
   branch at offset 0x1C lands on 0x80001FFC, the last word of its page, with its delay slot on
   the next page. */
chunk:
  li    $t0, 300
loop:
  addiu $t1, $t1, 3
  mfc0  $t2, C0_COUNT
  addu  $s3, $s3, $t2
  beql  $zero, $t9, 1f                  /* never taken: the delay slot is skipped */
  addiu $s3, $s3, 1
1:
  addiu $t0, $t0, -1
  bnez  $t0, loop
  addiu $s4, $s4, 1
  bal   2f                              /* a branch in the delay slot of a branch */
  b     3f
  addiu $s5, $s5, 1
2:
  addiu $s5, $s5, 2
3:
  addiu $s5, $s5, 4
  li    $t0, 200                        /* rewrites its own add immediate on every pass */
  bal   4f
  nop
4:
  addiu $t3, $ra, patch - 4b
  lui   $t4, 0x26D6                     /* addiu $s6, $s6, 0 */
5:
  or    $t5, $t4, $t0
  sw    $t5, 0($t3)
  nop
patch:
  addiu $s6, $s6, 0
  addiu $t0, $t0, -1
  bnezl $t0, 5b                         /* taken: the delay slot runs */
  xor   $s6, $s6, $t0
  jr    $t7
  nop
chunk_end:

chunk_alt:
  li    $t0, 100
6:
  mfc0  $t2, C0_COUNT
  xor   $s3, $s3, $t2
  addiu $t0, $t0, -1
  bnez  $t0, 6b
  sll   $s3, $s3, 1
  jr    $ra
  nop
chunk_alt_end:

/* Runs at MAPPED: remaps its own page to the other copy, whose words differ, and goes on. */
remap_a:
  li    $t0, ((MAPPED_B & 0x1FFFFFFF) >> 12 << 6) | 2
  mtc0  $t0, C0_ENTRYLO0
  nop
  tlbwi
  addiu $s7, $s7, 1
  addiu $s7, $s7, 2
  b     7f
  nop
7:
  addiu $s7, $s7, 4
  jr    $ra
  nop
remap_end:
remap_b:
  nop
  nop
  nop
  nop
  addiu $s7, $s7, 16
  addiu $s7, $s7, 32
  b     8f
  nop
8:
  addiu $s7, $s7, 64
  jr    $ra
  nop
remap_b_end:
