// Reference counting of the objects this program hands to the engine that live for the
// whole process (app, handlers, clients, ...): the engine may add and drop references as it
// likes, but nothing is ever freed. Tasks are heap objects with a real count elsewhere.
// Any thread (the functions touch no state).
#pragma once
#include <stddef.h>

#include "base/portable/engine_abi.h"

namespace nimo {

// add_ref of a static object: does nothing.
void CEF_CALLBACK StaticAddRef(cef_base_ref_counted_t* self);
// release and has_one_ref of a static object: always 0 (never the last reference).
int CEF_CALLBACK StaticRelease(cef_base_ref_counted_t* self);
// has_at_least_one_ref of a static object: always 1.
int CEF_CALLBACK StaticHasAtLeastOneRef(cef_base_ref_counted_t* self);

// Fills the base of a static engine object: base->size = `size` (the size of the whole
// structure the base starts) and the four slots above. Touches nothing beyond the base, so
// it may be called before or after the structure's own slots are filled.
void InitStaticBase(cef_base_ref_counted_t* base, size_t size);

}  // namespace nimo
