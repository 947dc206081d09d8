// EngineRef: the one owner of a reference to an engine object (any structure whose first
// member is the engine's cef_base_ref_counted_t `base`). It releases its reference exactly
// once, when it goes out of scope or is reset, so every return path of a callback is
// balanced. The engine's rules, and the call that follows each:
//   - each object argument of a callback (other than `self`) carries one reference for
//     the callee:                                    auto b = AdoptRef(browser);
//   - an object returned by an engine slot or function belongs to the caller:
//                                                    auto host = GetRef(browser, &cef_browser_t::get_host);
//   - an object handed to a call that consumes a reference (send_process_message, a
//     post_task, set_value_bykey, is_same):         call(x.Transfer()) or call(x.NewRef())
//   - an object the program returns to the engine carries one reference for it:
//                                                    return HandOver(&static_handler);
// Every slot is tested for presence before it is called. Nothing outside this header calls
// add_ref or release on an engine object.
//
// Threads: a holder is a plain value belonging to whoever holds it; the reference counts
// themselves are the engine's (thread-safe).
#pragma once
#include <cstddef>
#include <type_traits>
#include <utility>

#include "base/portable/engine_abi.h"

namespace nimo {

namespace engine_ref_internal {

template <typename T>
void AddRef(T* object) {
  if (object != nullptr && object->base.add_ref != nullptr) object->base.add_ref(&object->base);
}

template <typename T>
void Release(T* object) {
  if (object != nullptr && object->base.release != nullptr) object->base.release(&object->base);
}

}  // namespace engine_ref_internal

template <typename T>
class [[nodiscard]] EngineRef {
 public:
  EngineRef() = default;
  EngineRef(std::nullptr_t) {}
  ~EngineRef() { reset(); }

  // Takes over the reference `object` already carries (null gives an empty holder).
  static EngineRef Adopt(T* object) {
    EngineRef ref;
    ref.object_ = object;
    return ref;
  }
  // Adds a reference of its own to `object`, which the caller keeps.
  static EngineRef Share(T* object) {
    engine_ref_internal::AddRef(object);
    return Adopt(object);
  }

  EngineRef(EngineRef&& other) noexcept : object_(other.object_) { other.object_ = nullptr; }
  EngineRef& operator=(EngineRef&& other) noexcept {
    if (this != &other) {
      reset();
      object_ = other.object_;
      other.object_ = nullptr;
    }
    return *this;
  }
  EngineRef(const EngineRef&) = delete;
  EngineRef& operator=(const EngineRef&) = delete;

  T* get() const { return object_; }
  T* operator->() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }

  // Releases the reference held, if any.
  void reset() {
    T* object = object_;
    object_ = nullptr;
    engine_ref_internal::Release(object);
  }

  // Hands the reference over to a call that consumes it; the holder is empty afterwards.
  [[nodiscard]] T* Transfer() {
    T* object = object_;
    object_ = nullptr;
    return object;
  }

  // A further reference for a call that consumes one, while this holder keeps its own.
  [[nodiscard]] T* NewRef() const {
    engine_ref_internal::AddRef(object_);
    return object_;
  }

 private:
  T* object_ = nullptr;
};

// Takes over the reference a callback argument or a returned object carries.
template <typename T>
EngineRef<T> AdoptRef(T* object) {
  return EngineRef<T>::Adopt(object);
}

// A reference of the holder's own to an object someone else keeps alive.
template <typename T>
EngineRef<T> ShareRef(T* object) {
  return EngineRef<T>::Share(object);
}

// Calls a getter slot of `object` that returns an engine object (get_host, get_main_frame,
// get_argument_list, ...) and owns the result; empty when the object or the slot is null.
template <typename T, typename Slot>
auto GetRef(T* object, Slot T::*slot)
    -> EngineRef<std::remove_pointer_t<decltype((object->*slot)(object))>> {
  using Result = std::remove_pointer_t<decltype((object->*slot)(object))>;
  if (object == nullptr || object->*slot == nullptr) return EngineRef<Result>();
  return EngineRef<Result>::Adopt((object->*slot)(object));
}
template <typename T, typename Slot>
auto GetRef(const EngineRef<T>& object, Slot T::*slot) -> decltype(GetRef(object.get(), slot)) {
  return GetRef(object.get(), slot);
}

// The references an array argument carries, one per element (a V8 call's `arguments`),
// released together when the holder goes out of scope. Null elements are skipped.
template <typename T>
class [[nodiscard]] AdoptedArray {
 public:
  AdoptedArray(T* const* items, std::size_t count) : items_(items), count_(items ? count : 0) {}
  ~AdoptedArray() {
    for (std::size_t i = 0; i < count_; ++i) engine_ref_internal::Release(items_[i]);
  }
  AdoptedArray(const AdoptedArray&) = delete;
  AdoptedArray& operator=(const AdoptedArray&) = delete;

 private:
  T* const* items_;
  std::size_t count_;
};

// `object` with one reference added, for returning a stored or static object to the
// engine (get_*_handler, get_resource_request_handler, ...).
template <typename T>
T* HandOver(T* object) {
  engine_ref_internal::AddRef(object);
  return object;
}

}  // namespace nimo
