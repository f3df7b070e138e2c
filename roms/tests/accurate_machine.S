/* The console's machine as a program sees it: the MIPS interface's version, mask and mode, the
   8 MB of main memory, the RDRAM interface's registers, cartridge DMA with its alignment, length,
   busy time, error and interrupt, serial DMA likewise, and COUNT at half the processor clock.
   Every wait is bounded, so the program ends on any machine.

   Results (word index: what; 32 to 47 hold the exception handler's copy):
   0 MI_VERSION; 1 MI_INTR after a write; 2-4 the mask after set-all, clear-all, clear+set SP;
   5-7 MI_MODE after set-all, clear-all, clear+set init.
   8-11 words written at 0, 4 MB and 8 MB - 4 of main memory, and 4 MB through the cached view.
   12 RI_MODE at power-on; 13 RI_SELECT written; 14 RI_CURRENT_LOAD written; 15 RI_ERROR;
   16 an RDRAM register read 1 KB further on.
   17-20 PI domain 1 latency, pulse width, page size, release.
   21 PI_STATUS right after a 64-byte cartridge DMA starts; 22 COUNT's counts until it ended;
   23 polls left; 24 PI_STATUS after; 25 MI_INTR; 26 PI_DRAM_ADDR and 27 PI_CART_ADDR after;
   28 the cartridge address used; 29 PI_WR_LEN; 30, 31 first and last word copied; 48 MI_INTR
   after PI_STATUS clears the interrupt.
   49 PI_DRAM_ADDR written 0x...103; 50 PI_CART_ADDR written odd; 51-53 the words around a
   5-byte DMA to a 2-byte-aligned address.
   54 PI_STATUS after a second start while busy; 55 after a reset; 56 MI_INTR long after.
   57-59 the PI interrupt taken: times, CAUSE and PI_STATUS in the handler; 60 polls left.
   61 SI_STATUS right after a send; 62 counts until it ended; 63 SI_STATUS after; 64 MI_INTR;
   65 MI_INTR after an SI_STATUS write; 66 SI_DRAM_ADDR written unaligned; 67, 68 the answer
   read back to the 8-byte-aligned address; 69 SI_STATUS after a second start while busy;
   70 after an SI_STATUS write once it ended.
   71 COUNT's counts over 100 instructions; 72 six-instruction polls until COUNT reached
   COMPARE 1000 counts on. */
#include "vantor.inc"

#define C0_COUNT $9
#define C0_COMPARE $11
#define C0_STATUS $12
#define C0_CAUSE $13
#define MI_MODE 0xA4300000
#define RI_MODE 0xA4700000
#define RI_CURRENT_LOAD 0xA4700008
#define RI_SELECT 0xA470000C
#define RI_ERROR 0xA4700018
#define RDRAM_DEVICE_ID 0xA3F00004
#define PI_DOM1_LAT 0xA4600014
#define EXCEPTION_VECTOR 0xA0000180
#define TARGET 0xA0200000
#define TARGET_PHYS 0x00200000
#define SI_BLOCK 0xA0201000
#define SI_BLOCK_PHYS 0x00201000
#define LIMIT 100000
#define STATUS_IE_IM2 0x0401
#define MI_MASK_SET_PI 0x0200
#define MI_MASK_CLEAR_ALL 0x0555

/* Polls the status register at \reg until its busy bits \mask are clear, at most LIMIT times;
   leaves the polls left in $t3 (0: it never ended). Uses $t0, $t3, $t4. */
.macro wait_idle reg, mask
  lui   $t4, %hi(\reg)
  li    $t3, LIMIT
1:
  lw    $t0, %lo(\reg)($t4)
  andi  $t0, $t0, \mask
  beqz  $t0, 2f
  nop
  addiu $t3, $t3, -1
  bnez  $t3, 1b
  nop
2:
.endm

  .set noreorder
  .section .text.start, "ax", @progbits
  .globl _start
