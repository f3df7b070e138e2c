#include "plugin/PrismSurfaces.h"

#include <X11/Xutil.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace vantor::prism {
namespace {

// Resource ids use the low 29 bits; anything above cannot be a window.
constexpr TWindowHandle kMaxXid = 0x1FFFFFFF;
// Pixmap sides are 16-bit in the protocol.
constexpr int32_t kMaxSide = 32767;

// Xlib has one error handler for the whole process, and the host's own toolkit may rely on the
// one it installed. The plug-in therefore installs TErrorTrap::Catch once, for the life of the
// process (the library is never unmapped), and never swaps handlers again: errors of a connection
// with an open trap mark the trap, every other error goes on to the handler that was there before.
// Traps open and close on any thread, so the list of open traps has a lock; the handler runs on the
// thread that reads the error and calls nothing of Xlib while it holds the lock.
std::mutex trapsLock;
std::vector<TErrorTrap*> openTraps;
XErrorHandler previousHandler = nullptr;
std::once_flag handlerInstalled;

bool CreateSharedImage(Display* display, const TDrawable& target, TBackBuffer& buffer) {
  buffer.image = XShmCreateImage(display, target.visual, static_cast<unsigned>(target.depth),
                                 ZPixmap, nullptr, &buffer.shm, static_cast<unsigned>(buffer.width),
                                 static_cast<unsigned>(buffer.height));
  if (buffer.image == nullptr) return false;
  const size_t bytes = size_t(buffer.image->bytes_per_line) * size_t(buffer.height);
  buffer.shm.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
  void* memory =
      buffer.shm.shmid < 0 ? reinterpret_cast<void*>(-1) : shmat(buffer.shm.shmid, nullptr, 0);
  bool attached = false;
  if (memory != reinterpret_cast<void*>(-1)) {
    buffer.shm.shmaddr = buffer.image->data = static_cast<char*>(memory);
    buffer.shm.readOnly = True;
    TErrorTrap trap(display);
    attached = XShmAttach(display, &buffer.shm) != 0 && !trap.Failed();
  }
  // Marked for removal now, the segment goes away once both sides have detached.
  if (buffer.shm.shmid >= 0) shmctl(buffer.shm.shmid, IPC_RMID, nullptr);
  if (!attached) {
    if (memory != reinterpret_cast<void*>(-1)) shmdt(memory);
    buffer.image->data = nullptr;
    XDestroyImage(buffer.image);
    buffer.image = nullptr;
    return false;
  }
  buffer.shared = true;
  return true;
}

bool CreatePlainImage(Display* display, const TDrawable& target, TBackBuffer& buffer) {
  buffer.image = XCreateImage(display, target.visual, static_cast<unsigned>(target.depth), ZPixmap,
                              0, nullptr, static_cast<unsigned>(buffer.width),
                              static_cast<unsigned>(buffer.height), 32, 0);
  if (buffer.image == nullptr) return false;
  // XDestroyImage hands the memory back with free().
  buffer.image->data =
      static_cast<char*>(std::calloc(size_t(buffer.image->bytes_per_line), size_t(buffer.height)));
  if (buffer.image->data == nullptr) {
    XDestroyImage(buffer.image);
    buffer.image = nullptr;
    return false;
  }
  // The conversions write little-endian pixels; XPutImage swaps them for a big-endian server.
  buffer.image->byte_order = LSBFirst;
  return true;
}

}  // namespace

int TErrorTrap::Catch(Display* display, XErrorEvent* event) {
  bool trapped = false;
  {
    std::lock_guard lock(trapsLock);
    for (TErrorTrap* trap : openTraps) {
      if (trap->display_ != display) continue;
      trap->failed_ = true;
      trapped = true;
    }
  }
  if (trapped) return 0;
  return previousHandler != nullptr ? previousHandler(display, event) : 0;
}

TErrorTrap::TErrorTrap(Display* display) : display_(display) {
  std::call_once(handlerInstalled, [] { previousHandler = XSetErrorHandler(Catch); });
  // Errors of earlier requests are not this trap's.
  XSync(display_, False);
  std::lock_guard lock(trapsLock);
  openTraps.push_back(this);
}

TErrorTrap::~TErrorTrap() {
  XSync(display_, False);
  std::lock_guard lock(trapsLock);
  openTraps.erase(std::find(openTraps.begin(), openTraps.end(), this));
}

