// What one input-method composition message of the program's window asks of the page, and
// where the input method's windows go: the decisions of the host library's input-method
// handling (client/host_library/ime.cpp reads the strings through the input-method API and calls
// these).
//
// Pure; any thread.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "client/nimo_protocol.h"
#include "client/portable/window_input.h"

namespace nimo {
namespace client {

// The strings a WM_IME_COMPOSITION carries, as far as its flags say they are there.
struct CompositionMessage {
  bool has_result = false;  // GCS_RESULTSTR
  std::u16string result;
  bool has_composition = false;  // GCS_COMPSTR
  std::u16string composition;
  int cursor = -1;         // GCS_CURSORPOS in UTF-16 units, -1 when not given
  std::string attributes;  // GCS_COMPATTR, one byte per UTF-16 unit of the composition
};

struct CompositionPlan {
  bool commit = false;      // ImeCommitText with commit_text first
  std::string commit_text;  // UTF-8
  enum class Next { kNothing, kSet, kCancel };
  Next next = Next::kNothing;  // then ImeSetComposition (text, selection) or ImeCancelComposition
  std::string text;            // UTF-8
  std::uint32_t selection_start = 0;
  std::uint32_t selection_end = 0;
};

// A result is committed first; a composition left after it is shown with the clause being
// converted selected (the input method's target attributes), else a caret at the cursor;
// an emptied composition with no result is cancelled.
CompositionPlan PlanComposition(const CompositionMessage& message);

// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD.
std::string Utf16ToUtf8(const std::u16string& text);

// The rectangle the candidate window is placed at, in window coordinates: the composed
// character the selection starts at (the last one when the selection lies past them),
// moved by the surface's origin. False when there is none.
bool CandidateRect(const std::vector<ImeRect>& rects, std::uint32_t selection_start,
                   const SurfacePlacement& placement, ImeRect* out);

}  // namespace client
}  // namespace nimo
