/* The Vantor64 demo: a colour-cycling wave background, a snake of shaded balls, a bobbing
   title and a sine scroller, 320x240 in 16-bit pixels, drawn by the CPU into two frame buffers
   in turn. Each frame is drawn, shown through VI_ORIGIN, and then the program idles in a jump
   to itself until the video interrupt moves it on to the next frame.

   The floating-point unit makes the sine table (a Taylor polynomial for one step, then a
   rotation recurrence), the colour ramps and the lit spheres at start-up, and every frame
   the background's row offsets, the balls' paths, the title's bobbing and the scroller's wave.

   Every frame it reads the controller on port 1 through the serial interface: the stick
   moves the snake of balls, A changes the colour scheme and Start freezes or thaws the
   scroller. Without a controller, or with it at rest, the demo plays by itself.

   Layout: boot code in the signal processor's data memory copies the rest of the program from
   the cartridge to RDRAM 0x80000180, where the exception vector lies (demo.ld). */
#include "vantor.inc"

/* Tables built at start-up and the frame buffers, in RDRAM. */
#define SINE 0x80020000                 /* 1024 floats: sin(2 pi i / 1024) */
#define ROWRAMP 0x80021000              /* 240 words: the ramp each background row copies */
#define WAVE 0x80021400                 /* 160 words: scroller row offset per pixel pair */
#define RAMPS 0x80030000                /* 16 brightness levels of 1024 ramp pixels */
#define SPRITES 0x80040000              /* 4 balls of 32x32 pixels; 0 is transparent */
#define PAD_BLOCK 0x80021800            /* the command block sent to the controller */
#define PAD_ANSWER 0x80021840           /* the block read back */
/* What the controller has done so far; zero at start like the rest of main memory. */
#define STATE_PAD 0x80021880            /* buttons and stick of the last frame */
#define STATE_SNAKE_X 0x80021884        /* where the stick has moved the snake, in pixels */
#define STATE_SNAKE_Y 0x80021888
#define STATE_SCHEME 0x8002188C         /* colour scheme, 0 to SCHEMES - 1 */
#define STATE_FROZEN 0x80021890         /* 1 while the scroller stands still */
#define STATE_SCROLL_TIME 0x80021894    /* the scroller's own clock, in frames */
#define STATE_LAST_TIME 0x80021898      /* frame count when the last frame was drawn */
#define FB0 0x00100000                  /* frame buffers, as VI_ORIGIN takes them */
#define FB1 0x00140000

#define WIDTH 320
#define STRIDE 640                      /* bytes per frame buffer row */
#define ROWS 240
#define RAMP_BYTES 2048
#define LEVELS 16
#define BALLS 8
#define SCROLL_Y 208                    /* top row of the scroller before its wave */
#define SCHEMES 3
#define SNAKE_X_RANGE 128               /* how far the stick may move the snake */
#define SNAKE_Y_RANGE 96
#define PAD_A 0x80000000
#define PAD_START 0x10000000

/* A 5-5-5-1 pixel with its alpha bit set. */
#define RGB(r, g, b) (((r) << 11) | ((g) << 6) | ((b) << 1) | 1)

  .set noreorder

/* Keeps reg within low..high; tmp is a scratch register. */
.macro clamp reg, low, high, tmp
  slti  \tmp, \reg, \low
  beqz  \tmp, .Lclamp_low\@
  nop
  li    \reg, \low
.Lclamp_low\@:
  slti  \tmp, \reg, (\high) + 1
  bnez  \tmp, .Lclamp_high\@
  nop
  li    \reg, \high
.Lclamp_high\@:
.endm

/* gpr = the float in freg truncated to an integer; tmp is a scratch FPU register. */
.macro to_int gpr, freg, tmp
  cvt.w.s \tmp, \freg
  mfc1  \gpr, \tmp
.endm

/* freg = the sine-table float at phase index gpr (masked to 0..1023); uses $t9 as base. */
.macro sine freg, gpr, tmp
  andi  \tmp, \gpr, 1023
  sll   \tmp, \tmp, 2
  addu  \tmp, \tmp, $t9
  lwc1  \freg, 0(\tmp)
.endm

/* ------------------------------------------------------------------------------------------ */
/* Boot: copy the program from the cartridge into RDRAM and run it there. */

  .section .text.start, "ax", @progbits
  .globl _start
_start:
  la    $t0, payload_cart
  la    $t1, payload_start
  la    $t2, payload_end
copy:
  lw    $t3, 0($t0)
  addiu $t0, $t0, 4
  sw    $t3, 0($t1)
  addiu $t1, $t1, 4
  bne   $t1, $t2, copy
  nop
  la    $t0, main
  jr    $t0
  nop

