// The whole emulated machine as save-state sections, and back: the processor with its branch
// state and frame countdown, the TLB and the map pages it changed, and the storage of every
// block of MemoryMap except the cartridge (the ROM identity stands for it) and the dummy page.
#pragma once

#include <memory>
#include <string>

#include "common/StateFile.h"

namespace vantor {

// The loaded ROM's name and hash, and this program's version.
TStateIdentity LoadedRomIdentity();

// A snapshot of the machine. Only between two steps of the emulation thread, or while no run
// exists and a run has built the map.
TStateImage CaptureMachine();

// Whether the image fits this machine and the loaded ROM: empty when it does, else the reason.
// Touches nothing.
std::string CheckMachineImage(const TStateImage& image);

// Puts the machine in the image's state and rebuilds the map. Only for an image that
// CheckMachineImage accepted, at the times CaptureMachine may run.
void RestoreMachine(const TStateImage& image);

// Reads a state file and checks all of it against this machine and the loaded ROM; null, with
// the reason, when it cannot be read or does not fit.
std::shared_ptr<const TStateImage> ReadMachineState(const std::string& path, std::string& error);
// Writes the image as a state file, atomically; false with the reason on failure.
bool WriteMachineState(const std::string& path, const TStateImage& image, std::string& error);

}  // namespace vantor
