// Serving files from the UI origin: the time the product's resource handler takes to hand
// a 1 MB and a 100 MB file to the engine (open, headers, 64 KiB reads as the engine asks
// for them, the larger file's reads answered from the thread pool), beside reading the
// same file directly with ReadFile in 64 KiB pieces. Also the longest single call the
// handler makes the engine's IO thread wait for while the large file streams. The files
// are read once before timing, so both sides read from the system's cache.
//
// Run: build/cross/wine-run.sh build/cross/bin/bench_ui_origin.exe [repeats]
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "surfaces/ui_origin.h"
#include "tests/support/fake_cef.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kPiece = 64 * 1024;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// Engine objects as the bench hands them to the handler: static, their counts unused.
void CEF_CALLBACK NoRef(cef_base_ref_counted_t*) {}
int CEF_CALLBACK NoRelease(cef_base_ref_counted_t*) { return 0; }
int CEF_CALLBACK One(cef_base_ref_counted_t*) { return 1; }
template <class T>
void StaticBase(T* object) {
  object->base.size = sizeof(T);
  object->base.add_ref = NoRef;
  object->base.release = NoRelease;
  object->base.has_one_ref = One;
  object->base.has_at_least_one_ref = One;
}

std::string current_url;
cef_string_userfree_t CEF_CALLBACK GetUrl(cef_request_t*) { return nimo::test::NewUserfreeString(current_url); }
cef_string_userfree_t CEF_CALLBACK GetMethod(cef_request_t*) { return nimo::test::NewUserfreeString("GET"); }
cef_string_userfree_t CEF_CALLBACK GetHeader(cef_request_t*, const cef_string_t*) {
  return nimo::test::NewUserfreeString("");
}
void CEF_CALLBACK SetStatus(cef_response_t*, int) {}
void CEF_CALLBACK SetText(cef_response_t*, const cef_string_t*) {}
void CEF_CALLBACK SetHeader(cef_response_t*, const cef_string_t*, const cef_string_t*, int) {}

struct ReadWait {
  cef_resource_read_callback_t cef;
  HANDLE done = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  std::atomic<int> bytes{0};
};
ReadWait read_wait;
void CEF_CALLBACK ReadCont(cef_resource_read_callback_t*, int bytes) {
  read_wait.bytes = bytes;
  SetEvent(read_wait.done);
}

struct Served {
  double ms = 0;
  long long bytes = 0;
  double longest_call_us = 0;  // the longest the IO thread waited in one handler call
};

Served Serve(const std::string& name) {
  static cef_request_t request = [] {
    cef_request_t r = {};
    StaticBase(&r);
    r.get_url = GetUrl;
    r.get_method = GetMethod;
    r.get_header_by_name = GetHeader;
    return r;
  }();
  static cef_response_t response = [] {
    cef_response_t r = {};
    StaticBase(&r);
    r.set_status = SetStatus;
    r.set_status_text = SetText;
    r.set_mime_type = SetText;
    r.set_charset = SetText;
    r.set_header_by_name = SetHeader;
    return r;
  }();
  StaticBase(&read_wait.cef);
  read_wait.cef.cont = ReadCont;
  current_url = "https://nimo.localhost/" + name;
  std::vector<char> piece(kPiece);
  Served s;
  auto timed = [&s](auto call) {
    const Clock::time_point t = Clock::now();
    auto result = call();
    s.longest_call_us = std::max(s.longest_call_us, Ms(Clock::now() - t) * 1000.0);
    return result;
  };
  const Clock::time_point start = Clock::now();
  cef_resource_handler_t* h = nimo::UiResourceHandlerFor(&request);
  if (!h) return s;
  int handle = 0;
  timed([&] { return h->open(h, &request, &handle, nullptr); });
  int64_t length = 0;
  timed([&] {
    h->get_response_headers(h, &response, &length, nullptr);
    return 0;
  });
  for (;;) {
    int got = 0;
    const int more = timed([&] { return h->read(h, piece.data(), kPiece, &got, &read_wait.cef); });
    if (more && got == 0) {
      WaitForSingleObject(read_wait.done, INFINITE);
      got = read_wait.bytes;
    } else if (!more) {
      break;
    }
    if (got <= 0) break;
    s.bytes += got;
  }
  s.ms = Ms(Clock::now() - start);
  h->base.release(&h->base);
  return s;
}

double ReadDirect(const std::string& path, long long* bytes) {
  std::vector<char> piece(kPiece);
  const Clock::time_point start = Clock::now();
  HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  *bytes = 0;
  DWORD got = 0;
  while (f != INVALID_HANDLE_VALUE && ReadFile(f, piece.data(), kPiece, &got, nullptr) && got > 0) *bytes += got;
  if (f != INVALID_HANDLE_VALUE) CloseHandle(f);
  return Ms(Clock::now() - start);
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const std::string folder = std::string(temp) + "nimo-ui-bench-" + std::to_string(GetCurrentProcessId());
  CreateDirectoryA(folder.c_str(), nullptr);
  const struct {
    const char* name;
    std::size_t size;
  } files[] = {{"one.bin", 1u << 20}, {"hundred.bin", 100u << 20}};
  std::vector<char> chunk(1 << 20);
  for (std::size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<char>(i * 31);
  for (const auto& f : files) {
    FILE* out = std::fopen((folder + "\\" + f.name).c_str(), "wb");
    for (std::size_t done = 0; out && done < f.size; done += chunk.size()) {
      std::fwrite(chunk.data(), 1, chunk.size(), out);
    }
    if (out) std::fclose(out);
  }
  nimo::test::InstallFakeEngineStrings();
  if (!nimo::ConfigureUiOrigin(folder)) {
    std::fprintf(stderr, "the bench folder cannot be mapped\n");
    return 1;
  }
  std::printf("UI origin: serving a file through the resource handler vs reading it directly (median of %d)\n\n",
              repeats);
  std::printf("| file | served ms | served MB/s | direct ms | direct MB/s | longest IO-thread call us |\n");
  std::printf("|---|---:|---:|---:|---:|---:|\n");
  for (const auto& f : files) {
    long long bytes = 0;
    ReadDirect(folder + "\\" + f.name, &bytes);  // into the cache
    Serve(f.name);
    std::vector<double> served, direct, longest;
    bool whole = true;
    for (int i = 0; i < repeats; ++i) {
      const Served s = Serve(f.name);
      whole = whole && s.bytes == static_cast<long long>(f.size);
      served.push_back(s.ms);
      longest.push_back(s.longest_call_us);
      direct.push_back(ReadDirect(folder + "\\" + f.name, &bytes));
    }
    const double mb = static_cast<double>(f.size) / (1 << 20);
    std::printf("| %s (%.0f MB)%s | %.2f | %.0f | %.2f | %.0f | %.0f |\n", f.name, mb, whole ? "" : " INCOMPLETE",
                Median(served), mb / (Median(served) / 1000.0), Median(direct), mb / (Median(direct) / 1000.0),
                Median(longest));
  }
  for (const auto& f : files) DeleteFileA((folder + "\\" + f.name).c_str());
  RemoveDirectoryA(folder.c_str());
  return 0;
}