/* ------------------------------------------------------------------------------------------ */
/* The exception vector at 0x80000180. Only the video interrupt is enabled: acknowledge it,
   count the frame and, when it ended the wait in `idle`, return past that loop. Uses only
   $k0 and $k1, so it may interrupt any code, even assembler macros that use $at. */

  .section .text.vector, "ax", @progbits
  .set noat
  .globl exception
exception:
  lui   $k0, %hi(VI_BASE)
  sw    $zero, %lo(VI_V_CURRENT)($k0)
  lui   $k0, %hi(frame_count)
  lw    $k1, %lo(frame_count)($k0)
  nop
  addiu $k1, $k1, 1
  sw    $k1, %lo(frame_count)($k0)
  mfc0  $k0, $14                        /* EPC */
  lui   $k1, %hi(idle)
  addiu $k1, $k1, %lo(idle)
  bne   $k0, $k1, 1f
  addiu $k0, $k0, 8                     /* past the jump and its delay slot */
  mtc0  $k0, $14
  nop
1:
  eret
  .set at

/* ------------------------------------------------------------------------------------------ */
/* Main loop. $s0 = frame count at the start of the frame (the animation's time), $s1 = the
   frame buffer being drawn (cached address), $s2 = its physical address. Drawing routines
   keep $s0 to $s2 and $gp and may use every other register but $k0 and $k1. */

  .text
main:
  li    $t0, 0x01000000                 /* FCR31.FS: the shading's tiny powers flush to zero */
  ctc1  $t0, $31                        /* rather than trap as unimplemented on the console */
  sw    $zero, frame_count
  la    $t0, pad_command                /* the controller's block, where the SI copies take it */
  li    $t1, PAD_BLOCK
  addiu $t2, $t0, 64
1:
  lw    $t3, 0($t0)
  addiu $t0, $t0, 4
  sw    $t3, 0($t1)
  bne   $t0, $t2, 1b
  addiu $t1, $t1, 4
  jal   make_sine
  nop
  jal   make_ramps
  nop
  jal   make_row_ramps
  nop
  jal   make_sprites
  nop

  li    $s2, FB0                        /* the first frame, before the screen is on */
  jal   draw_frame
  nop
  lui   $t0, %hi(VI_BASE)
  li    $t1, 2                          /* 16-bit pixels */
  sw    $t1, %lo(VI_STATUS)($t0)
  sw    $s2, %lo(VI_ORIGIN)($t0)
  li    $t1, WIDTH
  sw    $t1, %lo(VI_WIDTH)($t0)

  li    $t1, 0x80                       /* MI_INTR_MASK: let the video interrupt through */
  sw    $t1, MI_INTR_MASK
  mfc0  $t0, $12                        /* STATUS: take the video interrupt (IM2, IE) */
  nop
  ori   $t0, $t0, 0x0401
  mtc0  $t0, $12
  b     next_buffer
  nop

frame:
  jal   draw_frame
  nop
  sw    $s2, VI_ORIGIN                  /* show it; draw the other one next */
next_buffer:
  lui   $t0, (FB0 ^ FB1) >> 16
  xor   $s2, $s2, $t0
idle:
  j     idle                            /* until the video interrupt returns past here */
  nop
  b     frame
  nop

/* Draws the frame for the current time into the buffer at physical address $s2. Keeps its
   return address in $gp, which nothing else uses. */
draw_frame:
  move  $gp, $ra
  lw    $s0, frame_count
  lui   $t0, 0x8000
  or    $s1, $s2, $t0
  jal   read_pad
  nop
  jal   draw_background
  nop
  jal   draw_balls
  nop
  jal   draw_title
  nop
  lw    $s0, STATE_SCROLL_TIME          /* the scroller keeps its own clock */
  jal   draw_scroller
  nop
  jr    $gp
  nop

/* Reads the controller and applies what changed since the last frame: Start freezes or thaws
   the scroller's clock, the stick moves the snake by a sixteenth of its deflection, A moves
   on to the next colour scheme. Keeps its return address in $fp. */
read_pad:
  move  $fp, $ra
  mfc0  $t7, $12                        /* no interrupts while the SI bit is raised */
  nop
  li    $t0, ~1
  and   $t0, $t7, $t0
  mtc0  $t0, $12
  nop
  lui   $t0, %hi(SI_BASE)
  li    $t1, PHYS(PAD_BLOCK)
  sw    $t1, %lo(SI_DRAM_ADDR)($t0)
  li    $t2, PIF_RAM_PHYS
  sw    $t2, %lo(SI_PIF_ADDR_WR64B)($t0)
  li    $t1, PHYS(PAD_ANSWER)
  sw    $t1, %lo(SI_DRAM_ADDR)($t0)
  sw    $t2, %lo(SI_PIF_ADDR_RD64B)($t0)
  sw    $zero, %lo(SI_STATUS)($t0)
  mtc0  $t7, $12
  nop
  lw    $t1, PAD_ANSWER + 4             /* buttons, stick X, stick Y */
  lbu   $t0, PAD_ANSWER + 2             /* the receive length with the chip's flags */
  andi  $t0, $t0, 0xC0
  beqz  $t0, 1f
  nop
  move  $t1, $zero                      /* no controller: at rest */
