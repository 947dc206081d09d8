#include "surfaces/call_answers.h"

#include <utility>

#include "link/ui_task.h"

namespace nimo {
namespace {

CallAnswerHandler call_answer_handler = nullptr;
DocumentGoneHandler document_gone_handler = nullptr;

}  // namespace

void SetCallAnswerHandler(CallAnswerHandler handler) { call_answer_handler = handler; }

void SetDocumentGoneHandler(DocumentGoneHandler handler) { document_gone_handler = handler; }

void DocumentGone(std::uint32_t surface_id) {
  if (document_gone_handler) document_gone_handler(surface_id);
}

void DeliverCallAnswer(const std::uint8_t* payload, std::size_t length) {
  CallMessage answer;
  if (!call_answer_handler || !DecodeResolveCall(payload, length, &answer)) return;
  const CallAnswerHandler handler = call_answer_handler;
  PostUiTask("resolve call", [handler, answer = std::move(answer)] { handler(answer); });
}

}  // namespace nimo
