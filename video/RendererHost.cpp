#include "video/RendererHost.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <mutex>
#include <vector>

#include "common/DebugLog.h"
#include "common/HexText.h"
#include "common/Host.h"
#include "memory/AccurateVideo.h"
#include "memory/AddressMap.h"
#include "memory/VideoInterface.h"

namespace vantor {

TRendererEntries RendererEntries;
std::atomic<bool> RendererReady{false};

namespace {

// Serialises every call into the plug-in and guards RendererEntries and the state below.
std::mutex pluginLock;
TWindowHandle coopWindowHandle = 0;
TWindowHandle clipWindowHandle = 0;
int32_t frameWidth = 0;
int32_t frameHeight = 0;
bool reportedBadFrame = false;
std::atomic<uint32_t> presentedFrames{0};
bool describedFrames = false;
bool flipFrameTaken = false;  // the plug-in loaded at version 2 and has FlipFrame
// Pictures whose memory layout a plug-in cannot take as it is, packed. Needs pluginLock.
std::vector<uint32_t> packedFrame;

std::mutex rectLock;
TScreenRect targetRect;

// The host address of the frame VI_ORIGIN designates (read through the cached segment), or null
// when its pixels do not all lie in host-contiguous storage. Needs pluginLock.
const void* FrameBufferAddress() {
  const uint32_t origin = VIOrigin() | 0x80000000;
  const uint64_t bytes =
      uint64_t{static_cast<uint32_t>(frameWidth)} * static_cast<uint32_t>(frameHeight) * 2;
  if (bytes > UINT32_MAX || ContiguousBytes(origin, static_cast<uint32_t>(bytes)) < bytes) {
    if (!reportedBadFrame)
      DbgAddLine("Frame buffer at " + Hex8(origin) + " leaves emulated memory, frame not shown");
    reportedBadFrame = true;
    return nullptr;
  }
  return HostAddress(origin);
}

template <typename Entry>
Entry Resolve(void* library, TRendererEntry entry) {
  return reinterpret_cast<Entry>(dlsym(library, kRendererEntryNames[entry]));
}

// Every binding goes through here: the table changes under the plug-in lock, and from now on a
// new width in the video interface re-initialises the renderer.
void InstallEntries(const TRendererEntries& entries) {
  {
    std::lock_guard lock(pluginLock);
    RendererEntries = entries;
  }
  SetResolutionChange(RendererResize);
}

// dlopen opens a file before it looks at it: a FIFO would hold it waiting for a writer for good.
// True for what may be handed to it: a search name, a missing path, a file or a folder (whose
// failures dlopen explains itself).
bool MayOpenAsLibrary(const std::string& path) {
  struct stat info {};
  if (path.find('/') == std::string::npos || stat(path.c_str(), &info) != 0) return true;
  return S_ISREG(info.st_mode) || S_ISDIR(info.st_mode);
}

bool ResolveAll(void* library, const std::string& path) {
  TRendererEntries e;
  e.Library = library;
  e.LoadRenderer = Resolve<TLoadRenderer>(library, kLoadRendererEntry);
  e.UnloadRenderer = Resolve<TUnloadRenderer>(library, kUnloadRendererEntry);
  e.InitRenderer = Resolve<TInitRenderer>(library, kInitRendererEntry);
  e.DeInitRenderer = Resolve<TDeInitRenderer>(library, kDeInitRendererEntry);
  e.SetTargetRect = Resolve<TSetTargetRect>(library, kSetTargetRectEntry);
  e.SetPalette = Resolve<TSetPalette>(library, kSetPaletteEntry);
  e.SetPaletteIndex = Resolve<TSetPaletteIndex>(library, kSetPaletteIndexEntry);
  e.Flip = Resolve<TFlip>(library, kFlipEntry);
  e.FlipFrame = Resolve<TFlipFrame>(library, kFlipFrameEntry);
  InstallEntries(e);

  // The palette names are optional; a missing one is no fault.
  const void* required[] = {
      reinterpret_cast<void*>(e.LoadRenderer),  reinterpret_cast<void*>(e.UnloadRenderer),
      reinterpret_cast<void*>(e.InitRenderer),  reinterpret_cast<void*>(e.DeInitRenderer),
      reinterpret_cast<void*>(e.SetTargetRect), reinterpret_cast<void*>(e.Flip)};
  const TRendererEntry requiredNames[] = {kLoadRendererEntry,  kUnloadRendererEntry,
                                          kInitRendererEntry,  kDeInitRendererEntry,
                                          kSetTargetRectEntry, kFlipEntry};
  bool complete = true;
  for (size_t i = 0; i < std::size(required); ++i) {
    if (required[i] != nullptr) continue;
    DbgAddLine("Renderer " + path + " has no function " + kRendererEntryNames[requiredNames[i]]);
    complete = false;
  }
  return complete;
}

}  // namespace

bool BindRendererLibrary(const std::string& path) {
  ReleaseRenderer();
  if (!MayOpenAsLibrary(path)) {
    DbgAddLine("Renderer " + path + " could not be loaded: it is not a regular file");
    return false;
  }
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    const char* reason = dlerror();
    DbgAddLine("Renderer " + path + " could not be loaded: " + (reason ? reason : "unknown"));
    return false;
  }
  return ResolveAll(library, path);
}

