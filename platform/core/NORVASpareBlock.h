#pragma once
// One freed block kept for the next allocation of the same type: a type
// that is made and freed once per node of a long run then mostly skips the
// allocator. One block only, taken and given with single atomic steps, so
// any thread may use it; a block that finds the place taken is freed.
#include <atomic>
#include <cstddef>
#include <new>

// Under AddressSanitizer every block goes back to the allocator, so a use
// after free is still caught rather than hidden by reuse.
#if defined(__SANITIZE_ADDRESS__)
#define NORVA_SPARE_BLOCKS 0
#else
#define NORVA_SPARE_BLOCKS 1
#endif

template <class T>
class NORVASpareBlock {
public:
    // Memory for an object of `size` bytes; the kept block when it fits.
    static void* take(size_t size) {
        if (NORVA_SPARE_BLOCKS && size == sizeof(T))
            if (void* p = s_spare.exchange(nullptr, std::memory_order_acquire)) return p;
        return ::operator new(size);
    }
    // Frees memory from take, or keeps it for the next one.
    static void give(void* p, size_t size) {
        void* none = nullptr;
        if (NORVA_SPARE_BLOCKS && p && size == sizeof(T) &&
            s_spare.compare_exchange_strong(none, p, std::memory_order_release, std::memory_order_relaxed))
            return;
        ::operator delete(p);
    }

private:
    static inline std::atomic<void*> s_spare{nullptr};
};