1:
  lw    $t2, STATE_PAD
  sw    $t1, STATE_PAD
  nor   $t2, $t2, $zero
  and   $t2, $t2, $t1                   /* buttons pressed since the last frame */

  li    $t3, PAD_START
  and   $t3, $t3, $t2
  beqz  $t3, 2f
  nop
  lw    $t3, STATE_FROZEN
  xori  $t3, $t3, 1
  sw    $t3, STATE_FROZEN
2:
  lw    $t3, STATE_LAST_TIME            /* the scroller's clock follows the frames unless frozen */
  sw    $s0, STATE_LAST_TIME
  subu  $t3, $s0, $t3
  lw    $t4, STATE_FROZEN
  bnez  $t4, 3f
  nop
  lw    $t4, STATE_SCROLL_TIME
  addu  $t4, $t4, $t3
  sw    $t4, STATE_SCROLL_TIME
3:
  sll   $t3, $t1, 16
  sra   $t3, $t3, 24                    /* stick X */
  sll   $t4, $t1, 24
  sra   $t4, $t4, 24                    /* stick Y, up positive */
  li    $t5, 16
  div   $zero, $t3, $t5
  mflo  $t3
  div   $zero, $t4, $t5
  mflo  $t4
  lw    $t5, STATE_SNAKE_X
  addu  $t5, $t5, $t3
  clamp $t5, -SNAKE_X_RANGE, SNAKE_X_RANGE, $t6
  sw    $t5, STATE_SNAKE_X
  lw    $t5, STATE_SNAKE_Y
  subu  $t5, $t5, $t4                   /* rows grow downwards */
  clamp $t5, -SNAKE_Y_RANGE, SNAKE_Y_RANGE, $t6
  sw    $t5, STATE_SNAKE_Y

  li    $t3, PAD_A
  and   $t3, $t3, $t2
  beqz  $t3, 5f
  nop
  lw    $t3, STATE_SCHEME
  addiu $t3, $t3, 1
  sltiu $t4, $t3, SCHEMES
  bnez  $t4, 4f
  nop
  move  $t3, $zero
4:
  sw    $t3, STATE_SCHEME
  jal   make_ramps
  nop
5:
  jr    $fp
  nop

/* ------------------------------------------------------------------------------------------ */
/* SINE[i] = sin(2 pi i / 1024), in double precision by rotating (cos, sin) by one step d,
   whose sine and cosine come from their Taylor polynomials. */
make_sine:
  ldc1  $f0, k_step                     /* d */
  mul.d $f2, $f0, $f0                   /* d^2 */
  ldc1  $f10, k_one
  ldc1  $f4, k_inv120
  ldc1  $f6, k_inv6
  mul.d $f8, $f2, $f4
  sub.d $f8, $f6, $f8
  mul.d $f8, $f8, $f2
  sub.d $f8, $f10, $f8
  mul.d $f8, $f8, $f0                   /* sin d = d (1 - d^2 (1/6 - d^2/120)) */
  ldc1  $f4, k_inv24
  ldc1  $f6, k_half
  mul.d $f12, $f2, $f4
  sub.d $f12, $f6, $f12
  mul.d $f12, $f12, $f2
  sub.d $f12, $f10, $f12                /* cos d = 1 - d^2 (1/2 - d^2/24) */
  mov.d $f14, $f10                      /* cos 0 */
  sub.d $f16, $f10, $f10                /* sin 0 */
  li    $t0, SINE
  addiu $t1, $t0, 4096
1:
  cvt.s.d $f18, $f16
  swc1  $f18, 0($t0)
  mul.d $f20, $f14, $f12
  mul.d $f22, $f16, $f8
  mul.d $f24, $f16, $f12
  mul.d $f26, $f14, $f8
  sub.d $f14, $f20, $f22                /* cos(a + d) = cos a cos d - sin a sin d */
  add.d $f16, $f24, $f26                /* sin(a + d) = sin a cos d + cos a sin d */
  addiu $t0, $t0, 4
  bne   $t0, $t1, 1b
  nop
  jr    $ra
  nop

/* RAMPS: a colour cycle of period 512 pixels, each channel a shifted sine, stored twice in a
   row so that any 320-pixel window of it can be copied at once; 16 brightness levels. The
   colours change slowly, so pixels go in pairs: one word each. */
