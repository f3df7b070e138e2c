// A message the plug-in shows while it knows the window it draws for belongs to that window, so
// the window manager keeps it above the window: a dialog hidden behind the main window would hold
// the emulation thread with nothing on the screen to answer.
#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "plugin/PrismMessage.h"
#include "tests/plugin/PrismFixture.h"

namespace vantor::prism {
namespace {

template <typename Reply>
using TReply = std::unique_ptr<Reply, decltype(&std::free)>;

xcb_atom_t Atom(xcb_connection_t* connection, const char* name) {
  TReply<xcb_intern_atom_reply_t> reply(
      xcb_intern_atom_reply(
          connection,
          xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr),
      &std::free);
  return reply ? reply->atom : 0;
}

// A top-level window with the plug-in's caption, and the window it is a dialog of (0: none).
struct TDialog {
  xcb_window_t window;
  xcb_window_t owner;
};

std::optional<TDialog> FindDialog(xcb_connection_t* connection) {
  const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
  TReply<xcb_query_tree_reply_t> tree(
      xcb_query_tree_reply(connection, xcb_query_tree(connection, root), nullptr), &std::free);
  if (tree == nullptr) return std::nullopt;
  const xcb_window_t* children = xcb_query_tree_children(tree.get());
  for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
    const auto property = [&](xcb_atom_t name) {
      return TReply<xcb_get_property_reply_t>(
          xcb_get_property_reply(
              connection,
              xcb_get_property(connection, 0, children[i], name, XCB_GET_PROPERTY_TYPE_ANY, 0, 64),
              nullptr),
          &std::free);
    };
    const auto title = property(XCB_ATOM_WM_NAME);
    if (title == nullptr ||
        std::string(static_cast<const char*>(xcb_get_property_value(title.get())),
                    static_cast<size_t>(xcb_get_property_value_length(title.get()))) !=
            RendererCaption)
      continue;
    const auto transient = property(XCB_ATOM_WM_TRANSIENT_FOR);
    xcb_window_t owner = 0;
    if (transient != nullptr && xcb_get_property_value_length(transient.get()) == 4)
      std::memcpy(&owner, xcb_get_property_value(transient.get()), 4);
    return TDialog{children[i], owner};
  }
  return std::nullopt;
}

// What a click on the dialog's close button sends.
void Close(xcb_connection_t* connection, xcb_window_t window) {
  xcb_client_message_event_t event{};
  event.response_type = XCB_CLIENT_MESSAGE;
  event.format = 32;
  event.window = window;
  event.type = Atom(connection, "WM_PROTOCOLS");
  event.data.data32[0] = Atom(connection, "WM_DELETE_WINDOW");
  xcb_send_event(connection, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<char*>(&event));
  xcb_flush(connection);
}

TEST(PrismMessageTest, TheDialogBelongsToTheOwnerWindow) {
  test::TestScreen screen;
  if (!screen.Open()) GTEST_SKIP() << "no X display";
  xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
  ASSERT_EQ(xcb_connection_has_error(connection), 0);
  const test::TXWindow owner = screen.MakeWindow({10, 10, 200, 150}, 0);

  // A real dialog this time, not the message file.
  std::optional<std::string> messageFile;
  if (const char* value = std::getenv(kMessageFileVariable)) messageFile = value;
  unsetenv(kMessageFileVariable);
  SetMessageOwner(owner);
  std::thread shower([] { ShowPrismMessage("Failed to set the ClipWnd!"); });

  std::optional<TDialog> dialog;
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < giveUp) {
    dialog = FindDialog(connection);
    if (dialog && dialog->owner != 0) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (dialog) Close(connection, dialog->window);
  shower.join();
  SetMessageOwner(0);
  if (messageFile) setenv(kMessageFileVariable, messageFile->c_str(), 1);
  xcb_disconnect(connection);

  ASSERT_TRUE(dialog.has_value()) << "no dialog appeared";
  EXPECT_EQ(dialog->owner, owner);
}

}  // namespace
}  // namespace vantor::prism
