#include "client/portable/ime_input.h"

namespace nimo {
namespace client {

namespace {

// The input method's clause attributes for the clause being converted.
constexpr char kAttrTargetConverted = 1;
constexpr char kAttrTargetNotConverted = 3;

void Append(std::string& out, std::uint32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

std::string Utf16ToUtf8(const std::u16string& text) {
  std::string out;
  out.reserve(text.size() * 3);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const std::uint32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      Append(out, 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00));
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      Append(out, 0xFFFD);
    } else {
      Append(out, c);
    }
  }
  return out;
}

CompositionPlan PlanComposition(const CompositionMessage& m) {
  CompositionPlan plan;
  if (m.has_result) {
    plan.commit = true;
    plan.commit_text = Utf16ToUtf8(m.result);
  }
  if (!m.has_composition) return plan;
  if (m.composition.empty()) {
    // Everything composed was deleted: nothing is left to show in the page.
    if (!m.has_result) plan.next = CompositionPlan::Next::kCancel;
    return plan;
  }
  plan.next = CompositionPlan::Next::kSet;
  plan.text = Utf16ToUtf8(m.composition);
  const std::uint32_t length = static_cast<std::uint32_t>(m.composition.size());
  std::uint32_t caret = m.cursor < 0 ? length : static_cast<std::uint32_t>(m.cursor);
  if (caret > length) caret = length;
  plan.selection_start = plan.selection_end = caret;
  bool found = false;
  for (std::size_t i = 0; i < m.attributes.size() && i < m.composition.size(); ++i) {
    const char a = m.attributes[i];
    if (a != kAttrTargetConverted && a != kAttrTargetNotConverted) continue;
    if (!found) plan.selection_start = static_cast<std::uint32_t>(i);
    plan.selection_end = static_cast<std::uint32_t>(i + 1);
    found = true;
  }
  return plan;
}

bool CandidateRect(const std::vector<ImeRect>& rects, std::uint32_t selection_start,
                   const SurfacePlacement& placement, ImeRect* out) {
  if (rects.empty()) return false;
  const std::size_t index = selection_start < rects.size() ? selection_start : rects.size() - 1;
  *out = rects[index];
  out->x += placement.origin_x;
  out->y += placement.origin_y;
  return true;
}

}  // namespace client
}  // namespace nimo
