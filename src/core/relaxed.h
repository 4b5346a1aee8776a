// Values that one thread writes while others read them during a search
// (counters, the published result, the root state) go through relaxed atomic
// accesses: plain moves on x86, and no data race for the compiler or for
// ThreadSanitizer. A reader may see a value one update old, which only
// shifts a time or output decision by one call.
#pragma once
#include <atomic>

template <class T>
inline T relaxed_load(const T& value) {
    return std::atomic_ref<T>(const_cast<T&>(value)).load(std::memory_order_relaxed);
}

template <class T>
inline void relaxed_store(T& value, T x) {
    std::atomic_ref<T>(value).store(x, std::memory_order_relaxed);
}

// Counters have a single writer, so a load and a store (no locked add) suffice.
template <class T>
inline void bump(T& counter) {
    relaxed_store(counter, T(relaxed_load(counter) + 1));
}
