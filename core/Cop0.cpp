#include "core/Cop0.h"

#include "core/Interpreter.h"

namespace vantor {

void Cop0Op(uint32_t word) {
  UnimplementedOpcode(word);
}

}  // namespace vantor
