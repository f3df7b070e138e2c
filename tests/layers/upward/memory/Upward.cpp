// A hardware block that reaches up into the processor: the layer check must refuse it.
#include "core/Cpu.h"
