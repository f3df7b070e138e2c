// The command decoder: how long each command is, and what it does to the state, TMEM and the
// picture. Internal to rdp/.
#pragma once

#include <cstdint>

namespace vantor::rdp {

// The longest command: a shaded, textured, depth-buffered triangle.
inline constexpr uint32_t kMaxCommandWords = 22;

inline constexpr uint32_t kSyncFull = 0x29;

// 64-bit words of the command whose first word has this id (bits 61-56).
uint32_t CommandWords(uint32_t id);

// Carries out one whole command; returns the display processor cycles it took.
uint64_t ExecuteCommand(const uint64_t* words);

// Every mode, colour, tile and image back to zero, TMEM cleared.
void ResetState();

}  // namespace vantor::rdp
