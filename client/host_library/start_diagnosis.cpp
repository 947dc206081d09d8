#include "client/host_library/start_diagnosis.h"

#include <vector>

#include "client/portable/start_failure.h"

namespace nimo {
namespace host {

namespace {

constexpr std::size_t kTailLines = 8;
// A start logs a few dozen lines; more than this of one start is not read back.
constexpr std::uint64_t kMaxTailBytes = 64u << 10;

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return std::wstring();
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &out[0], n);
  return out;
}

std::uint64_t FileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  if (!GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data)) return 0;
  return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// The bytes of `path` from `from` on (at most the last kMaxTailBytes of them). The engine's
// processes keep appending, so the file is shared for reading and writing.
std::string ReadFrom(const std::string& path, std::uint64_t from) {
  HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::string();
  std::string text;
  LARGE_INTEGER size = {};
  if (GetFileSizeEx(file, &size)) {
    const std::uint64_t end = static_cast<std::uint64_t>(size.QuadPart);
    // A log deleted and begun again since the start is read whole.
    std::uint64_t begin = from <= end ? from : 0;
    if (end - begin > kMaxTailBytes) begin = end - kMaxTailBytes;
    LARGE_INTEGER at = {};
    at.QuadPart = static_cast<LONGLONG>(begin);
    text.resize(static_cast<std::size_t>(end - begin));
    DWORD read = 0;
    if (!text.empty() && SetFilePointerEx(file, at, nullptr, FILE_BEGIN) &&
        ReadFile(file, &text[0], static_cast<DWORD>(text.size()), &read, nullptr))
      text.resize(read);
    else
      text.clear();
  }
  CloseHandle(file);
  return text;
}

}  // namespace

StartDiagnosis::StartDiagnosis(const std::string& engine_path) {
  const std::size_t slash = engine_path.find_last_of("\\/");
  const std::string folder = slash == std::string::npos ? std::string(".") : engine_path.substr(0, slash);
  flag_ = folder + "\\ZUNT_DEBUG";
  log_ = folder + "\\webengine.log";
  log_start_ = FileSize(log_);
}

void StartDiagnosis::Describe(HANDLE process, DWORD wait_ms, StartError* error) const {
  DWORD code = STILL_ACTIVE;
  if (process != nullptr && WaitForSingleObject(process, wait_ms) == WAIT_OBJECT_0 &&
      GetExitCodeProcess(process, &code) && code != STILL_ACTIVE)
    error->exit_code = static_cast<long>(code);
  error->debug_flag = flag_;
  if (GetFileAttributesW(Wide(flag_).c_str()) == INVALID_FILE_ATTRIBUTES) return;
  error->engine_log = log_;
  error->log_tail = client::LastLines(ReadFrom(log_, log_start_), kTailLines);
}

}  // namespace host
}  // namespace nimo
