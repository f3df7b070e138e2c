// The host side of the renderer plug-in: binding the library, the entry table, the ready flag,
// the window handles and target rectangle, and the serialised calls into the plug-in.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "video/RenderPlugInfo.h"

namespace vantor {

struct TRendererEntries {
  void* Library = nullptr;  // dlopen handle; null for a built-in renderer or none
  TLoadRenderer LoadRenderer = nullptr;
  TUnloadRenderer UnloadRenderer = nullptr;
  TInitRenderer InitRenderer = nullptr;
  TDeInitRenderer DeInitRenderer = nullptr;
  TSetTargetRect SetTargetRect = nullptr;
  TSetPalette SetPalette = nullptr;
  TSetPaletteIndex SetPaletteIndex = nullptr;
  TFlip Flip = nullptr;
  TFlipFrame FlipFrame = nullptr;  // optional: a version 2 plug-in's described frames
};

struct TScreenRect {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Width = 0;  // an empty rectangle means the frame's own size at Left, Top
  int32_t Height = 0;
};

// Set by the binding functions and used by the run's calls, all under the one plug-in lock.
extern TRendererEntries RendererEntries;
// True between a successful InitRenderer and the next DeInitRenderer.
extern std::atomic<bool> RendererReady;

// Binds Video/Vid_Prism.so, relative to the working directory, then to executableDir, then where
// an install puts it (../lib/vantor64/Video/Vid_Prism.so from executableDir). A library or required
// name that cannot be found gets one console line; its entries stay empty and are never called.
// Returns true when all six functions were found.
bool BindRenderer(const std::string& executableDir);
// Binds the library at exactly this path.
bool BindRendererLibrary(const std::string& path);
// Uses functions linked into the program instead of a library.
void BindBuiltInRenderer(const TRendererEntries& entries);
// Releases the library (program end).
void ReleaseRenderer();

// The window handles handed to InitRenderer (0: no window).
void SetRendererWindows(TWindowHandle coopWindow, TWindowHandle clipWindow);
// The drawing area in screen pixels, published by the main thread whenever it moves or resizes.
void PublishTargetRect(const TScreenRect& rect);
TScreenRect LatestTargetRect();

// The run's plug-in calls. Each holds the one plug-in lock, so Force Render from the main thread
// never overlaps the emulation thread's calls, and each skips an empty entry.
void RendererLoad();
void RendererUnload();
// DeInitRenderer when ready, then InitRenderer(width, height); ready only when it succeeded.
// A failed InitRenderer sets the status text kNoPictureStatus.
void RendererResize(int32_t width, int32_t height);
inline constexpr const char* kNoPictureStatus =
    "No picture can be shown: the renderer plug-in could not start (its message says why)";
void RendererDeInit();
// SetTargetRect with the latest rectangle and the frame, when ready and when the whole frame lies
// in host-contiguous emulated memory (a frame that would leave it is dropped, with one console
// line per run). The default machine's frame is the 16-bit one at VI_ORIGIN, handed to Flip.
// With described frames on (the accurate mode) it is the picture the video interface describes,
// handed to FlipFrame when the plug-in has it, otherwise turned into a packed 16-bit frame for
// Flip; a picture of another size than the renderer's waits for its re-initialisation. True when
// the frame was handed over.
bool PresentFrame();
// Chooses the frame PresentFrame hands over for the run about to start.
void UseDescribedFrames(bool on);
// How many times Flip has run since the program started; read from any thread.
uint32_t PresentedFrames();

}  // namespace vantor