_start:
  /* MIPS interface. */
  lw    $t0, MI_VERSION
  result $t0, 0
  li    $t0, 0x3F
  sw    $t0, MI_INTR
  lw    $t0, MI_INTR
  result $t0, 1
  li    $t0, 0x0AAA
  sw    $t0, MI_INTR_MASK
  lw    $t0, MI_INTR_MASK
  result $t0, 2
  li    $t0, MI_MASK_CLEAR_ALL
  sw    $t0, MI_INTR_MASK
  lw    $t0, MI_INTR_MASK
  result $t0, 3
  li    $t0, 0x0003
  sw    $t0, MI_INTR_MASK
  lw    $t0, MI_INTR_MASK
  result $t0, 4
  li    $t0, MI_MASK_CLEAR_ALL
  sw    $t0, MI_INTR_MASK
  li    $t0, 0x257F                     /* set RDRAM, ebus and init, length 0x7F */
  sw    $t0, MI_MODE
  lw    $t0, MI_MODE
  result $t0, 5
  li    $t0, 0x1290                     /* clear RDRAM, ebus and init, length 0x10 */
  sw    $t0, MI_MODE
  lw    $t0, MI_MODE
  result $t0, 6
  li    $t0, 0x0180                     /* clear and set init, length 0 */
  sw    $t0, MI_MODE
  lw    $t0, MI_MODE
  result $t0, 7
  li    $t0, 0x0080
  sw    $t0, MI_MODE

  /* 8 MB of main memory: three words that do not alias. */
  li    $t0, 0x0BADF00D
  li    $t1, RDRAM
  sw    $t0, 0($t1)
  li    $t0, 0x12345678
  li    $t1, RDRAM + 0x400000
  sw    $t0, 0($t1)
  li    $t0, 0x9ABCDEF0
  li    $t1, RDRAM + 0x7FFFFC
  sw    $t0, 0($t1)
  lw    $t0, RDRAM
  result $t0, 8
  lw    $t0, RDRAM + 0x400000
  result $t0, 9
  lw    $t0, RDRAM + 0x7FFFFC
  result $t0, 10
  lw    $t0, RDRAM_CACHED + 0x400000
  result $t0, 11

  /* The RDRAM interface and the modules' registers. */
  lw    $t0, RI_MODE
  result $t0, 12
  li    $t0, 0x14
  sw    $t0, RI_SELECT
  lw    $t0, RI_SELECT
  result $t0, 13
  li    $t0, -1
  sw    $t0, RI_CURRENT_LOAD
  lw    $t0, RI_CURRENT_LOAD
  result $t0, 14
  lw    $t0, RI_ERROR
  result $t0, 15
  li    $t0, 0x12345678
  sw    $t0, RDRAM_DEVICE_ID
  lw    $t0, RDRAM_DEVICE_ID + 0x400
  result $t0, 16

  /* Cartridge DMA: the header's timings, then 64 bytes of the table. */
  lw    $t0, PI_DOM1_LAT
  result $t0, 17
  lw    $t0, PI_DOM1_LAT + 4
  result $t0, 18
  lw    $t0, PI_DOM1_LAT + 8
  result $t0, 19
  lw    $t0, PI_DOM1_LAT + 12
  result $t0, 20
  la    $s2, table                      /* its cartridge address */
  li    $t0, ROM_ENTRY - 0x40 - CART_PHYS
  subu  $s2, $s2, $t0
  result $s2, 28
  li    $t0, TARGET_PHYS
  sw    $t0, PI_DRAM_ADDR
  sw    $s2, PI_CART_ADDR
  mfc0  $s0, C0_COUNT
  li    $t0, 63
  sw    $t0, PI_WR_LEN
  lw    $t0, PI_STATUS
  result $t0, 21
  wait_idle PI_STATUS, 3
  mfc0  $s1, C0_COUNT
  subu  $t0, $s1, $s0
  result $t0, 22
  result $t3, 23
  lw    $t0, PI_STATUS
  result $t0, 24
  lw    $t0, MI_INTR
  result $t0, 25
  lw    $t0, PI_DRAM_ADDR
  result $t0, 26
  lw    $t0, PI_CART_ADDR
  result $t0, 27
  lw    $t0, PI_WR_LEN
  result $t0, 29
  lw    $t0, TARGET
  result $t0, 30
  lw    $t0, TARGET + 60
  result $t0, 31
  li    $t0, 2
  sw    $t0, PI_STATUS
  lw    $t0, MI_INTR
  result $t0, 48

  /* Alignment: bit 0 of both addresses stays clear, an odd length moves a whole last halfword. */
  li    $t0, 0xEEEEEEEE
  li    $t1, TARGET + 0x100
  sw    $t0, 0($t1)
  sw    $t0, 4($t1)
  sw    $t0, 8($t1)
  li    $t0, TARGET_PHYS + 0x103
  sw    $t0, PI_DRAM_ADDR
  lw    $t0, PI_DRAM_ADDR
  result $t0, 49
  addiu $t0, $s2, 3
  sw    $t0, PI_CART_ADDR
  lw    $t0, PI_CART_ADDR
  result $t0, 50
  li    $t0, 4
  sw    $t0, PI_WR_LEN
  wait_idle PI_STATUS, 3
  lw    $t0, TARGET + 0x100
  result $t0, 51
  lw    $t0, TARGET + 0x104
  result $t0, 52
  lw    $t0, TARGET + 0x108
  result $t0, 53
  li    $t0, 2
  sw    $t0, PI_STATUS

  /* A start while busy is an error; a reset ends the DMA without an interrupt. */
  li    $t0, TARGET_PHYS
  sw    $t0, PI_DRAM_ADDR
  sw    $s2, PI_CART_ADDR
  li    $t0, 0xFFF
  sw    $t0, PI_WR_LEN
  sw    $t0, PI_WR_LEN
  lw    $t0, PI_STATUS
  result $t0, 54
  li    $t0, 1
  sw    $t0, PI_STATUS
  lw    $t0, PI_STATUS
  result $t0, 55
  li    $t0, 50000                      /* longer than the 4 KB would have taken */
