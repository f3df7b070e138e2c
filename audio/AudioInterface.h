// The console's audio interface as the accurate-hardware mode runs it: a DMA that fetches
// 16-bit stereo frames from RDRAM at the rate of its DAC, a queue of two buffers (one playing,
// one waiting), the AI interrupt through MI_INTR as each buffer starts, and the buffers' progress
// as events on the machine clock. What plays goes to the installed audio sink.
//
// Registers (offsets in the AI range):
//   0x00 AI_DRAM_ADDR  write: RDRAM address of the next buffer (24 bits, 8-byte aligned)
//   0x04 AI_LEN        write: queues a buffer of this many bytes (bits 17-3) at AI_DRAM_ADDR;
//                      read: bytes of the playing buffer still to play, in steps of 8
//   0x08 AI_CONTROL    write: bit 0 enables the DMA
//   0x0C AI_STATUS     read: bit 31 and bit 0 full (two buffers), bit 30 busy (one playing),
//                      bit 25 DMA enabled; write: acknowledges the AI interrupt
//   0x10 AI_DACRATE    write: the DAC plays video clock / (value + 1) frames a second (14 bits)
//   0x14 AI_BITRATE    write: the serial bit clock's divider (4 bits); it changes no timing here
// The write-only registers read as AI_LEN; other offsets read 0 and ignore writes.
#pragma once

#include <cstdint>
#include <string>

#include "common/StateFile.h"

namespace vantor {

// The video clocks the DAC rate divides, in Hz.
inline constexpr uint32_t kNtscVideoClockHz = 48'681'812;
inline constexpr uint32_t kPalVideoClockHz = 49'656'530;

// Frames played between two hand-overs to the audio sink while a buffer plays; a buffer's end
// hands over the rest.
inline constexpr uint32_t kAudioChunkFrames = 256;

// A new run: no buffer, DMA off, rates 0, the event handler registered on the machine clock.
void AudioReset(uint32_t videoClockHz);
// The video clock of the loaded cartridge's standard, kept across a restored state.
void SetAudioVideoClock(uint32_t videoClockHz);

// The register handlers, of the address map's handler types.
uint32_t AudioRead(uint32_t page, uint32_t offset);
void AudioWrite(uint32_t page, uint32_t offset, uint32_t value);

// Hands the frames of the playing buffer that have played by now to the sink (the runner does
// so when its run ends).
void AudioFlushPlayed();

// The frame rate of the DAC as now set.
double AudioFrameRate();

// The state as the save-state section "ai", its check (empty when it fits, else the reason), and
// back. Restoring reschedules the buffer's event on the machine clock.
TStateSection CaptureAudio();
// The section's size in bytes.
uint32_t AudioStateSize();
std::string CheckAudio(const TStateSection& section);
void RestoreAudio(const TStateSection& section);

}  // namespace vantor