bool TErrorTrap::Failed() {
  XSync(display_, False);
  std::lock_guard lock(trapsLock);
  return failed_;
}

bool DescribeWindow(Display* display, TWindowHandle handle, TDrawable& out) {
  if (handle == 0 || handle > kMaxXid) return false;
  const auto window = static_cast<Window>(handle);
  XWindowAttributes attributes;
  TErrorTrap trap(display);
  if (XGetWindowAttributes(display, window, &attributes) == 0 || trap.Failed()) return false;
  out = {window, attributes.root, attributes.visual, attributes.depth};
  return true;
}

TDrawable DescribeRoot(Display* display) {
  const int screen = DefaultScreen(display);
  const Window root = RootWindow(display, screen);
  return {root, root, DefaultVisual(display, screen), DefaultDepth(display, screen)};
}

Picture CreateWindowPicture(Display* display, const TDrawable& target) {
  // An input-only window has depth 0 and nothing to draw into.
  if (target.depth == 0) return None;
  XRenderPictFormat* format = XRenderFindVisualFormat(display, target.visual);
  if (format == nullptr) return None;
  XRenderPictureAttributes attributes{};
  attributes.subwindow_mode = IncludeInferiors;
  TErrorTrap trap(display);
  const Picture picture =
      XRenderCreatePicture(display, target.window, format, CPSubwindowMode, &attributes);
  return trap.Failed() ? None : picture;
}

uint32_t BitsPerPixel(Display* display, int depth) {
  int count = 0;
  XPixmapFormatValues* formats = XListPixmapFormats(display, &count);
  uint32_t bits = 0;
  for (int i = 0; i < count; ++i)
    if (formats[i].depth == depth) bits = static_cast<uint32_t>(formats[i].bits_per_pixel);
  if (formats != nullptr) XFree(formats);
  return bits;
}

bool CreateBackBuffer(Display* display, const TDrawable& target, bool trySharedMemory,
                      int32_t width, int32_t height, TBackBuffer& buffer) {
  if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return false;
  XRenderPictFormat* format = XRenderFindVisualFormat(display, target.visual);
  if (format == nullptr) return false;
  buffer.width = width;
  buffer.height = height;
  if (!(trySharedMemory && CreateSharedImage(display, target, buffer)) &&
      !CreatePlainImage(display, target, buffer))
    return false;

  TErrorTrap trap(display);
  buffer.pixmap = XCreatePixmap(display, target.window, static_cast<unsigned>(width),
                                static_cast<unsigned>(height), static_cast<unsigned>(target.depth));
  buffer.gc = XCreateGC(display, buffer.pixmap, 0, nullptr);
  buffer.picture = XRenderCreatePicture(display, buffer.pixmap, format, 0, nullptr);
  XRenderSetPictureFilter(display, buffer.picture, FilterNearest, nullptr, 0);
  if (buffer.gc == nullptr || trap.Failed()) {
    // Still trapped: freeing what the server never made only raises errors that are swallowed.
    ReleaseBackBuffer(display, buffer);
    return false;
  }
  return true;
}

void ReleaseBackBuffer(Display* display, TBackBuffer& buffer) {
  if (buffer.picture != 0) XRenderFreePicture(display, buffer.picture);
  if (buffer.gc != nullptr) XFreeGC(display, buffer.gc);
  if (buffer.pixmap != 0) XFreePixmap(display, buffer.pixmap);
  if (buffer.shared) {
    // The server detaches after every earlier request, so a pending upload still completes.
    XShmDetach(display, &buffer.shm);
    shmdt(buffer.shm.shmaddr);
    buffer.image->data = nullptr;
  }
  if (buffer.image != nullptr) XDestroyImage(buffer.image);
  buffer.image = nullptr;
}

void ScaleBackBuffer(Display* display, TBackBuffer& buffer, int32_t width, int32_t height) {
  // The transform maps target pixels to frame pixels.
  XTransform transform = {{
      {XDoubleToFixed(double(buffer.width) / width), 0, 0},
      {0, XDoubleToFixed(double(buffer.height) / height), 0},
      {0, 0, XDoubleToFixed(1)},
  }};
  XRenderSetPictureTransform(display, buffer.picture, &transform);
  buffer.scaledWidth = width;
  buffer.scaledHeight = height;
}

}  // namespace vantor::prism
