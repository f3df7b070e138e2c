#include "core/Cop1.h"

#include "core/Interpreter.h"

namespace vantor {

void Cop1Op(uint32_t word) {
  UnimplementedOpcode(word);
}

}  // namespace vantor
