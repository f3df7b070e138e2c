#include "plugin/PrismMessage.h"

#include <SDL2/SDL_messagebox.h>

#include <cstdio>
#include <cstdlib>

namespace vantor::prism {

void ShowPrismMessage(const char* text) {
  std::fprintf(stderr, "%s: %s\n", RendererCaption, text);
  if (const char* path = std::getenv(kMessageFileVariable); path != nullptr && *path != '\0') {
    if (std::FILE* file = std::fopen(path, "a")) {
      std::fprintf(file, "%s\n", text);
      std::fclose(file);
    }
    return;
  }
  // Needs no SDL_Init; without a desktop it fails at once and the line above is all there is.
  SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, RendererCaption, text, nullptr);
}

}  // namespace vantor::prism