make_ramps:
  li    $t9, SINE
  lw    $t0, STATE_SCHEME               /* 24 bytes a scheme */
  sll   $t1, $t0, 3
  sll   $t0, $t0, 4
  addu  $t0, $t0, $t1
  la    $t1, k_schemes
  addu  $t0, $t0, $t1
  lwc1  $f16, 0($t0)                    /* base and amplitude of red, green and blue */
  lwc1  $f18, 4($t0)
  lwc1  $f20, 8($t0)
  lwc1  $f22, 12($t0)
  lwc1  $f24, 16($t0)
  lwc1  $f26, 20($t0)
  lwc1  $f28, k_dim                     /* brightness of level 0 */
  lwc1  $f30, k_dim_step                /* and its increase per level */
  lwc1  $f12, k_31
  li    $t0, 0                          /* pixel pair */
  li    $t8, RAMPS
ramp_pixel:
  sll   $t1, $t0, 2                     /* phase 4i: one cycle per 256 pairs */
  sine  $f0, $t1, $t2
  addiu $t1, $t1, 340
  sine  $f2, $t1, $t2
  addiu $t1, $t1, 340
  sine  $f4, $t1, $t2
  mul.s $f0, $f0, $f22
  add.s $f0, $f0, $f16
  mul.s $f0, $f0, $f12                  /* red, 0..31 at full brightness */
  mul.s $f2, $f2, $f24
  add.s $f2, $f2, $f18
  mul.s $f2, $f2, $f12
  mul.s $f4, $f4, $f26
  add.s $f4, $f4, $f20
  mul.s $f4, $f4, $f12
  mov.s $f6, $f28
  sll   $t1, $t0, 2
  addu  $t1, $t1, $t8                   /* this pair in level 0 */
  li    $t7, LEVELS
ramp_level:
  mul.s $f8, $f0, $f6
  to_int $t3, $f8, $f10
  mul.s $f8, $f2, $f6
  to_int $t4, $f8, $f10
  mul.s $f8, $f4, $f6
  to_int $t5, $f8, $f10
  sll   $t3, $t3, 11
  sll   $t4, $t4, 6
  sll   $t5, $t5, 1
  or    $t3, $t3, $t4
  or    $t3, $t3, $t5
  ori   $t3, $t3, 1
  sll   $t4, $t3, 16
  or    $t3, $t3, $t4
  sw    $t3, 0($t1)
  sw    $t3, 1024($t1)                  /* the same pair one period on */
  add.s $f6, $f6, $f30
  addiu $t7, $t7, -1
  bnez  $t7, ramp_level
  addiu $t1, $t1, RAMP_BYTES
  addiu $t0, $t0, 1
  li    $t1, 256
  bne   $t0, $t1, ramp_pixel
  nop
  jr    $ra
  nop

/* ROWRAMP: rows are brightest in the middle of the screen and dim towards top and bottom,
   by the square of the distance so that the middle stays bright. */
make_row_ramps:
  li    $t0, ROWRAMP
  li    $t1, 0                          /* row */
  li    $t5, RAMPS
1:
  addiu $t2, $t1, -120                  /* distance from the middle, squared: 0..14400 */
  mult  $t2, $t2
  mflo  $t2
  srl   $t2, $t2, 10                    /* 0..14 */
  li    $t3, LEVELS - 1
  subu  $t3, $t3, $t2                   /* level */
  sll   $t3, $t3, 11
  addu  $t3, $t3, $t5
  sw    $t3, 0($t0)
  addiu $t1, $t1, 1
  li    $t2, ROWS
  bne   $t1, $t2, 1b
  addiu $t0, $t0, 4
  jr    $ra
  nop

/* SPRITES: four balls, each a sphere lit from the upper left with a diffuse and a specular
   term; pixels outside the sphere stay 0. The light is worked out once per pixel for all four. */
make_sprites:
  li    $t8, SPRITES
  lwc1  $f20, k_centre
  lwc1  $f22, k_inv_radius
  lwc1  $f24, k_one_s
  mtc1  $zero, $f26                     /* 0.0 */
  lwc1  $f28, k_31
  lwc1  $f30, k_ambient
  li    $t0, 0                          /* y */
sprite_row:
  mtc1  $t0, $f18
  nop
  cvt.s.w $f18, $f18
  sub.s $f18, $f18, $f20
  mul.s $f18, $f18, $f22                /* dy, -1..1 */
  li    $t1, 0                          /* x */
sprite_pixel:
  mtc1  $t1, $f0
  nop
  cvt.s.w $f0, $f0
  sub.s $f0, $f0, $f20
  mul.s $f0, $f0, $f22                  /* dx */
  mul.s $f2, $f0, $f0
  mul.s $f4, $f18, $f18
  add.s $f2, $f2, $f4                   /* dx^2 + dy^2 */
  c.lt.s $f2, $f24
  bc1t  sprite_lit
  nop
  sh    $zero, 0($t8)                   /* outside: transparent in all four */
  sh    $zero, 2048($t8)
  sh    $zero, 4096($t8)
  b     sprite_next
  sh    $zero, 6144($t8)
