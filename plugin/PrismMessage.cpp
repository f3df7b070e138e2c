#include "plugin/PrismMessage.h"

#include <SDL2/SDL_messagebox.h>
#include <xcb/xcb.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace vantor::prism {

namespace {

std::atomic<TWindowHandle> messageOwner{0};

template <typename Reply>
using TReply = std::unique_ptr<Reply, decltype(&std::free)>;

std::vector<xcb_window_t> Children(xcb_connection_t* connection, xcb_window_t window) {
  TReply<xcb_query_tree_reply_t> tree(
      xcb_query_tree_reply(connection, xcb_query_tree(connection, window), nullptr), &std::free);
  if (tree == nullptr) return {};
  const xcb_window_t* children = xcb_query_tree_children(tree.get());
  return {children, children + xcb_query_tree_children_length(tree.get())};
}

bool HasCaption(xcb_connection_t* connection, xcb_window_t window) {
  const auto cookie = xcb_get_property(connection, 0, window, XCB_ATOM_WM_NAME,
                                       XCB_GET_PROPERTY_TYPE_ANY, 0, sizeof RendererCaption);
  TReply<xcb_get_property_reply_t> name(xcb_get_property_reply(connection, cookie, nullptr),
                                        &std::free);
  if (name == nullptr) return false;
  const auto length = static_cast<size_t>(xcb_get_property_value_length(name.get()));
  return length == std::strlen(RendererCaption) &&
         std::memcmp(xcb_get_property_value(name.get()), RendererCaption, length) == 0;
}

// SDL draws the dialog as a top-level window of its own, on a connection of its own (from a
// child process, even). While the dialog is open, a helper with one more connection looks for a
// new window with the plug-in's caption, at the top level or inside the frame a window manager
// put it in, and marks it as a dialog of the owner (WM_TRANSIENT_FOR). X errors of windows that
// vanish meanwhile come back as replies on this connection and are ignored.
class TOwnerMark {
 public:
  explicit TOwnerMark(xcb_window_t owner) : owner_(owner) {
    connection_ = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection_)) return;
    root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
    // The windows that are there before the dialog, which none of them can be.
    for (xcb_window_t top : Children(connection_, root_)) {
      known_.insert(top);
      for (xcb_window_t inner : Children(connection_, top))
        known_.insert(inner);
    }
    thread_ = std::thread([this] { Run(); });
  }
  ~TOwnerMark() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    xcb_disconnect(connection_);
  }
  TOwnerMark(const TOwnerMark&) = delete;
  TOwnerMark& operator=(const TOwnerMark&) = delete;

 private:
  void Run() {
    while (!stop_ && !xcb_connection_has_error(connection_) && !MarkNewDialog())
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }

  bool MarkNewDialog() {
    for (xcb_window_t top : Children(connection_, root_)) {
      if (known_.contains(top)) continue;
      std::vector<xcb_window_t> candidates = Children(connection_, top);
      candidates.push_back(top);
      for (xcb_window_t window : candidates) {
        if (known_.contains(window) || !HasCaption(connection_, window)) continue;
        xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_TRANSIENT_FOR,
                            XCB_ATOM_WINDOW, 32, 1, &owner_);
        xcb_flush(connection_);
        return true;
      }
    }
    return false;
  }

  xcb_window_t owner_;
  xcb_connection_t* connection_ = nullptr;
  xcb_window_t root_ = 0;
  std::set<xcb_window_t> known_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace

void SetMessageOwner(TWindowHandle window) {
  messageOwner = window;
}

void ShowPrismMessage(const char* text) {
  std::string line;
  for (const char* c = text; *c != '\0'; ++c) {
    if (*c != '\n')
      line += *c;
    else if (!line.empty() && line.back() != ' ')
      line += ' ';
  }
  std::fprintf(stderr, "%s: %s\n", RendererCaption, line.c_str());
  if (const char* path = std::getenv(kMessageFileVariable); path != nullptr && *path != '\0') {
    if (std::FILE* file = std::fopen(path, "a")) {
      std::fprintf(file, "%s\n", line.c_str());
      std::fclose(file);
    }
    return;
  }
  std::unique_ptr<TOwnerMark> mark;
  if (const TWindowHandle owner = messageOwner; owner != 0)
    mark = std::make_unique<TOwnerMark>(static_cast<xcb_window_t>(owner));
  // Needs no SDL_Init; without a desktop it fails at once and the line above is all there is.
  SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, RendererCaption, text, nullptr);
}

}  // namespace vantor::prism
