/* The 64-bit multiply and divide with HI and LO read back whole, the unaligned double-word loads
   and stores at every byte of a double word, and LL/SC and LLD/SCD with and without an ERET
   between the link and the store. Double words are stored with SD: high word first. */
#include "vantor.inc"

#define C0_STATUS $12
#define C0_EPC $14

/* Operation \op on \a and \b, then HI and LO stored at \offset and \offset + 8. A divide names
   $zero as its destination, so that the assembler emits the bare instruction. */
.macro muldiv op, a, b, offset
  dli   $t0, \a
  dli   $t1, \b
  .ifc \op, ddiv
  \op   $zero, $t0, $t1
  .else
  .ifc \op, ddivu
  \op   $zero, $t0, $t1
  .else
  \op   $t0, $t1
  .endif
  .endif
  mfhi  $t2
  mflo  $t3
  sd    $t2, \offset($s0)
  sd    $t3, \offset + 8($s0)
.endm

  .set noreorder
  .set noat
  .section .text.start, "ax", @progbits
  .globl _start
_start:
  la    $s0, RESULTS
  muldiv dmult, -3, 5, 0x00
  muldiv dmultu, 0x8000000000000000, 4, 0x10
  muldiv ddiv, 0x8000000000000000, -1, 0x20
  muldiv ddiv, 7, 0, 0x30
  muldiv ddiv, -7, 0, 0x40
  muldiv ddiv, -7, 2, 0x50
  muldiv ddivu, -1, 16, 0x60
  muldiv mult, 0x7FFFFFFF, 2, 0x70
  dli   $t0, 0x123456789ABCDEF0
  mthi  $t0
  mfhi  $t1
  sd    $t1, 0x80($s0)

  /* k = 0 to 7: LDL and LDR from bytes + k over a register of 0xA5, SDL and SDR of
     0x0102030405060708 at slot + k over a slot of 0xCC */
  la    $s1, bytes
  li    $s2, 0
  addiu $s3, $s0, 0x100
  dli   $s4, 0xA5A5A5A5A5A5A5A5
  dli   $s5, 0x0102030405060708
  dli   $s6, 0xCCCCCCCCCCCCCCCC
1:
  addu  $t1, $s1, $s2
  move  $t0, $s4
  ldl   $t0, 0($t1)
  sd    $t0, 0($s3)
  move  $t0, $s4
  ldr   $t0, 0($t1)
  sd    $t0, 0x40($s3)
  sd    $s6, 0x80($s3)
  addu  $t1, $s3, $s2
  sdl   $s5, 0x80($t1)
  sd    $s6, 0xC0($s3)
  sdr   $s5, 0xC0($t1)
  addiu $s2, $s2, 1
  sltiu $t2, $s2, 8
  bnez  $t2, 1b
  addiu $s3, $s3, 8

  /* LL/SC: a linked increment succeeds; an ERET between link and store makes it fail */
  addiu $s3, $s0, 0x200
  li    $t0, 5
  sw    $t0, 0x10($s3)
  dli   $t0, 0x100000000
  sd    $t0, 0x18($s3)
  li    $t0, 77
  ll    $t0, 0x10($s3)
  addiu $t0, $t0, 1
  sc    $t0, 0x10($s3)
  sw    $t0, 0($s3)                     /* 1: stored */
  li    $t0, 77
  ll    $t0, 0x10($s3)
  la    $t1, 2f
  mtc0  $t1, C0_EPC
  mfc0  $t1, C0_STATUS
  ori   $t1, $t1, 2                     /* EXL, so that ERET returns through EPC */
  mtc0  $t1, C0_STATUS
  nop
  eret
2:
  addiu $t0, $t0, 10
  sc    $t0, 0x10($s3)
  sw    $t0, 4($s3)                     /* 0: not stored */
  li    $t0, 77
  lld   $t0, 0x18($s3)
  daddiu $t0, $t0, 1
  scd   $t0, 0x18($s3)
  sw    $t0, 8($s3)                     /* 1: stored */
  idle

  .data
  .align 3
bytes:
  .byte 0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77
  .byte 0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF
