#include "trek/CTrekObject.h"

const STrekClass CTrekObject::kRuntimeClass = {"CObject", 0xFFFF, nullptr, nullptr};
