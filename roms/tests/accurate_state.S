/* Runs for ever keeping state only the accurate hardware mode holds from one round to the next:
   each round folds the previous round's 64-bit HI and LO, the upper word of $f4 (Status.FR is set
   from reset in this mode) and whether SC found the load-linked bit still set into $s1, then
   multiplies again, writes a new upper word and links again. A save state taken at any moment
   has all of them in flight; the running sum also goes to RDRAM 0x00300000. */
#include "vantor.inc"

  .set noreorder
  .section .text.start, "ax", @progbits
  .globl _start
_start:
  lui   $s0, 0x8030
  move  $s1, $zero
  dli   $s2, 0x0123456789ABCDEF
  ll    $t0, 0($s0)
loop:
  mfhi  $t1
  mflo  $t2
  daddu $s1, $s1, $t1
  dsll  $s1, $s1, 1
  daddu $s1, $s1, $t2
  dmfc1 $t3, $f4
  daddu $s1, $s1, $t3
  li    $t4, 1
  sc    $t4, 4($s0)
  daddu $s1, $s1, $t4
  daddiu $s2, $s2, 0x1357
  dmultu $s2, $s1
  dsll32 $t5, $s1, 0
  or    $t5, $t5, $s2
  dmtc1 $t5, $f4
  sd    $s1, 8($s0)
  b     loop
  ll    $t0, 0($s0)
