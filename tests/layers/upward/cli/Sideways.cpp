// The runner reaching into the plug-in: the layer check must refuse it.
#include "plugin/Prism.h"