sprite_lit:
  sub.s $f6, $f24, $f2
  sqrt.s $f6, $f6                       /* dz */
  lwc1  $f4, k_light
  mul.s $f8, $f0, $f4
  lwc1  $f4, k_light + 4
  mul.s $f4, $f18, $f4
  add.s $f8, $f8, $f4
  lwc1  $f4, k_light + 8
  mul.s $f4, $f6, $f4
  add.s $f8, $f8, $f4                   /* cosine of the light's angle */
  c.lt.s $f8, $f26
  bc1f  1f
  nop
  mov.s $f8, $f26                       /* facing away: no direct light */
1:
  mul.s $f10, $f8, $f8                  /* highlight = cos^32 */
  mul.s $f10, $f10, $f10
  mul.s $f10, $f10, $f10
  mul.s $f10, $f10, $f10
  mul.s $f10, $f10, $f10
  lwc1  $f4, k_shine
  mul.s $f10, $f10, $f4
  sub.s $f12, $f24, $f30
  mul.s $f12, $f12, $f8
  add.s $f12, $f12, $f30                /* diffuse = ambient + (1 - ambient) cos */
  la    $t4, k_ball_colours
  move  $t6, $t8                        /* this pixel of the first ball */
  li    $t7, 4                          /* balls */
sprite_ball:
  li    $t2, 1                          /* alpha */
  li    $t3, 3                          /* channels */
channel:
  lwc1  $f14, 0($t4)
  mul.s $f14, $f14, $f12
  add.s $f14, $f14, $f10
  c.lt.s $f24, $f14
  bc1f  2f
  nop
  mov.s $f14, $f24                      /* at most full intensity */
2:
  mul.s $f14, $f14, $f28
  to_int $t5, $f14, $f16
  sll   $t2, $t2, 5
  or    $t2, $t2, $t5
  addiu $t3, $t3, -1
  bnez  $t3, channel
  addiu $t4, $t4, 4
  sll   $t2, $t2, 1                     /* 1rrrrrgggggbbbbb0 -> rgb and alpha */
  andi  $t5, $t2, 0xFFFE
  srl   $t2, $t2, 16
  or    $t2, $t2, $t5
  sh    $t2, 0($t6)
  addiu $t7, $t7, -1
  bnez  $t7, sprite_ball
  addiu $t6, $t6, 2048
sprite_next:
  addiu $t8, $t8, 2
  addiu $t1, $t1, 1
  li    $t2, 32
  bne   $t1, $t2, sprite_pixel
  nop
  addiu $t0, $t0, 1
  bne   $t0, $t2, sprite_row
  nop
  jr    $ra
  nop

/* ------------------------------------------------------------------------------------------ */
/* Background: row y copies 320 pixels of its ramp from an offset that drifts with time and
   waves with two sines of the row and time, so colour bands flow diagonally across. */
draw_background:
  li    $t9, SINE
  lwc1  $f20, k_wave1
  lwc1  $f22, k_wave2
  li    $t0, 0                          /* row */
  li    $t1, ROWRAMP
  move  $t2, $s1                        /* destination row */
  sll   $t3, $s0, 1
  addu  $t3, $t3, $s0                   /* drift: 3 pixels per frame */
bg_row:
  sll   $t4, $t0, 3
  sll   $t5, $s0, 2
  addu  $t5, $t5, $s0
  addu  $t4, $t4, $t5                   /* 8 y + 5 t */
  sine  $f0, $t4, $t6
  sll   $t4, $t0, 2
  sll   $t5, $s0, 3
  subu  $t4, $t4, $t5                   /* 4 y - 8 t */
  sine  $f2, $t4, $t6
  mul.s $f0, $f0, $f20
  mul.s $f2, $f2, $f22
  add.s $f0, $f0, $f2
  to_int $t4, $f0, $f4
  addu  $t4, $t4, $t3
  srl   $t5, $t0, 1
  addu  $t4, $t4, $t5                   /* + y / 2: the bands lean */
  andi  $t4, $t4, 0x1FE                 /* even: whole words of the ramp */
  sll   $t4, $t4, 1
  lw    $t5, 0($t1)
  addu  $t4, $t4, $t5                   /* source */
  addiu $t5, $t2, STRIDE                /* end of the destination row */
bg_copy:
  lw    $t6, 0($t4)
  lw    $t7, 4($t4)
  lw    $t8, 8($t4)
  lw    $a0, 12($t4)
  lw    $a1, 16($t4)
  lw    $a2, 20($t4)
  lw    $a3, 24($t4)
  lw    $v0, 28($t4)
  sw    $t6, 0($t2)
  sw    $t7, 4($t2)
  sw    $t8, 8($t2)
  sw    $a0, 12($t2)
  sw    $a1, 16($t2)
  sw    $a2, 20($t2)
  sw    $a3, 24($t2)
  sw    $v0, 28($t2)
  addiu $t2, $t2, 32
  bne   $t2, $t5, bg_copy
  addiu $t4, $t4, 32
  addiu $t0, $t0, 1
  li    $t5, ROWS
  bne   $t0, $t5, bg_row
  addiu $t1, $t1, 4
  jr    $ra
  nop

