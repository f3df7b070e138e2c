// Vid_Prism's renderer on X11, behind the seven exported functions (VidPrism.cpp). One set of
// state per process; calls must not overlap. Exposed here for the tests and the benchmark.
//
// What stands for each display object: the display object is the plug-in's own connection to the
// X server; its version-4 interface is the RENDER (and, when present, MIT-SHM) extension on that
// connection; the primary surface is a RENDER picture on the desktop's root window; the clipper,
// once bound and attached, is a picture on the clip window, which the server clips to that
// window's visible part, and the only place frames are drawn; the back buffer is a frame-sized
// image in the drawing window's pixel format (in shared memory when possible) with a pixmap of that
// size that the frame is scaled from.
#pragma once

#include <cstdint>

#include "video/RenderPlugInfo.h"

namespace vantor::prism {

extern const TRendererInfo RendererInfo;

// Flip's codes for a dropped frame.
inline constexpr int32_t kFlipNotReady = 1;  // not initialised, no conversion, or no frame
inline constexpr int32_t kFlipBusy = 2;      // the server has not yet taken the previous frame
// No clip window, a clip window that is gone, or an empty or unusable target rectangle.
inline constexpr int32_t kFlipNoTarget = 3;

const TRendererInfo* Load(int32_t requestedVersion);
void Unload();
int32_t Init(int32_t width, int32_t height, TWindowHandle coopWindow, TWindowHandle clipWindow);
void DeInit();
void SetTargetRect(int32_t left, int32_t top, int32_t width, int32_t height);
int32_t Flip(const void* frameBuffer);
// Shows a described frame (version 2): 5-5-5-1 or 8-8-8-8 pixels of the size Init was given,
// converted to the display's depth and scaled to the target as Flip does; Flip's codes.
int32_t FlipFrame(const TFrameDescription* frame);

// What is held, as bits.
enum THeld : unsigned {
  kHeldDisplay = 1,
  kHeldExtensions = 2,
  kHeldPrimary = 4,
  kHeldClipper = 8,
  kHeldBackBuffer = 16,
};
unsigned Held();
// Whether the back buffer lives in shared memory; false without one.
bool UsesSharedMemory();
// Waits until the server has carried out every request so far, so a busy back buffer is free.
void WaitForServer();

}  // namespace vantor::prism
