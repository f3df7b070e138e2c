#include "plugin/Prism.h"

#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <optional>

#include "pixels/XLaters.h"
#include "plugin/PrismMessage.h"
#include "plugin/PrismSurfaces.h"

namespace vantor::prism {

const TRendererInfo RendererInfo = {
    RendererCaption,
    "Vantor64 developers <vantor64@example.org>",
    kRendererInterfaceVersion,
    0x20000620,
};

namespace {

constexpr int32_t kMaxCoordinate = std::numeric_limits<int16_t>::max();
constexpr int32_t kMinCoordinate = std::numeric_limits<int16_t>::min();

struct TPrimary {
  TDrawable target;
  Picture picture = 0;
};

// Bound when it knows its window, attached once it has a picture on it; gone once the server
// reports the window destroyed.
struct TClipper {
  TDrawable target;
  Picture picture = 0;
  bool gone = false;
};

struct TRect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
  bool operator==(const TRect&) const = default;
};

Display* display = nullptr;   // the display object
bool extensionsHeld = false;  // its version-4 interface
bool sharedMemoryPresent = false;
int shmCompletionType = 0;
std::optional<TPrimary> primarySurface;
std::unique_ptr<TClipper> clipper;
std::optional<TBackBuffer> backBuffer;
const TXLaterInfo* activeXLater = nullptr;  // belongs to the back buffer it was chosen for

TRect targetRect;  // screen coordinates
bool targetDirty = true;
TRect placement;  // the target in the drawing window's coordinates; empty when unusable

bool ClipperAttached() {
  return clipper != nullptr && clipper->picture != 0;
}

// The window whose format the back buffer takes: the clip window once the clipper is attached,
// else the desktop's. Frames are drawn only into an attached clip window.
const TDrawable& DrawTarget() {
  return ClipperAttached() ? clipper->target : primarySurface->target;
}

void ReleasePrimary() {
  if (!primarySurface) return;
  XRenderFreePicture(display, primarySurface->picture);
  primarySurface.reset();
}

// The rectangle is placed by translating screen coordinates into the window, which holds only
// while the window stays where it is: a move or resize, told by the window's structure events,
// places it again. A window manager reports a move of the frame around the window with a
// synthetic event to every client that listens.
void WatchClipWindow(Window window) {
  XSelectInput(display, window, StructureNotifyMask);
}

// Takes the clip window's structure events out of the queue; true when there were any.
bool TakeStructureEvents(TClipper& clip) {
  bool any = false;
  XEvent event;
  while (XCheckWindowEvent(display, clip.target.window, StructureNotifyMask, &event)) {
    any = true;
    if (event.type == DestroyNotify) clip.gone = true;
  }
  return any;
}

void ReleaseClipper() {
  if (clipper == nullptr) return;
  if (clipper->picture != 0) {
    // A window destroyed before its picture took the picture with it: that error is expected.
    TErrorTrap trap(display);
    XRenderFreePicture(display, clipper->picture);
    TakeStructureEvents(*clipper);
    trap.Failed();
  }
  clipper.reset();
}

void ReleaseBack() {
  if (!backBuffer) return;
  ReleaseBackBuffer(display, *backBuffer);
  backBuffer.reset();
  activeXLater = nullptr;
}

void ReleaseSurfaces() {
  ReleaseBack();
  ReleaseClipper();
  ReleasePrimary();
}

// The extension state lives in the connection and ends with it.
void ReleaseDisplay() {
  if (display == nullptr) return;
  XCloseDisplay(display);
  display = nullptr;
  extensionsHeld = false;
}

// Why Load failed, in the X server's own terms, for the messages of the calls that follow it.
const char* loadFailure = nullptr;

constexpr const char* kNoDisplayReason =
    "No connection to an X server could be opened (is DISPLAY set, and may this user use the "
    "display?).";
constexpr const char* kNoRenderReason =
    "The X server has no RENDER extension of version 0.6 or later, which Vid_Prism draws with, so "
    "no picture can be shown. Start the X server with RENDER enabled (Xvfb, for one, takes "
    "+extension RENDER).";

// The set-up message, then on a line of its own what the user can do about it.
int32_t FailWithReason(const char* message, const char* reason) {
  char text[512];
  std::snprintf(text, sizeof text, "%s\n\n%s", message, reason);
  ShowPrismMessage(text);
  return 0;
}

bool QueryExtensions() {
  int eventBase = 0;
  int errorBase = 0;
  int major = 0;
  int minor = 0;
  // Picture transforms and filters came with RENDER 0.6.
  if (!XRenderQueryExtension(display, &eventBase, &errorBase) ||
      !XRenderQueryVersion(display, &major, &minor) || (major == 0 && minor < 6))
    return false;
  sharedMemoryPresent = XShmQueryExtension(display) != 0;
  shmCompletionType = sharedMemoryPresent ? XShmGetEventBase(display) + ShmCompletion : 0;
  return true;
}

// Takes in the completion events of shared-memory uploads without waiting for any.
void CollectUploads() {
  XEvent event;
  while (XCheckTypedEvent(display, shmCompletionType, &event)) {
    XShmCompletionEvent done;
    std::memcpy(&done, &event, sizeof done);
    if (backBuffer && done.drawable == backBuffer->pixmap) backBuffer->uploading = false;
  }
}

// Translates the target rectangle into the drawing window; one round trip, only on a change.
void PlaceTarget() {
  targetDirty = false;
  placement = {};
  const int64_t width = int64_t{targetRect.right} - targetRect.left;
  const int64_t height = int64_t{targetRect.bottom} - targetRect.top;
  if (width <= 0 || height <= 0 || width > kMaxCoordinate || height > kMaxCoordinate) return;
  const TDrawable& target = DrawTarget();
  int x = targetRect.left;
  int y = targetRect.top;
  Window child = 0;
  if (target.window != target.root &&
      !XTranslateCoordinates(display, target.root, target.window, targetRect.left, targetRect.top,
                             &x, &y, &child))
    return;
  if (x < kMinCoordinate || y < kMinCoordinate || x > kMaxCoordinate || y > kMaxCoordinate) return;
  placement = {x, y, static_cast<int32_t>(x + width), static_cast<int32_t>(y + height)};
}

int32_t Fail(const char* message) {
  ShowPrismMessage(message);
  return 0;
}

}  // namespace