/* Balls: a snake of shaded balls along a Lissajous curve, the tail drawn first so the head
   is on top. */
draw_balls:
  li    $t9, SINE
  lwc1  $f20, k_path                    /* x centre and amplitude, y centre and amplitude */
  lwc1  $f22, k_path + 4
  lwc1  $f24, k_path + 8
  lwc1  $f26, k_path + 12
  lw    $a0, STATE_SNAKE_X
  lw    $a1, STATE_SNAKE_Y
  li    $t8, BALLS - 1
ball:
  sll   $t0, $s0, 2
  sll   $t1, $t8, 5
  subu  $t0, $t0, $t1                   /* phase = 4 t - 32 i */
  sll   $t1, $t0, 1
  addu  $t1, $t1, $t0
  sine  $f0, $t1, $t2                   /* sin(3 phase) */
  sll   $t1, $t0, 1
  addiu $t1, $t1, 256
  sine  $f2, $t1, $t2                   /* cos(2 phase) */
  mul.s $f0, $f0, $f22
  add.s $f0, $f0, $f20
  to_int $t1, $f0, $f4                  /* x */
  addu  $t1, $t1, $a0
  clamp $t1, 0, WIDTH - 32, $t3         /* the whole ball stays on the screen */
  mul.s $f2, $f2, $f26
  add.s $f2, $f2, $f24
  to_int $t2, $f2, $f4                  /* y */
  addu  $t2, $t2, $a1
  clamp $t2, 0, ROWS - 32, $t3
  sll   $t3, $t2, 9
  sll   $t2, $t2, 7
  addu  $t2, $t2, $t3                   /* y * 640 */
  sll   $t1, $t1, 1
  addu  $t1, $t1, $t2
  addu  $t1, $t1, $s1                   /* destination */
  andi  $t0, $t8, 3
  sll   $t0, $t0, 11
  li    $t2, SPRITES
  addu  $t0, $t0, $t2                   /* source */
  li    $t5, 32                         /* rows */
ball_row:
  addiu $t6, $t0, 64                    /* end of the source row */
ball_pixel:
  lhu   $t3, 0($t0)
  addiu $t0, $t0, 2
  beqz  $t3, 1f
  addiu $t1, $t1, 2
  sh    $t3, -2($t1)
1:
  bne   $t0, $t6, ball_pixel
  nop
  addiu $t5, $t5, -1
  bnez  $t5, ball_row
  addiu $t1, $t1, STRIDE - 64
  bnez  $t8, ball
  addiu $t8, $t8, -1
  jr    $ra
  nop

/* Title: each letter three times the font's size, bobbing on its own phase, over a shadow
   that darkens the background. */
draw_title:
  move  $s3, $ra
  li    $s4, 0                          /* letter */
  la    $s5, title_text
title_letter:
  lbu   $t0, 0($s5)
  la    $s6, font - 32 * 8
  sll   $t0, $t0, 3
  addu  $s6, $s6, $t0                   /* glyph */
  li    $t9, SINE
  sll   $t0, $s0, 3
  sll   $t1, $s0, 1
  addu  $t0, $t0, $t1
  sll   $t1, $s4, 7
  subu  $t0, $t0, $t1                   /* phase = 10 t - 128 i */
  sine  $f0, $t0, $t1
  lwc1  $f2, k_bob
  mul.s $f0, $f0, $f2
  to_int $t0, $f0, $f4
  addiu $t0, $t0, 14                    /* top row, 8..20 */
  sll   $t1, $t0, 9
  sll   $t0, $t0, 7
  addu  $t0, $t0, $t1
  addu  $s7, $s1, $t0
  sll   $t0, $s4, 4
  sll   $t1, $s4, 5
  addu  $t0, $t0, $t1                   /* 48 bytes = 24 pixels per letter */
  addu  $s7, $s7, $t0
  addiu $s7, $s7, 64 * 2                /* the title starts at column 64 */
  move  $a0, $s6
  addiu $a1, $s7, 2 * STRIDE + 4        /* shadow two pixels down and right */
  jal   glyph3
  move  $a2, $zero
  move  $a0, $s6
  move  $a1, $s7
  la    $a2, title_colours
  jal   glyph3
  nop
  addiu $s4, $s4, 1
  li    $t0, 8
  bne   $s4, $t0, title_letter
  addiu $s5, $s5, 1
  jr    $s3
  nop

/* Draws glyph $a0 at three times its size with its top-left pixel at $a1: each row in the
   colour of the halfword table at $a2 or, when $a2 is 0, as a shadow halving what is there. */
