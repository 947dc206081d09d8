#include "surfaces/ui_origin.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <mutex>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "base/callback_guard.h"
#include "base/engine_ref.h"
#include "base/engine_strings.h"
#include "base/wide_text.h"
#include "base/win_handle.h"
#include "diag/log.h"
#include "diag/portable/extended_path.h"
#include "surfaces/portable/ui_origin.h"

namespace nimo {
namespace {

// Files up to this size are read on the IO thread when the engine asks; larger ones on
// the thread pool, a block at a time, and the engine's reads are answered from the block
// at once while it lasts.
constexpr std::uint64_t kSynchronousLimit = 256 * 1024;
constexpr std::size_t kBlockSize = 1024 * 1024;

// Set once before the engine starts (ConfigureUiOrigin), read-only afterwards.
struct UiFolder {
  std::wstring path;        // full path, no trailing separator
  std::wstring final_path;  // as GetFinalPathNameByHandleW reports it (links resolved)
};
UiFolder* ui_folder = nullptr;

RefusalLog refusals;

std::wstring FinalPath(HANDLE file) {
  std::wstring path(512, L'\0');
  DWORD n = GetFinalPathNameByHandleW(file, &path[0], static_cast<DWORD>(path.size()), 0);
  if (n >= path.size()) {  // too small: n is the size needed
    path.assign(n + 1, L'\0');
    n = GetFinalPathNameByHandleW(file, &path[0], static_cast<DWORD>(path.size()), 0);
  }
  if (n == 0 || n >= path.size()) return std::wstring();
  path.resize(n);
  return path;
}

std::u16string_view View(const std::wstring& s) {
  return std::u16string_view(reinterpret_cast<const char16_t*>(s.data()), s.size());
}

void LogRefusal(const std::string& url, const char* reason) {
  switch (refusals.Note(url)) {
    case RefusalLog::Action::kLog: {
      const std::string text = LoggableUrl(url);
      WriteLog("[nimo-webengine][ui] refused %s (%s)\n", text.c_str(), reason);
      break;
    }
    case RefusalLog::Action::kLogLast:
      WriteLogText("[nimo-webengine][ui] more refused requests - not logged any more\n");
      break;
    case RefusalLog::Action::kQuiet:
      break;
  }
}

// One request's answer. Created on the IO thread by UiResourceHandlerFor; the engine
// holds one reference and each read in flight on the thread pool one more; the last
// release frees it. Every slot runs on the IO thread; the pool's read touches only the
// file, its own buffer and, under `lock`, the engine's buffer while not cancelled.
struct FileAnswer {
  cef_resource_handler_t cef;  // first member: the engine sees this structure
  std::atomic<int> refs{1};

  std::string url;
  int status = 200;
  const char* status_text = "OK";
  const char* mime = "text/plain";
  bool utf8_text = true;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;  // the whole answer when no file is served (errors)
  UniqueFileHandle file;
  std::uint64_t size = 0;      // of the file
  std::uint64_t range_first = 0;
  std::uint64_t position = 0;  // next byte of the file to read
  std::uint64_t end = 0;       // one past the last byte to send
  std::size_t body_position = 0;

  std::mutex lock;           // guards `cancelled` against the pool's copy into the engine's buffer
  bool cancelled = false;
  // The pool reads a block here; [block_begin, block_end) is what the engine has not
  // taken yet, the file's bytes from `position` on.
  std::vector<char> buffer;
  std::size_t block_begin = 0;
  std::size_t block_end = 0;