3:
  bnez  $t0, 3b
  addiu $t0, $t0, -1
  lw    $t0, MI_INTR
  result $t0, 56

  /* The PI interrupt taken through MI and IP2. */
  la    $t0, handler
  la    $t1, handler_end
  li    $t2, EXCEPTION_VECTOR
4:
  lw    $t5, 0($t0)
  addiu $t0, $t0, 4
  sw    $t5, 0($t2)
  bne   $t0, $t1, 4b
  addiu $t2, $t2, 4
  li    $t0, MI_MASK_SET_PI
  sw    $t0, MI_INTR_MASK
  mfc0  $s3, C0_STATUS
  ori   $t0, $s3, STATUS_IE_IM2
  mtc0  $t0, C0_STATUS
  li    $t0, TARGET_PHYS
  sw    $t0, PI_DRAM_ADDR
  sw    $s2, PI_CART_ADDR
  li    $t0, 63
  sw    $t0, PI_WR_LEN
  lui   $t4, %hi(RESULTS)
  li    $t3, LIMIT
5:
  lw    $t0, %lo(RESULTS + 4 * 57)($t4)
  bnez  $t0, 6f
  nop
  addiu $t3, $t3, -1
  bnez  $t3, 5b
  nop
6:
  mtc0  $s3, C0_STATUS
  result $t3, 60
  li    $t0, MI_MASK_CLEAR_ALL
  sw    $t0, MI_INTR_MASK

  /* Serial DMA: a status request for port 1 sent to the boot chip and its answer read back. */
  li    $t1, SI_BLOCK
  li    $t0, 0x01030000                 /* send 1, receive 3, command 0 (status) */
  sw    $t0, 0($t1)
  li    $t0, 0x0000FE00                 /* three bytes for the answer, then the end mark */
  sw    $t0, 4($t1)
  li    $t0, SI_BLOCK_PHYS
  sw    $t0, SI_DRAM_ADDR
  mfc0  $s0, C0_COUNT
  li    $t0, PIF_RAM_PHYS
  sw    $t0, SI_PIF_ADDR_WR64B
  lw    $t0, SI_STATUS
  result $t0, 61
  wait_idle SI_STATUS, 3
  mfc0  $s1, C0_COUNT
  subu  $t0, $s1, $s0
  result $t0, 62
  lw    $t0, SI_STATUS
  result $t0, 63
  lw    $t0, MI_INTR
  result $t0, 64
  sw    $zero, SI_STATUS
  lw    $t0, MI_INTR
  result $t0, 65
  li    $t0, SI_BLOCK_PHYS + 0x44
  sw    $t0, SI_DRAM_ADDR
  lw    $t0, SI_DRAM_ADDR
  result $t0, 66
  li    $t0, PIF_RAM_PHYS
  sw    $t0, SI_PIF_ADDR_RD64B
  wait_idle SI_STATUS, 3
  lw    $t0, SI_BLOCK + 0x40
  result $t0, 67
  lw    $t0, SI_BLOCK + 0x44
  result $t0, 68
  sw    $zero, SI_STATUS
  li    $t0, PIF_RAM_PHYS
  sw    $t0, SI_PIF_ADDR_WR64B
  sw    $t0, SI_PIF_ADDR_WR64B
  lw    $t0, SI_STATUS
  result $t0, 69
  wait_idle SI_STATUS, 3
  sw    $zero, SI_STATUS
  lw    $t0, SI_STATUS
  result $t0, 70

  /* COUNT at half the processor clock, and the timer match it leads to. */
  mfc0  $t1, C0_COUNT
  .rept 99
  nop
  .endr
  mfc0  $t2, C0_COUNT
  subu  $t0, $t2, $t1
  result $t0, 71
  li    $t0, 1000
  mtc0  $t0, C0_COMPARE
  mtc0  $zero, C0_COUNT
  li    $t3, 0
  li    $t5, LIMIT
