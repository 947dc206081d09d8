#include "surfaces/browser_info.h"

#include "base/engine_api.h"
#include "base/engine_strings.h"
#include "surfaces/portable/surface_rules.h"

namespace nimo {
namespace {

bool mark_early_page_api = false;

}  // namespace

void MarkEarlyPageApiBrowsers() { mark_early_page_api = true; }

EngineRef<cef_dictionary_value_t> BrowserInfoFor(std::uint32_t surface_id) {
  if (!mark_early_page_api || !GetsPageScripts(surface_id) || !engine_api.cef_dictionary_value_create) {
    return nullptr;
  }
  auto info = AdoptRef(engine_api.cef_dictionary_value_create());
  if (!info || !info->set_int) return nullptr;
  TempEngineString key(kEarlyPageApiKey);
  if (info->set_int(info.get(), key.get(), 1) == 0) return nullptr;
  return info;
}

}  // namespace nimo
