// The boundary between the emulator and its renderer plug-in, compiled into both: the info record
// the plug-in hands back, the interface version, and the signatures of the functions the host
// looks up by name. Self-contained on purpose: the host includes it without any X11 header.
//
// Calling convention: every entry is a plain C function (extern "C", the platform's System V
// calling convention, no name decoration), looked up with dlsym under the names below.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace vantor {

// The interface version the host asks for; a plug-in refuses any larger version. Version 2 adds
// the optional FlipFrame entry; a plug-in without it is a version 1 plug-in and gets Flip.
inline constexpr int32_t kRendererInterfaceVersion = 2;

// The plug-in library, relative to the working directory (then to the executable's folder).
inline constexpr const char* kRendererLibraryPath = "Video/Vid_Prism.so";

// When this environment variable names a file, the plug-in appends its messages to it (one line
// each) instead of showing a dialog: a host with nobody to answer one sets it before loading.
inline constexpr char kRendererMessageFileVariable[] = "VID_PRISM_MESSAGE_FILE";

// Static data inside the plug-in, valid while the library is loaded; the host never frees or
// changes it. The texts are zero-terminated 8-bit strings.
struct TRendererInfo {
  const char* Description;  // also the caption of every message the plug-in shows
  const char* Author;       // name and contact address
  int32_t Version;          // the renderer interface version
  uint32_t DateCode;        // hexadecimal digits spell the date, 0x20000620 = 2000-06-20
};

// A window handle is an X window id. Xlib's XID is an unsigned long, 64 bits on 64-bit Linux,
// though the protocol uses only the low 29 bits; 0 means no window.
using TWindowHandle = uint64_t;

// The pixel formats of a described frame. 5-5-5-1: two pixels to a host word, the first in bits
// 31-16, each red in bits 15-11, green 10-6, blue 5-1, alpha 0. 8-8-8-8: one pixel to a host
// word, red in bits 31-24, green 23-16, blue 15-8, alpha 7-0.
enum TFrameFormat : int32_t {
  kFrameRgba5551 = 0,
  kFrameRgba8888 = 1,
};

// A frame as the video interface shows it: Width x Height pixels of Format, the first at Pixels,
// each row StrideBytes after the one before (a multiple of 4), to be shown at ShowWidth x
// ShowHeight (the plug-in scales to its target rectangle as with Flip). Width and Height are the
// size the last InitRenderer was given.
struct TFrameDescription {
  int32_t Format;
  int32_t Width;
  int32_t Height;
  int32_t StrideBytes;
  const void* Pixels;
  int32_t ShowWidth;
  int32_t ShowHeight;
};

extern "C" {

// Null for a refused version or a display that cannot be acquired.
using TLoadRenderer = const TRendererInfo* (*)(int32_t requestedVersion);
using TUnloadRenderer = void (*)();
// 1 when ready to present Width x Height frames, 0 on failure. ClipWindow 0: no clipping window.
using TInitRenderer = int32_t (*)(int32_t width, int32_t height, TWindowHandle coopWindow,
                                  TWindowHandle clipWindow);
using TDeInitRenderer = void (*)();
// Screen pixels; right and bottom (Left + Width, Top + Height) are exclusive.
using TSetTargetRect = void (*)(int32_t left, int32_t top, int32_t width, int32_t height);
// The frame: Width x Height 5-5-5-1 pixels in host words, two per word, the first in bits 31-16.
// 0 when the frame was shown, otherwise the code of the failure and the frame is dropped.
using TFlip = int32_t (*)(const void* frameBuffer);
// Optional (version 2): shows a described frame; 0 when shown, like Flip.
using TFlipFrame = int32_t (*)(const TFrameDescription* frame);
// Optional, looked up but never called; their arguments are not fixed.
using TSetPalette = void (*)();
using TSetPaletteIndex = void (*)();

}  // extern "C"

// The entries in the order the host resolves them; SetPalette, SetPaletteIndex and FlipFrame are
// optional.
enum TRendererEntry : size_t {
  kLoadRendererEntry,
  kUnloadRendererEntry,
  kInitRendererEntry,
  kDeInitRendererEntry,
  kSetTargetRectEntry,
  kSetPaletteEntry,
  kSetPaletteIndexEntry,
  kFlipEntry,
  kFlipFrameEntry,
  kRendererEntryCount,
};
inline constexpr std::array<const char*, kRendererEntryCount> kRendererEntryNames = {
    "LoadRenderer", "UnloadRenderer",  "InitRenderer", "DeInitRenderer", "SetTargetRect",
    "SetPalette",   "SetPaletteIndex", "Flip",         "FlipFrame",
};

}  // namespace vantor