7:
  mfc0  $t0, C0_CAUSE
  andi  $t0, $t0, 0x8000
  bnez  $t0, 8f
  addiu $t3, $t3, 1
  bne   $t3, $t5, 7b
  nop
8:
  result $t3, 72
  idle

/* Uses only $k0 and $k1: counts the interrupt, records CAUSE and PI_STATUS, acknowledges it. */
handler:
  lui   $k1, %hi(RESULTS)
  lw    $k0, %lo(RESULTS + 4 * 57)($k1)
  addiu $k0, $k0, 1
  sw    $k0, %lo(RESULTS + 4 * 57)($k1)
  mfc0  $k0, C0_CAUSE
  sw    $k0, %lo(RESULTS + 4 * 58)($k1)
  lui   $k0, %hi(PI_STATUS)
  lw    $k0, %lo(PI_STATUS)($k0)
  sw    $k0, %lo(RESULTS + 4 * 59)($k1)
  lui   $k1, %hi(PI_STATUS)
  li    $k0, 2
  sw    $k0, %lo(PI_STATUS)($k1)
  eret
handler_end:

/* Byte i holds i: one page of the cartridge bus, so the DMA's time is one latency. */
  .balign 512
table:
  .word 0x00010203, 0x04050607, 0x08090A0B, 0x0C0D0E0F
  .word 0x10111213, 0x14151617, 0x18191A1B, 0x1C1D1E1F
  .word 0x20212223, 0x24252627, 0x28292A2B, 0x2C2D2E2F
  .word 0x30313233, 0x34353637, 0x38393A3B, 0x3C3D3E3F
