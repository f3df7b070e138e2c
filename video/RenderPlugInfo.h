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

// The interface version the host asks for; a plug-in refuses any larger version.
inline constexpr int32_t kRendererInterfaceVersion = 1;

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
// Optional, looked up but never called; their arguments are not fixed.
using TSetPalette = void (*)();
using TSetPaletteIndex = void (*)();

}  // extern "C"

// The entries in the order the host resolves them; SetPalette and SetPaletteIndex are optional.
enum TRendererEntry : size_t {
  kLoadRendererEntry,
  kUnloadRendererEntry,
  kInitRendererEntry,
  kDeInitRendererEntry,
  kSetTargetRectEntry,
  kSetPaletteEntry,
  kSetPaletteIndexEntry,
  kFlipEntry,
  kRendererEntryCount,
};
inline constexpr std::array<const char*, kRendererEntryCount> kRendererEntryNames = {
    "LoadRenderer",  "UnloadRenderer", "InitRenderer",    "DeInitRenderer",
    "SetTargetRect", "SetPalette",     "SetPaletteIndex", "Flip",
};

}  // namespace vantor