  void Error(int code, const char* text, const char* message) {
    status = code;
    status_text = text;
    mime = "text/plain";
    utf8_text = true;
    body = message;
    file.reset();
  }
};

FileAnswer* Of(cef_resource_handler_t* self) { return reinterpret_cast<FileAnswer*>(self); }
FileAnswer* Of(cef_base_ref_counted_t* base) { return reinterpret_cast<FileAnswer*>(base); }

void CEF_CALLBACK AnswerAddRef(cef_base_ref_counted_t* self) { Of(self)->refs.fetch_add(1); }
int CEF_CALLBACK AnswerRelease(cef_base_ref_counted_t* self) {
  if (Of(self)->refs.fetch_sub(1) != 1) return 0;
  delete Of(self);
  return 1;
}
int CEF_CALLBACK HasOneRef(cef_base_ref_counted_t* self) { return Of(self)->refs.load() == 1 ? 1 : 0; }
int CEF_CALLBACK HasAtLeastOneRef(cef_base_ref_counted_t* self) { return Of(self)->refs.load() >= 1 ? 1 : 0; }

std::string HeaderOf(cef_request_t* request, const char* name) {
  if (request->get_header_by_name == nullptr) return std::string();
  TempEngineString key(name);
  return UserfreeToUtf8(request->get_header_by_name(request, key.get()));
}

// Decides the answer: the file and its range, or an error with a small body.
void Prepare(FileAnswer* a, cef_request_t* request) {
  const std::string method = request->get_method ? UserfreeToUtf8(request->get_method(request)) : "GET";
  const UiPath path = DecideUiPath(a->url);
  if (path.verdict == UiPathVerdict::kBadRequest) {
    LogRefusal(a->url, path.reason);
    a->Error(400, "Bad Request", "Bad request\n");
    return;
  }
  if (path.verdict == UiPathVerdict::kRefused) {
    LogRefusal(a->url, path.reason);
    a->Error(404, "Not Found", "Not found\n");
    return;
  }
  if (!UiMethodAllowed(method)) {
    a->Error(405, "Method Not Allowed", "Method not allowed\n");
    a->headers.emplace_back("Allow", "GET, HEAD");
    return;
  }
  std::wstring relative = WideFromUtf8(path.relative);
  std::replace(relative.begin(), relative.end(), L'/', L'\\');
  const std::wstring full = ui_folder->path + L"\\" + relative;
  // No FILE_FLAG_BACKUP_SEMANTICS: a folder does not open, so it is never listed.
  a->file.reset(CreateFileW(ExtendedLengthPath(full).c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  BY_HANDLE_FILE_INFORMATION info = {};
  if (relative.empty() || !a->file || GetFileType(a->file.get()) != FILE_TYPE_DISK ||
      !GetFileInformationByHandle(a->file.get(), &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    a->Error(404, "Not Found", "Not found\n");
    return;
  }
  // A link below the folder may lead out of it: what was opened must still be inside.
  if (!InsideFolder(View(FinalPath(a->file.get())), View(ui_folder->final_path))) {
    LogRefusal(a->url, "leads out of the folder");
    a->Error(404, "Not Found", "Not found\n");
    return;
  }
  a->size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  const UiMimeType type = UiMimeTypeFor(path.relative);
  a->mime = type.mime;
  a->utf8_text = type.utf8_text;
  a->headers.emplace_back("Accept-Ranges", "bytes");
  a->headers.emplace_back("Cache-Control", "no-cache");
  a->headers.emplace_back("X-Content-Type-Options", "nosniff");
  const UiRange range = ParseUiRange(HeaderOf(request, "Range"), a->size);
  if (range.verdict == UiRangeVerdict::kUnsatisfiable) {
    a->Error(416, "Range Not Satisfiable", "");
    a->headers.emplace_back("Content-Range", ContentRangeValue(range, a->size));
    return;
  }
  a->end = a->size;
  if (range.verdict == UiRangeVerdict::kPartial) {
    a->status = 206;
    a->status_text = "Partial Content";
    a->range_first = a->position = range.first;
    a->end = range.last + 1;
    a->headers.emplace_back("Content-Range", ContentRangeValue(range, a->size));
  }
  if (method == "HEAD") a->end = a->position;
}

int CEF_CALLBACK Open(cef_resource_handler_t* self, cef_request_t* request, int* handle_request,
                      cef_callback_t* callback) {
  const auto request_ref = AdoptRef(request);
  const auto callback_ref = AdoptRef(callback);
  FileAnswer* a = Of(self);
  if (handle_request) *handle_request = 1;  // answered now (a failure below cancels)
  if (request == nullptr) return 0;
  Prepare(a, request);
  return 1;
}

void CEF_CALLBACK GetResponseHeaders(cef_resource_handler_t* self, cef_response_t* response,
                                     int64_t* response_length, cef_string_t* /*redirect_url*/) {
  const auto response_ref = AdoptRef(response);
  FileAnswer* a = Of(self);
  if (response_length) {
    *response_length = a->file ? static_cast<int64_t>(a->end - a->position) : static_cast<int64_t>(a->body.size());
  }
  if (response == nullptr) return;
  if (response->set_status) response->set_status(response, a->status);
  if (response->set_status_text) {
      TempEngineString text(a->status_text);
      response->set_status_text(response, text.get());
    }
    if (response->set_mime_type) {
      TempEngineString mime(a->mime);
      response->set_mime_type(response, mime.get());
    }
    if (a->utf8_text && response->set_charset) {
      TempEngineString charset("utf-8");
      response->set_charset(response, charset.get());
    }
    if (response->set_header_by_name) {
      for (const auto& h : a->headers) {
        TempEngineString name(h.first), value(h.second);
        response->set_header_by_name(response, name.get(), value.get(), 1);
      }
    }
}

// The engine skips to the start of the range it asked for, before it asks for the headers:
// the answer already starts there. Any other count moves on from where the answer stands.
// An answer without a file (an error, a 416 for a range past the end) is sent whole
// whatever the range: the skip is granted, or the engine would turn that answer into a
// network error before the page sees it.
int CEF_CALLBACK Skip(cef_resource_handler_t* self, int64_t bytes_to_skip, int64_t* bytes_skipped,
                      cef_resource_skip_callback_t* callback) {
  const auto callback_ref = AdoptRef(callback);
  FileAnswer* a = Of(self);
  if (bytes_to_skip < 0) {
    if (bytes_skipped) *bytes_skipped = -2;  // ERR_FAILED
    return 0;
  }
  if (!a->file) {
    if (bytes_skipped) *bytes_skipped = bytes_to_skip;
    return 1;
  }
  const std::uint64_t wanted = static_cast<std::uint64_t>(bytes_to_skip);
  if (a->status == 206 && a->position == a->range_first && wanted == a->range_first) {
    if (bytes_skipped) *bytes_skipped = bytes_to_skip;
    return 1;
  }
  const std::uint64_t moved = std::min(wanted, a->end - a->position);
  a->position += moved;
  a->block_begin = a->block_end = 0;  // what was read ahead lies before the new place
  if (bytes_skipped) *bytes_skipped = static_cast<int64_t>(moved);
  return 1;
}

bool ReadAt(HANDLE file, std::uint64_t offset, char* out, DWORD count, DWORD* got) {
  OVERLAPPED at = {};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  *got = 0;
  return ReadFile(file, out, count, got, &at) != 0 || GetLastError() == ERROR_HANDLE_EOF;
}

// A read on the thread pool: the answer and the engine's callback each carry one reference
// for it, the engine's buffer stays valid until the callback is called.
struct PoolRead {
  FileAnswer* answer;
  cef_resource_read_callback_t* callback;
  char* out;
  DWORD wanted;  // what the engine asked for
  DWORD block;   // what is read
};

void CALLBACK RunPoolRead(PTP_CALLBACK_INSTANCE, void* context) {
  PoolRead* work = static_cast<PoolRead*>(context);
  FileAnswer* a = work->answer;
  DWORD got = 0;
  const bool ok = ReadAt(a->file.get(), a->position, a->buffer.data(), work->block, &got);
  int result;
  bool cancelled;
  {
    std::lock_guard<std::mutex> hold(a->lock);
    cancelled = a->cancelled;
    if (cancelled) {
      result = 0;
    } else if (!ok || got == 0) {
      result = -2;  // ERR_FAILED: the file shrank or cannot be read
    } else {
      const DWORD n = std::min(got, work->wanted);
      std::memcpy(work->out, a->buffer.data(), n);
      a->block_begin = n;
      a->block_end = got;
      a->position += n;
      result = static_cast<int>(n);
    }
  }
  // A cancelled request's buffer may be gone: nothing is written to it, nothing reported.
  if (!cancelled && work->callback->cont) work->callback->cont(work->callback, result);
  engine_ref_internal::Release(work->callback);
  AnswerRelease(&a->cef.base);
  delete work;
}

int CEF_CALLBACK Read(cef_resource_handler_t* self, void* data_out, int bytes_to_read, int* bytes_read,
                      cef_resource_read_callback_t* callback) {
  auto callback_ref = AdoptRef(callback);
  FileAnswer* a = Of(self);
  if (bytes_read) *bytes_read = 0;
  if (data_out == nullptr || bytes_to_read <= 0 || bytes_read == nullptr) return 0;
  if (!a->file) {
    const std::size_t n = std::min(static_cast<std::size_t>(bytes_to_read), a->body.size() - a->body_position);
    if (n == 0) return 0;  // the end
    std::memcpy(data_out, a->body.data() + a->body_position, n);
    a->body_position += n;
    *bytes_read = static_cast<int>(n);
    return 1;
  }
  const std::uint64_t left = a->end - a->position;
  if (left == 0) return 0;  // the end
  if (a->block_end > a->block_begin) {
    const std::size_t n = std::min(static_cast<std::size_t>(bytes_to_read), a->block_end - a->block_begin);
    std::memcpy(data_out, a->buffer.data() + a->block_begin, n);
    a->block_begin += n;
    a->position += n;
    *bytes_read = static_cast<int>(n);
    return 1;
  }
  const DWORD count = static_cast<DWORD>(std::min<std::uint64_t>(left, static_cast<std::uint64_t>(bytes_to_read)));
  if (a->size <= kSynchronousLimit || callback == nullptr || callback->cont == nullptr) {
    DWORD got = 0;
    if (!ReadAt(a->file.get(), a->position, static_cast<char*>(data_out), count, &got) || got == 0) {
      *bytes_read = -2;  // ERR_FAILED
      return 0;
    }
    a->position += got;
    *bytes_read = static_cast<int>(got);
    return 1;
  }
  if (a->buffer.size() < kBlockSize) a->buffer.resize(kBlockSize);
  const DWORD block = static_cast<DWORD>(std::min<std::uint64_t>(left, kBlockSize));
  PoolRead* work = new PoolRead{a, callback_ref.Transfer(), static_cast<char*>(data_out), count, block};
  AnswerAddRef(&a->cef.base);
  if (!TrySubmitThreadpoolCallback(RunPoolRead, work, nullptr)) {
    AnswerRelease(&a->cef.base);
    engine_ref_internal::Release(work->callback);
    delete work;
    *bytes_read = -2;
    return 0;
  }
  return 1;  // *bytes_read 0: the callback follows
}

void CEF_CALLBACK Cancel(cef_resource_handler_t* self) {
  FileAnswer* a = Of(self);
  std::lock_guard<std::mutex> hold(a->lock);
  a->cancelled = true;
}

}  // namespace

bool ConfigureUiOrigin(const std::string& folder) {
  if (ui_folder != nullptr || folder.empty()) return false;
  const std::wstring wide = WideFromUtf8(folder);
  wchar_t full[MAX_PATH * 4];
  const DWORD n = wide.empty() ? 0 : GetFullPathNameW(wide.c_str(), static_cast<DWORD>(std::size(full)), full, nullptr);
  std::wstring path = (n > 0 && n < std::size(full)) ? std::wstring(full, n) : std::wstring();
  while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
  UniqueFileHandle handle(path.empty() ? INVALID_HANDLE_VALUE
                                       : CreateFileW(ExtendedLengthPath(path).c_str(), 0,
                                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION info = {};
  const std::wstring final_path = handle ? FinalPath(handle.get()) : std::wstring();
  if (!handle || !GetFileInformationByHandle(handle.get(), &info) ||
      !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || final_path.empty()) {
    WriteLog("[nimo-webengine][ui] UI folder %s cannot be opened (err=%p) - https://nimo.localhost/ stays unmapped\n",
             folder.c_str(), static_cast<std::uint64_t>(GetLastError()));
    return false;
  }
  ui_folder = new UiFolder{path, final_path};  // lives for the process
  WriteLog("[nimo-webengine][ui] https://nimo.localhost/ serves %s\n", folder.c_str());
  return true;
}

bool UiOriginEnabled() { return ui_folder != nullptr; }

cef_resource_handler_t* UiResourceHandlerFor(cef_request_t* request) {
  if (ui_folder == nullptr || request == nullptr || request->get_url == nullptr) return nullptr;
  std::string url = UserfreeToUtf8(request->get_url(request));
  if (!IsUiOriginUrl(url)) return nullptr;
  FileAnswer* a = new FileAnswer();
  a->url = std::move(url);
  a->cef.base.size = sizeof(cef_resource_handler_t);
  a->cef.base.add_ref = AnswerAddRef;
  a->cef.base.release = AnswerRelease;
  a->cef.base.has_one_ref = HasOneRef;
  a->cef.base.has_at_least_one_ref = HasAtLeastOneRef;
  a->cef.open = Guarded<Open>;  // 0: the request is cancelled
  a->cef.get_response_headers = Guarded<GetResponseHeaders>;
  a->cef.skip = Guarded<Skip>;
  a->cef.read = Guarded<Read>;
  a->cef.cancel = Guarded<Cancel>;
  return &a->cef;  // the one reference, the engine's
}

}  // namespace nimo
