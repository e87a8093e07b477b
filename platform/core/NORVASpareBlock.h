#pragma once
// One freed block kept for the next allocation of the same type: a type
// that is made and freed once per node of a long run then mostly skips the
// allocator. Each thread keeps its own block, so taking and giving need no
// atomic step; a block that finds its thread's place taken is freed, and a
// thread's kept block is freed when the thread ends.
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
        if (NORVA_SPARE_BLOCKS && size == sizeof(T) && t_block) {
            void* p = t_block;
            t_block = nullptr;
            return p;
        }
        return ::operator new(size);
    }
    // Frees memory from take, or keeps it for the next one.
    static void give(void* p, size_t size) {
        if (NORVA_SPARE_BLOCKS && p && size == sizeof(T) && !t_block && t_state != kEnded) {
            if (t_state == kNew) watchThreadEnd();
            t_block = p;
            return;
        }
        ::operator delete(p);
    }

private:
    enum State : unsigned char { kNew, kWatched, kEnded };
    // Frees the thread's kept block when the thread ends; nothing is kept
    // after that.
    struct Watch {
        ~Watch() {
            ::operator delete(t_block);
            t_block = nullptr;
            t_state = kEnded;
        }
    };
    static void watchThreadEnd() {
        static thread_local Watch watch;
        (void)watch;
        t_state = kWatched;
    }

    // Plain values: reaching them costs no check of whether they are made.
    static inline thread_local void* t_block = nullptr;
    static inline thread_local State t_state = kNew;
};
