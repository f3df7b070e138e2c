#include "ui/PaintBox.h"

#include <QGuiApplication>

#include <xcb/xcb.h>

namespace vantor::ui {

TPaintBox::TPaintBox(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("PaintBox1"));
  setAttribute(Qt::WA_NativeWindow);
  setAttribute(Qt::WA_PaintOnScreen);
  setAttribute(Qt::WA_NoSystemBackground);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TPaintBox::showEvent(QShowEvent*) {
  emit Moved();
  Clear();
}

void TPaintBox::Clear() {
  // With a black X background the server itself clears an exposed area to black, as the plug-in
  // leaves it between frames.
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  xcb_connection_t* connection = x11 != nullptr ? x11->connection() : nullptr;
  if (connection == nullptr) return;
  const auto window = static_cast<xcb_window_t>(winId());
  const uint32_t black = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->black_pixel;
  xcb_change_window_attributes(connection, window, XCB_CW_BACK_PIXEL, &black);
  xcb_clear_area(connection, 0, window, 0, 0, 0, 0);
  xcb_flush(connection);
}

}  // namespace vantor::ui