.macro shade offset
  lhu   $t4, \offset($t1)
  srl   $t4, $t4, 1
  andi  $t4, $t4, 0x7BDE                /* each channel halved, alpha cleared */
  ori   $t4, $t4, 1
  sh    $t4, \offset($t1)
.endm

glyph3:
  li    $t9, 8                          /* rows */
glyph3_row:
  lbu   $t0, 0($a0)
  beqz  $a2, glyph3_bit
  move  $t1, $a1
  lhu   $t2, 0($a2)
glyph3_bit:
  beqz  $t0, glyph3_next
  andi  $t3, $t0, 0x80
  beqz  $t3, glyph3_skip
  nop
  beqz  $a2, glyph3_shadow
  nop
  sh    $t2, 0($t1)
  sh    $t2, 2($t1)
  sh    $t2, 4($t1)
  sh    $t2, STRIDE($t1)
  sh    $t2, STRIDE + 2($t1)
  sh    $t2, STRIDE + 4($t1)
  sh    $t2, 2 * STRIDE($t1)
  sh    $t2, 2 * STRIDE + 2($t1)
  b     glyph3_skip
  sh    $t2, 2 * STRIDE + 4($t1)
glyph3_shadow:
  shade 0
  shade 2
  shade 4
  shade STRIDE
  shade STRIDE + 2
  shade STRIDE + 4
  shade 2 * STRIDE
  shade 2 * STRIDE + 2
  shade 2 * STRIDE + 4
glyph3_skip:
  sll   $t0, $t0, 1
  andi  $t0, $t0, 0xFF
  b     glyph3_bit
  addiu $t1, $t1, 6
glyph3_next:
  beqz  $a2, 1f
  addiu $a0, $a0, 1
  addiu $a2, $a2, 2
1:
  addiu $t9, $t9, -1
  bnez  $t9, glyph3_row
  addiu $a1, $a1, 3 * STRIDE
  jr    $ra
  nop

/* Scroller: the message moves left two pixels a frame in letters twice the font's size;
   every column of pixel pairs rides its own sine, moving with time. */
draw_scroller:
  li    $t9, SINE
  lwc1  $f20, k_wave_height
  li    $t0, WAVE
  li    $t1, 0                          /* pixel pair */
  sll   $t2, $s0, 4                     /* 16 t */
wave:
  sll   $t3, $t1, 3
  sll   $t4, $t1, 2
  addu  $t3, $t3, $t4
  subu  $t3, $t3, $t2                   /* phase = 12 x - 16 t */
  sine  $f0, $t3, $t4
  mul.s $f0, $f0, $f20
  to_int $t3, $f0, $f2
  sll   $t4, $t3, 9
  sll   $t3, $t3, 7
  addu  $t3, $t3, $t4                   /* rows * 640 */
  sw    $t3, 0($t0)
  addiu $t1, $t1, 1
  li    $t3, WIDTH / 2
  bne   $t1, $t3, wave
  addiu $t0, $t0, 4

  move  $fp, $ra
  la    $v0, shadow_colours
  li    $v1, 2 * STRIDE + 4             /* the shadow: two pixels down and right */
  jal   scroll_pass
  li    $a0, WIDTH - 2
  la    $v0, scroll_colours
  li    $v1, 0
  jal   scroll_pass
  li    $a0, WIDTH
  jr    $fp
  nop

/* One pass of the scroller's letters: $v0 = colour table (a word per glyph row), $v1 = offset
   added to each destination, $a0 = first column left out on the right. */
scroll_pass:
  /* $s3 letters left, $s4 text, $s5 letter index, $s6 text length, $s7 screen x */
  sll   $t0, $s0, 1                     /* scrolled pixels */
  srl   $s5, $t0, 4
  la    $s4, scroll_text
  li    $s6, scroll_end - scroll_text
  divu  $zero, $s5, $s6
  mfhi  $s5                             /* first letter shown */
  andi  $t0, $t0, 15
  subu  $s7, $zero, $t0
  li    $s3, WIDTH / 16 + 1
  la    $a1, font - 32 * 8
  li    $a2, WAVE
  li    $a3, SCROLL_Y * STRIDE
  addu  $a3, $a3, $s1
  addu  $a3, $a3, $v1
scroll_letter:
  addu  $t0, $s4, $s5
  lbu   $t0, 0($t0)
  sll   $t0, $t0, 3
  addu  $t0, $t0, $a1                   /* glyph */
  li    $t1, 0x80                       /* column bit */
  move  $t2, $s7                        /* x */
scroll_column:
  bltz  $t2, scroll_next_column
  sltu  $t8, $t2, $a0
  beqz  $t8, scroll_next_column
  srl   $t8, $t2, 1
  sll   $t8, $t8, 2
  addu  $t8, $t8, $a2
  lw    $t8, 0($t8)                     /* this column's wave */
  sll   $t3, $t2, 1
  addu  $t3, $t3, $a3
  addu  $t3, $t3, $t8                   /* destination */
  move  $t4, $t0                        /* glyph row */
  addiu $t9, $t0, 8
  move  $t5, $v0
