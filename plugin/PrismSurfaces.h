// The X11 objects behind the plug-in's surfaces, each made under an error trap.
#pragma once

#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/Xrender.h>

#include <cstdint>

#include "video/RenderPlugInfo.h"

namespace vantor::prism {

// Catches the X errors of one connection while it lives and swallows them; errors of other
// connections go on to the handler that was there before. Traps may be open on several threads
// and connections at once. Each waits for the server, so this is for set-up only, never per frame.
class TErrorTrap {
 public:
  explicit TErrorTrap(Display* display);
  ~TErrorTrap();
  TErrorTrap(const TErrorTrap&) = delete;
  TErrorTrap& operator=(const TErrorTrap&) = delete;

  // Waits until the server has carried out every request so far; true when any failed.
  bool Failed();

 private:
  // The process's one Xlib error handler, installed by the first trap.
  static int Catch(Display* display, XErrorEvent* event);

  Display* const display_;
  bool failed_ = false;  // guarded by the lock of the open traps
};

// A window drawn into, with its pixel format.
struct TDrawable {
  Window window = 0;
  Window root = 0;
  Visual* visual = nullptr;
  int depth = 0;
};

// Fills `out` from the window's attributes; false when the handle names no window.
bool DescribeWindow(Display* display, TWindowHandle handle, TDrawable& out);

// The root window of the default screen.
TDrawable DescribeRoot(Display* display);

// A picture on the window that draws into its inferiors too (the host's drawing area is a child
// window); None when the window has no RENDER format or the server refuses.
Picture CreateWindowPicture(Display* display, const TDrawable& target);

// The bits per pixel of images of the given depth; 0 when the server lists none.
uint32_t BitsPerPixel(Display* display, int depth);

// A frame-sized image in the target's pixel format and a pixmap of the same size and depth from
// which RENDER scales the frame onto the target. Stays where it was made: a shared image points
// at its segment record.
struct TBackBuffer {
  TBackBuffer() = default;
  TBackBuffer(const TBackBuffer&) = delete;
  TBackBuffer& operator=(const TBackBuffer&) = delete;

  int32_t width = 0;
  int32_t height = 0;
  XImage* image = nullptr;
  bool shared = false;     // image memory is a shared-memory segment the server reads
  bool uploading = false;  // the server may still be reading the segment
  XShmSegmentInfo shm{};
  Pixmap pixmap = 0;
  GC gc = nullptr;
  Picture picture = 0;
  int32_t scaledWidth = 0;  // the target size the picture's transform was set for
  int32_t scaledHeight = 0;
};

// Makes a new, empty buffer: shared memory first when asked, else a plain image (remote
// displays cannot attach the segment). False, holding nothing, when any part cannot be made.
bool CreateBackBuffer(Display* display, const TDrawable& target, bool trySharedMemory,
                      int32_t width, int32_t height, TBackBuffer& buffer);
// Frees everything the buffer holds; the buffer is then to be dropped.
void ReleaseBackBuffer(Display* display, TBackBuffer& buffer);

// Sets the picture's transform so that the whole frame fills width x height.
void ScaleBackBuffer(Display* display, TBackBuffer& buffer, int32_t width, int32_t height);

}  // namespace vantor::prism
