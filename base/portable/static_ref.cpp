#include "base/portable/static_ref.h"

namespace nimo {

void CEF_CALLBACK StaticAddRef(cef_base_ref_counted_t*) {}

int CEF_CALLBACK StaticRelease(cef_base_ref_counted_t*) { return 0; }

int CEF_CALLBACK StaticHasAtLeastOneRef(cef_base_ref_counted_t*) { return 1; }

void InitStaticBase(cef_base_ref_counted_t* base, size_t size) {
  if (base == nullptr) return;
  base->size = size;
  base->add_ref = StaticAddRef;
  base->release = StaticRelease;
  base->has_one_ref = StaticRelease;
  base->has_at_least_one_ref = StaticHasAtLeastOneRef;
}

}  // namespace nimo