// The plug-in in an installed tree, relative to the folder of the executables.
constexpr const char* kInstalledRendererPath = "../lib/vantor64/Video/Vid_Prism.so";

bool BindRenderer(const std::string& executableDir) {
  ReleaseRenderer();
  const std::string candidates[] = {kRendererLibraryPath,
                                    executableDir + "/" + kRendererLibraryPath,
                                    executableDir + "/" + kInstalledRendererPath};
  const char* reason = "it is not a regular file";
  for (const std::string& path : candidates) {
    if (!MayOpenAsLibrary(path)) continue;
    if (void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL))
      return ResolveAll(library, path);
    reason = dlerror();
  }
  DbgAddLine(std::string("Renderer ") + kRendererLibraryPath +
             " could not be loaded: " + (reason ? reason : "unknown") + "; running without video");
  return false;
}

void BindBuiltInRenderer(const TRendererEntries& entries) {
  ReleaseRenderer();
  TRendererEntries builtIn = entries;
  builtIn.Library = nullptr;
  InstallEntries(builtIn);
}

void ReleaseRenderer() {
  std::lock_guard lock(pluginLock);
  if (RendererEntries.Library != nullptr) dlclose(RendererEntries.Library);
  RendererEntries = {};
  RendererReady = false;
}

void SetRendererWindows(TWindowHandle coopWindow, TWindowHandle clipWindow) {
  std::lock_guard lock(pluginLock);
  coopWindowHandle = coopWindow;
  clipWindowHandle = clipWindow;
}

void PublishTargetRect(const TScreenRect& rect) {
  std::lock_guard lock(rectLock);
  targetRect = rect;
}

TScreenRect LatestTargetRect() {
  std::lock_guard lock(rectLock);
  return targetRect;
}

void RendererLoad() {
  std::lock_guard lock(pluginLock);
  flipFrameTaken = false;
  if (RendererEntries.LoadRenderer) {
    // A plug-in without FlipFrame is one of version 1, asked for the version it has (it would
    // refuse a later one with a message). One that refuses version 2 is taken as version 1 too.
    if (RendererEntries.FlipFrame != nullptr &&
        RendererEntries.LoadRenderer(kRendererInterfaceVersion) != nullptr)
      flipFrameTaken = true;
    else
      RendererEntries.LoadRenderer(1);
  }
  RendererReady = false;
  reportedBadFrame = false;
}

void RendererUnload() {
  std::lock_guard lock(pluginLock);
  if (RendererEntries.UnloadRenderer) RendererEntries.UnloadRenderer();
}

void RendererDeInit() {
  std::lock_guard lock(pluginLock);
  if (RendererReady && RendererEntries.DeInitRenderer) RendererEntries.DeInitRenderer();
  RendererReady = false;
}

void RendererResize(int32_t width, int32_t height) {
  std::lock_guard lock(pluginLock);
  if (RendererReady && RendererEntries.DeInitRenderer) RendererEntries.DeInitRenderer();
  RendererReady = false;
  if (!RendererEntries.InitRenderer) return;
  // A plug-in whose InitRenderer failed has nothing to Flip into: it stays not ready.
  if (RendererEntries.InitRenderer(width, height, coopWindowHandle, clipWindowHandle) != 0) {
    frameWidth = width;
    frameHeight = height;
    RendererReady = true;
  } else {
    SetStatusText(kNoPictureStatus);
  }
}

