// vantor64: the desktop program.
#include "ui/App.h"

int main(int argc, char** argv) {
  return vantor::ui::RunDesktop(argc, argv);
}
