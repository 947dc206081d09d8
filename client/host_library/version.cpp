// The release this library belongs to (the project's one version number).
#include "client/nimo_host.h"

#include "base/project_version.h"

namespace nimo {
namespace host {

const char* LibraryVersion() { return NIMO_VERSION_TEXT; }

}  // namespace host
}  // namespace nimo