namespace {

// The 16-bit pixel at RDRAM byte offset `at` from the word-aligned host words `words`: RDRAM
// keeps big-endian words as host words, so the even halfword is the upper half.
uint32_t Pixel16(const uint32_t* words, uint32_t at) {
  const uint32_t word = words[at / 4];
  return (at & 2) != 0 ? word & 0xFFFF : word >> 16;
}

uint32_t To5551(uint32_t rgba) {
  return (rgba >> 16 & 0xF800) | (rgba >> 13 & 0x07C0) | (rgba >> 10 & 0x003E) | (rgba >> 7 & 1);
}

// Packs the picture into packedFrame, each row starting at a new word when `rowsAligned`,
// otherwise pixel after pixel as Flip takes them; 8-8-8-8 pixels become 5-5-5-1 unless kept.
void PackPicture(const TViPicture& picture, const uint32_t* words, uint32_t lead, bool rowsAligned,
                 bool keep32) {
  const auto width = static_cast<uint32_t>(picture.width);
  const auto height = static_cast<uint32_t>(picture.height);
  const bool wide = picture.format == TViFormat::Rgba8888;
  if (wide && keep32) {
    packedFrame.resize(size_t{width} * height);
    for (uint32_t y = 0; y < height; ++y)
      for (uint32_t x = 0; x < width; ++x)
        packedFrame[size_t{y} * width + x] = words[(lead + y * picture.strideBytes) / 4 + x];
    return;
  }
  const uint32_t rowPixels = rowsAligned ? (width + 1) / 2 * 2 : width;
  packedFrame.assign((size_t{rowPixels} * height + 1) / 2, 0);
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      const uint32_t at = lead + y * picture.strideBytes + x * (wide ? 4 : 2);
      const uint32_t pixel = wide ? To5551(words[at / 4]) : Pixel16(words, at);
      const size_t index = size_t{y} * rowPixels + x;
      packedFrame[index / 2] |= pixel << ((index & 1) != 0 ? 0 : 16);
    }
  }
}

// Hands the video interface's picture to the plug-in. Needs pluginLock.
bool FlipDescribed() {
  TViPicture picture;
  if (!DescribeViPicture(picture) || picture.width != frameWidth || picture.height != frameHeight)
    return false;
  const bool wide = picture.format == TViFormat::Rgba8888;
  const uint32_t origin = (picture.origin & (wide ? ~3u : ~1u)) | 0x80000000;
  const uint64_t bytes = uint64_t{picture.strideBytes} * static_cast<uint32_t>(picture.height - 1) +
                         uint64_t{static_cast<uint32_t>(picture.width)} * (wide ? 4 : 2);
  const uint32_t first = origin & ~3u, lead = origin & 3;
  if (bytes + lead > UINT32_MAX ||
      ContiguousBytes(first, static_cast<uint32_t>(bytes + lead)) < bytes + lead) {
    if (!reportedBadFrame)
      DbgAddLine("Frame buffer at " + Hex8(origin) + " leaves emulated memory, frame not shown");
    reportedBadFrame = true;
    return false;
  }
  const auto* words = reinterpret_cast<const uint32_t*>(HostAddress(first));
  if (flipFrameTaken) {
    TFrameDescription frame{wide ? kFrameRgba8888 : kFrameRgba5551,
                            picture.width,
                            picture.height,
                            static_cast<int32_t>(picture.strideBytes),
                            words,
                            picture.showWidth,
                            picture.showHeight};
    if (lead != 0 || picture.strideBytes % 4 != 0) {
      PackPicture(picture, words, lead, true, true);
      frame.StrideBytes = wide ? picture.width * 4 : (picture.width + 1) / 2 * 4;
      frame.Pixels = packedFrame.data();
    }
    RendererEntries.FlipFrame(&frame);
    return true;
  }
  if (!wide && lead == 0 && picture.strideBytes == static_cast<uint32_t>(picture.width) * 2) {
    RendererEntries.Flip(words);
  } else {
    PackPicture(picture, words, lead, false, false);
    RendererEntries.Flip(packedFrame.data());
  }
  return true;
}

}  // namespace

bool PresentFrame() {
  std::lock_guard lock(pluginLock);
  if (!RendererReady || !RendererEntries.Flip) return false;
  const void* frame = nullptr;
  if (!describedFrames) {
    frame = FrameBufferAddress();
    if (frame == nullptr) return false;
  }
  TScreenRect rect = LatestTargetRect();
  if (rect.Width <= 0 || rect.Height <= 0) {
    rect.Width = frameWidth;
    rect.Height = frameHeight;
  }
  if (RendererEntries.SetTargetRect)
    RendererEntries.SetTargetRect(rect.Left, rect.Top, rect.Width, rect.Height);
  if (describedFrames) {
    if (!FlipDescribed()) return false;
  } else {
    RendererEntries.Flip(frame);
  }
  presentedFrames.fetch_add(1, std::memory_order_release);
  return true;
}

void UseDescribedFrames(bool on) {
  std::lock_guard lock(pluginLock);
  describedFrames = on;
}

uint32_t PresentedFrames() {
  return presentedFrames.load(std::memory_order_acquire);
}

}  // namespace vantor
