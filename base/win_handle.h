// Owners of Win32 kernel handles: each closes its handle exactly once, when it goes out of
// scope or is reset, so a failure path is a plain return. The "none" value is part of the
// type, because the API is not uniform about it:
//   UniqueHandle      none is null: events, threads, processes, file mappings, duplicates.
//   UniqueFileHandle  none is INVALID_HANDLE_VALUE: CreateFile, CreateNamedPipe.
// COM pointers are held by Microsoft::WRL::ComPtr (<wrl/client.h>) instead.
//
// Header-only and needs nothing but <windows.h>, so every folder may use it: the product's
// subsystems and client/ (the reference client, the host library) alike, and the tests.
// Threads: an owner is a plain value; it belongs to whoever holds it.
#pragma once
#include <windows.h>

namespace nimo {

struct NullIsNone {
  static HANDLE None() { return nullptr; }
};
struct InvalidIsNone {
  static HANDLE None() { return INVALID_HANDLE_VALUE; }
};

template <typename Traits>
class [[nodiscard]] BasicUniqueHandle {
 public:
  BasicUniqueHandle() = default;
  explicit BasicUniqueHandle(HANDLE handle) : handle_(handle) {}
  ~BasicUniqueHandle() { reset(); }

  BasicUniqueHandle(BasicUniqueHandle&& other) noexcept : handle_(other.release()) {}
  BasicUniqueHandle& operator=(BasicUniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  BasicUniqueHandle(const BasicUniqueHandle&) = delete;
  BasicUniqueHandle& operator=(const BasicUniqueHandle&) = delete;

  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != Traits::None() && handle_ != nullptr; }
  explicit operator bool() const { return valid(); }

  // Closes the handle held, if any, and takes `handle`.
  void reset(HANDLE handle = Traits::None()) {
    const HANDLE old = handle_;
    handle_ = handle;
    if (old != Traits::None() && old != nullptr && old != handle) CloseHandle(old);
  }

  // Gives up ownership without closing: the caller closes what is returned.
  [[nodiscard]] HANDLE release() {
    const HANDLE handle = handle_;
    handle_ = Traits::None();
    return handle;
  }

  // For an API that returns a handle through a HANDLE* argument: closes the handle held
  // and hands out the slot to fill.
  HANDLE* receive() {
    reset();
    return &handle_;
  }

 private:
  HANDLE handle_ = Traits::None();
};

using UniqueHandle = BasicUniqueHandle<NullIsNone>;
using UniqueFileHandle = BasicUniqueHandle<InvalidIsNone>;

}  // namespace nimo
