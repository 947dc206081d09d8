// The product's own client link, connected inside a test process to a FakeClient, so an
// in-process test can call an engine callback and read the report it sent exactly as the
// client would.
//
// Threads: the test thread; ConnectPipe happens once per process, on first use.
#pragma once
#include <cstdint>
#include <string>

#include "tests/support/fake_client.h"

namespace nimo {
namespace test {

// The connected client (Hello already read), or null when the link could not be made.
FakeClient* LinkedClient();

// The next page-bridge report (LoadEvent, ConsoleLine or PageMessage; anything else the
// link sends is skipped), false when none arrives in time.
bool NextBridgeReport(Report* out);

// Sends a ConsoleLine that no callback produces and reads until it arrives: true when
// nothing else came first, so whatever a test did before sent nothing.
bool NothingSentBefore(const std::string& marker);

}  // namespace test
}  // namespace nimo