const TRendererInfo* Load(int32_t requestedVersion) {
  if (requestedVersion > kRendererInterfaceVersion) {
    ShowPrismMessage("DLL is not compatible with the current renderer interface!");
    return nullptr;
  }
  // Surfaces cannot outlive the connection they were made on.
  ReleaseSurfaces();
  ReleaseDisplay();
  display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    loadFailure = kNoDisplayReason;
    FailWithReason("Failed to Create DirectDraw object!", loadFailure);
    return nullptr;
  }
  if (!QueryExtensions()) {
    loadFailure = kNoRenderReason;
    FailWithReason("Failed to get DirectDraw4 object!", loadFailure);
    return nullptr;
  }
  loadFailure = nullptr;
  extensionsHeld = true;
  return &RendererInfo;
}

void Unload() {
  if (extensionsHeld) {
    ReleasePrimary();
    ReleaseBack();
    ReleaseClipper();
    extensionsHeld = false;
  }
  ReleaseDisplay();
}

int32_t Init(int32_t width, int32_t height, TWindowHandle coopWindow, TWindowHandle clipWindow) {
  SetMessageOwner(coopWindow != 0 ? coopWindow : clipWindow);
  // Not ready to flip until every step below has succeeded, even with surfaces left from before.
  activeXLater = nullptr;
  // The window under which the display is used, when one is named, must exist.
  TDrawable coop;
  if (!extensionsHeld && loadFailure != nullptr)
    return FailWithReason("Error setting cooperative level!", loadFailure);
  if (!extensionsHeld || (coopWindow != 0 && !DescribeWindow(display, coopWindow, coop)))
    return Fail("Error setting cooperative level!");

  ReleasePrimary();
  TPrimary primary{DescribeRoot(display)};
  primary.picture = CreateWindowPicture(display, primary.target);
  if (primary.picture == 0) return Fail("Failed to create the DirectDrawSurface4 Object!");
  primarySurface = primary;

  ReleaseClipper();
  clipper.reset(new (std::nothrow) TClipper);
  if (clipper == nullptr) return Fail("Failed to create the DirectDrawClipper Object!");

  // Without a clip window the clipper stays unbound and no frame is drawn.
  if (clipWindow != 0) {
    if (!DescribeWindow(display, clipWindow, clipper->target))
      return Fail("Failed to set the ClipWnd!");
    clipper->picture = CreateWindowPicture(display, clipper->target);
    if (clipper->picture == 0) return Fail("Failed to attach clipper to the DirectDrawSurface!");
    WatchClipWindow(clipper->target.window);
  }

  const TDrawable& target = DrawTarget();
  ReleaseBack();
  backBuffer.emplace();
  if (!CreateBackBuffer(display, target, sharedMemoryPresent, width, height, *backBuffer)) {
    backBuffer.reset();
    return Fail("Error creating the Back Buffer Surface4 Object!");
  }

  const uint32_t bitsPerPixel = BitsPerPixel(display, target.depth);
  if (bitsPerPixel == 0) return Fail("Error retrieving the Surface Pixel Format!");

  const TXLaterInfo* xlater = ChooseXLater(bitsPerPixel, uint32_t(target.visual->red_mask));
  if (xlater == nullptr ||
      xlater->bytesPerPixel * 8 != uint32_t(backBuffer->image->bits_per_pixel)) {
    char message[96];
    std::snprintf(message, sizeof message,
                  "No pixel conversion for a display of %u bits per pixel!", bitsPerPixel);
    return Fail(message);
  }
  activeXLater = xlater;
  targetDirty = true;
  return 1;
}

