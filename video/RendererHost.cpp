#include "video/RendererHost.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <mutex>

#include "common/DebugLog.h"
#include "common/HexText.h"
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
  if (RendererEntries.LoadRenderer) RendererEntries.LoadRenderer(kRendererInterfaceVersion);
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
  }
}

bool PresentFrame() {
  std::lock_guard lock(pluginLock);
  if (!RendererReady || !RendererEntries.Flip) return false;
  const void* frame = FrameBufferAddress();
  if (frame == nullptr) return false;
  TScreenRect rect = LatestTargetRect();
  if (rect.Width <= 0 || rect.Height <= 0) {
    rect.Width = frameWidth;
    rect.Height = frameHeight;
  }
  if (RendererEntries.SetTargetRect)
    RendererEntries.SetTargetRect(rect.Left, rect.Top, rect.Width, rect.Height);
  RendererEntries.Flip(frame);
  presentedFrames.fetch_add(1, std::memory_order_release);
  return true;
}

uint32_t PresentedFrames() {
  return presentedFrames.load(std::memory_order_acquire);
}

}  // namespace vantor