scroll_row:
  lbu   $t6, 0($t4)
  and   $t6, $t6, $t1
  beqz  $t6, 1f
  lw    $t7, 0($t5)
  sw    $t7, 0($t3)                     /* a 2x2 block: one word per row */
  sw    $t7, STRIDE($t3)
1:
  addiu $t4, $t4, 1
  addiu $t5, $t5, 4
  bne   $t4, $t9, scroll_row
  addiu $t3, $t3, 2 * STRIDE
scroll_next_column:
  srl   $t1, $t1, 1
  bnez  $t1, scroll_column
  addiu $t2, $t2, 2
  addiu $s5, $s5, 1
  bne   $s5, $s6, 2f
  nop
  move  $s5, $zero                      /* the message starts over */
2:
  addiu $s3, $s3, -1
  bnez  $s3, scroll_letter
  addiu $s7, $s7, 16
  jr    $ra
  nop

/* ------------------------------------------------------------------------------------------ */
  .data
  .align 2
frame_count:
  .word 0                               /* video interrupts taken */

  .section .rodata, "a", @progbits
  .align 3
k_step:
  .double 0.0061359231515425649         /* 2 pi / 1024 */
k_one:
  .double 1.0
k_half:
  .double 0.5
k_inv6:
  .double 0.16666666666666667
k_inv24:
  .double 0.041666666666666667
k_inv120:
  .double 0.0083333333333333333
k_schemes:                              /* base, then amplitude, of red, green and blue */
  .float 0.42, 0.30, 0.55, 0.40, 0.28, 0.40   /* violet and teal */
  .float 0.55, 0.35, 0.20, 0.40, 0.30, 0.20   /* embers */
  .float 0.20, 0.50, 0.45, 0.18, 0.40, 0.40   /* sea */
k_dim:
  .float 0.20
k_dim_step:
  .float 0.05
k_31:
  .float 31.0
k_one_s:
  .float 1.0
k_centre:
  .float 15.5
k_inv_radius:
  .float 0.0645161290                   /* 1 / 15.5 */
k_light:
  .float -0.40, -0.48, 0.78
k_ambient:
  .float 0.18
k_shine:
  .float 0.85
k_ball_colours:
  .float 1.00, 0.22, 0.18               /* red */
  .float 1.00, 0.80, 0.15               /* gold */
  .float 0.25, 0.95, 0.35               /* green */
  .float 0.25, 0.50, 1.00               /* blue */
k_wave1:
  .float 40.0
k_wave2:
  .float 24.0
k_path:
  .float 144.0, 128.0, 116.0, 76.0
k_bob:
  .float 6.0
k_wave_height:
  .float 6.0

  .align 1
title_colours:
  .half RGB(31, 31, 22), RGB(31, 30, 16), RGB(31, 27, 10), RGB(31, 23, 6)
  .half RGB(31, 19, 4), RGB(30, 15, 3), RGB(28, 11, 2), RGB(26, 8, 2)
  .align 2
scroll_colours:                         /* two pixels per word */
  .word RGB(18, 28, 31) * 0x10001, RGB(24, 30, 31) * 0x10001
  .word RGB(29, 31, 31) * 0x10001, RGB(31, 31, 31) * 0x10001
  .word RGB(27, 31, 31) * 0x10001, RGB(20, 28, 31) * 0x10001
  .word RGB(14, 22, 31) * 0x10001, RGB(10, 17, 31) * 0x10001
shadow_colours:
  .word RGB(1, 1, 4) * 0x10001, RGB(1, 1, 4) * 0x10001, RGB(1, 1, 4) * 0x10001
  .word RGB(1, 1, 4) * 0x10001, RGB(1, 1, 4) * 0x10001, RGB(1, 1, 4) * 0x10001
  .word RGB(1, 1, 4) * 0x10001, RGB(1, 1, 4) * 0x10001
  .align 3
/* Read buttons on port 1 after one byte of padding, so that the reply is the second word. */
pad_command:
  .byte 0xFF, 0x01, 0x04, 0x01, 0x00, 0x00, 0x00, 0x00, 0xFE
  .fill 54, 1, 0
  .byte 0x01
title_text:
  .ascii "VANTOR64"
scroll_text:
  .ascii "WELCOME TO VANTOR64, A NINTENDO 64 EMULATOR FOR LINUX!     "
  .ascii "EVERY PIXEL OF THIS DEMO IS DRAWN BY THE EMULATED MIPS R4300I: "
  .ascii "ITS FLOATING-POINT UNIT WORKS OUT THE SINE WAVES AND THE SHADED BALLS, "
  .ascii "AND EACH FRAME WAITS FOR THE VIDEO INTERRUPT.     "
  .ascii "OPEN A ROM IMAGE TO BEGIN ...          "
scroll_end:
