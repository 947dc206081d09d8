// Slot presence as the engine decides it for structures the product implements: a slot
// counts only when it lies wholly inside the structure's base.size and is non-null.
#pragma once
#include <cstddef>

#define STANDIN_HAS_SLOT(object, type, member)                                                 \
  ((object) != nullptr && offsetof(type, member) + sizeof((object)->member) <= (object)->base.size && \
   (object)->member != nullptr)