void DeInit() {
  ReleaseSurfaces();
}

void SetTargetRect(int32_t left, int32_t top, int32_t width, int32_t height) {
  // Sums wrap rather than overflow; an inverted result is an unusable target.
  const TRect rect{left, top, static_cast<int32_t>(int64_t{left} + width),
                   static_cast<int32_t>(int64_t{top} + height)};
  if (rect == targetRect) return;
  targetRect = rect;
  targetDirty = true;
}

namespace {

// Converts the frame into the back buffer with `convert` and shows it scaled to the target.
template <typename Convert>
int32_t Present(Convert convert) {
  TBackBuffer& buffer = *backBuffer;
  if (buffer.uploading) {
    CollectUploads();
    if (buffer.uploading) return kFlipBusy;
  }
  // Frames go into the host's window and nowhere else: not onto the desktop while no window
  // was given, nor once the window is gone (its id may then name another program's window).
  if (!ClipperAttached()) return kFlipNoTarget;
  if (TakeStructureEvents(*clipper)) targetDirty = true;
  if (clipper->gone) return kFlipNoTarget;
  if (targetDirty) PlaceTarget();
  const int32_t width = placement.right - placement.left;
  const int32_t height = placement.bottom - placement.top;
  if (width <= 0 || height <= 0) return kFlipNoTarget;

  XImage* image = buffer.image;
  convert(image->data, size_t(image->bytes_per_line));
  const auto frameWidth = static_cast<unsigned>(buffer.width);
  const auto frameHeight = static_cast<unsigned>(buffer.height);
  if (buffer.shared) {
    XShmPutImage(display, buffer.pixmap, buffer.gc, image, 0, 0, 0, 0, frameWidth, frameHeight,
                 True);
    buffer.uploading = true;
  } else {
    XPutImage(display, buffer.pixmap, buffer.gc, image, 0, 0, 0, 0, frameWidth, frameHeight);
  }
  if (buffer.scaledWidth != width || buffer.scaledHeight != height)
    ScaleBackBuffer(display, buffer, width, height);
  XRenderComposite(display, PictOpSrc, buffer.picture, 0, clipper->picture, 0, 0, 0, 0,
                   placement.left, placement.top, static_cast<unsigned>(width),
                   static_cast<unsigned>(height));
  XFlush(display);
  return 0;
}

}  // namespace

int32_t Flip(const void* frameBuffer) {
  if (!backBuffer || activeXLater == nullptr || frameBuffer == nullptr) return kFlipNotReady;
  const TBackBuffer& buffer = *backBuffer;
  return Present([&](char* image, size_t pitch) {
    XLateFrame(*activeXLater, frameBuffer, uint32_t(buffer.width), uint32_t(buffer.height), image,
               pitch);
  });
}

int32_t FlipFrame(const TFrameDescription* frame) {
  if (!backBuffer || activeXLater == nullptr || frame == nullptr || frame->Pixels == nullptr)
    return kFlipNotReady;
  const TBackBuffer& buffer = *backBuffer;
  const bool rgba = frame->Format == kFrameRgba8888;
  const int64_t rowBytes = int64_t{frame->Width} * (rgba ? 4 : 2);
  // Only the size the renderer was set up for, in a known format, with rows that hold a line.
  if (frame->Width != buffer.width || frame->Height != buffer.height ||
      (!rgba && frame->Format != kFrameRgba5551) || frame->StrideBytes % 4 != 0 ||
      frame->StrideBytes < rowBytes)
    return kFlipNotReady;
  return Present([&](char* image, size_t pitch) {
    XLateRows(*activeXLater, rgba, frame->Pixels, uint32_t(buffer.width), uint32_t(buffer.height),
              size_t(frame->StrideBytes), image, pitch);
  });
}

unsigned Held() {
  unsigned held = 0;
  if (display != nullptr) held |= kHeldDisplay;
  if (extensionsHeld) held |= kHeldExtensions;
  if (primarySurface) held |= kHeldPrimary;
  if (clipper != nullptr) held |= kHeldClipper;
  if (backBuffer) held |= kHeldBackBuffer;
  return held;
}

bool UsesSharedMemory() {
  return backBuffer && backBuffer->shared;
}

void WaitForServer() {
  if (display == nullptr) return;
  XSync(display, False);
  if (backBuffer && backBuffer->shared) CollectUploads();
}

}  // namespace vantor::prism
