/* The display processor driven by a program, as the console's programs drive it. A command list
   copied to RDRAM fills a rectangle in fill mode and ends with SYNC_FULL; the program waits for
   the DP interrupt in MI_INTR, reads DPC_CURRENT, and clears the interrupt through MI_MODE. A
   second list stays in DMEM, where this program runs, and is fetched over XBUS: a one-cycle
   rectangle in the primitive colour. The program records pixels of the 16-bit image, the
   registers, and how long each wait took (0 when it gave up). */
#include "vantor.inc"

#define DPC_START 0xA4100000
#define DPC_END 0xA4100004
#define DPC_CURRENT 0xA4100008
#define DPC_STATUS 0xA410000C
#define MI_MODE 0xA4300000

#define DPC_CLEAR_XBUS 0x0001
#define DPC_SET_XBUS 0x0002
#define MI_CLEAR_DP 0x0800
#define MI_INTR_DP 0x20

/* The 16-bit image, 32 pixels wide, and where the first list goes in RDRAM. */
#define IMAGE 0xA0200000
#define LIST_RDRAM 0xA0210000

  .set noreorder
  .section .text.start, "ax", @progbits
  .globl _start
_start:
  /* Copy the first list to RDRAM, a word at a time. */
  copy_words list_rdram, list_rdram_end, LIST_RDRAM

  li    $t0, DPC_CLEAR_XBUS
  sw    $t0, DPC_STATUS
  li    $t0, PHYS(LIST_RDRAM)
  sw    $t0, DPC_START
  la    $t1, list_rdram_end
  la    $t2, list_rdram
  subu  $t1, $t1, $t2
  addu  $t0, $t0, $t1
  sw    $t0, DPC_END
  jal   wait_dp
  nop
  result $v0, 0                         /* steps of the wait, 0 when it gave up */
  lw    $t0, MI_INTR
  andi  $t0, $t0, MI_INTR_DP
  result $t0, 1
  lw    $t0, DPC_CURRENT
  result $t0, 2
  li    $t0, MI_CLEAR_DP
  sw    $t0, MI_MODE
  lw    $t0, MI_INTR
  andi  $t0, $t0, MI_INTR_DP
  result $t0, 3
  lhu   $t0, IMAGE                      /* pixel (0, 0) */
  result $t0, 4
  lhu   $t0, IMAGE + (3 * 32 + 7) * 2   /* pixel (7, 3), the far corner, included */
  result $t0, 5
  lhu   $t0, IMAGE + (3 * 32 + 8) * 2   /* pixel (8, 3): outside */
  result $t0, 6

  /* The second list from DMEM: its offsets in the signal processor's data memory. */
  li    $t0, DPC_SET_XBUS
  sw    $t0, DPC_STATUS
  la    $t0, list_dmem
  andi  $t0, $t0, 0xFFF
  sw    $t0, DPC_START
  la    $t1, list_dmem_end
  andi  $t1, $t1, 0xFFF
  sw    $t1, DPC_END
  jal   wait_dp
  nop
  result $v0, 7
  lw    $t0, DPC_CURRENT
  result $t0, 8
  lw    $t0, DPC_STATUS
  andi  $t0, $t0, 1                     /* XBUS */
  result $t0, 9
  lhu   $t0, IMAGE + 8 * 2              /* pixel (8, 0) */
  result $t0, 10
  lhu   $t0, IMAGE + (3 * 32 + 15) * 2  /* pixel (15, 3) */
  result $t0, 11
  lhu   $t0, IMAGE + 16 * 2             /* pixel (16, 0): the right edge is left out */
  result $t0, 12
  lhu   $t0, IMAGE + 4 * 32 * 2 + 8 * 2 /* pixel (8, 4): so is the lower one */
  result $t0, 13
  li    $t0, MI_CLEAR_DP
  sw    $t0, MI_MODE
  idle

/* Polls MI_INTR for the DP bit; returns the steps left of 100000 when it came, 0 if it did not. */
wait_dp:
  li    $v0, 100000
  lui   $t2, %hi(MI_INTR)
1:
  lw    $t3, %lo(MI_INTR)($t2)
  andi  $t3, $t3, MI_INTR_DP
  bnez  $t3, 2f
  nop
  addiu $v0, $v0, -1
  bnez  $v0, 1b
  nop
2:
  jr    $ra
  nop

  .balign 8
list_rdram:
  .dword 0x3F10001F00200000             /* colour image: 16-bit, 32 wide, at 0x200000 */
  .dword 0x2D00000000080020             /* scissor (0, 0) to (32, 8) */
  .dword 0x2F30000000000000             /* fill mode */
  .dword 0x37000000F801F801             /* fill colour: red */
  .dword 0x3601C00C00000000             /* fill rectangle (0, 0) to (7, 3), both included */
  .dword 0x2900000000000000             /* SYNC_FULL */
list_rdram_end:

list_dmem:
  .dword 0x2F0000F000000000             /* one cycle, no dithering */
  .dword 0x3C887F1088FDF6FB             /* combiner: the primitive colour in both cycles */
  .dword 0x3A00000000FF00FF             /* primitive colour: green */
  .dword 0x3604001000020000             /* rectangle (8, 0) to (16, 4), right and lower left out */
  .dword 0x2900000000000000             /* SYNC_FULL */
list_dmem_end:
