#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <utility>
#include <vector>

// Memory for the cards of one deck as it is read: chunks of kChunkSize handed
// out in order and never reused, given back to the system when the last
// object in them is gone. Reading a deck makes a few small objects per card,
// hundreds of thousands at once; most of that time went to malloc and to the
// system filling fresh pages one fault at a time. Chunks are aligned to and
// as large as a huge page and the system is asked to back them with huge
// pages where it can.
//
// The chunks of an arena that is gone are kept (up to kMaxPooledChunks) for
// the next one, so that opening a deck after closing another does not pay
// for fresh pages again.
//
// Only the reading thread allocates, and only until it calls
// `finishReading()`; the objects may be freed on any thread at any time, the
// arena itself goes when the reader has finished and every object is gone.
// Each object holds one reference, taken without an atomic operation while
// reading (the reader's own reference stands for them until it finishes).
//
// Every chunk starts with its arena, so that the memory of an object tells
// which arena to give it back to (`owning`): the allocator below holds
// nothing, and a shared pointer's control block made with it carries no
// pointer to its arena.
class FCCardArena {
public:
    static constexpr std::size_t kChunkSize = std::size_t{2} << 20;
    // Larger allocations are not taken from the arena.
    static constexpr std::size_t kMaxAllocation = kChunkSize / 8;
    // Chunks kept for later arenas at most (80 MiB, the cards of a deck of
    // about 250,000); more are given back to the system.
    static constexpr std::size_t kMaxPooledChunks = 40;
    static constexpr std::size_t kAlignment = alignof(std::max_align_t) < 8 ? alignof(std::max_align_t) : 8;

    // A new arena, held by its reader.
    static FCCardArena* make() { return new FCCardArena(); }

    // `bytes` (at most kMaxAllocation) aligned to kAlignment; throws
    // std::bad_alloc when the system has no memory for a new chunk.
    void* allocate(std::size_t bytes) {
        bytes = (bytes + kAlignment - 1) & ~(kAlignment - 1);
        if (static_cast<std::size_t>(end_ - next_) < bytes) addChunk();
        void* at = next_;
        next_ += bytes;
        ++allocations_;
        return at;
    }

    // One object allocated here is gone.
    void deallocate() noexcept {
        if (references_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
    }

    // The reader is done: from now on only the objects hold the arena.
    void finishReading() noexcept;

    // The arena of memory it handed out.
    static FCCardArena& owning(const void* allocated) noexcept {
        FCCardArena* arena;
        std::memcpy(&arena,
                    reinterpret_cast<const void*>(reinterpret_cast<std::uintptr_t>(allocated) & ~(kChunkSize - 1)),
                    sizeof arena);
        return *arena;
    }

    // While it lives, the allocator takes memory on this thread from the
    // arena (which only this thread reads into meanwhile).
    class Reading {
    public:
        explicit Reading(FCCardArena& arena) noexcept : previous_(reading_) { reading_ = &arena; }
        ~Reading() { reading_ = previous_; }
        Reading(const Reading&) = delete;
        Reading& operator=(const Reading&) = delete;

    private:
        FCCardArena* previous_;
    };

    // Bytes in chunks of all arenas alive, for measuring memory (kept chunks
    // not counted).
    static std::size_t bytesInChunks() { return bytesInChunks_.load(std::memory_order_relaxed); }
    // Chunks kept for later arenas.
    static std::size_t pooledChunks();

    // An allocator for std::allocate_shared and the control blocks of
    // std::shared_ptr: allocates from the arena of the current `Reading` on
    // this thread, gives back to the arena the memory came from.
    template <class T>
    struct Allocator {
        using value_type = T;
        static_assert(alignof(T) <= kAlignment, "the arena aligns to 8 bytes");
        Allocator() noexcept = default;
        template <class U>
        Allocator(const Allocator<U>&) noexcept {}
        T* allocate(std::size_t n) { return static_cast<T*>(reading_->allocate(n * sizeof(T))); }
        void deallocate(T* p, std::size_t) noexcept { owning(p).deallocate(); }
        template <class U>
        bool operator==(const Allocator<U>&) const noexcept {
            return true;
        }
    };

    // Small objects made in one go (the reversed views of a study list or a
    // grouping): from kBatchFrom of them on they share a new arena, as one
    // allocation each would cost much of a large batch; fewer each get their
    // own. The batch reads into its arena while it lives.
    class Batch {
    public:
        static constexpr std::size_t kBatchFrom = 256;
        explicit Batch(std::size_t count)
            : arena_(count >= kBatchFrom ? FCCardArena::make() : nullptr), previous_(reading_) {
            if (arena_) reading_ = arena_;
        }
        ~Batch() {
            reading_ = previous_;
            if (arena_) arena_->finishReading();
        }
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;

        template <class T, class... Args>
        std::shared_ptr<T> make(Args&&... args) {
            return arena_ ? std::allocate_shared<T>(Allocator<T>(), std::forward<Args>(args)...)
                          : std::make_shared<T>(std::forward<Args>(args)...);
        }

    private:
        FCCardArena* arena_;
        FCCardArena* previous_;  // the arena read into before the batch
    };

    FCCardArena(const FCCardArena&) = delete;
    FCCardArena& operator=(const FCCardArena&) = delete;

private:
    // The reader's reference, counted as this many so that objects freed
    // while reading never bring the count to zero.
    static constexpr std::int64_t kReaderReferences = std::int64_t{1} << 62;

    FCCardArena() = default;
    ~FCCardArena();
    void addChunk();
    void useChunk(char* chunk);

    std::atomic<std::int64_t> references_{kReaderReferences};
    std::int64_t allocations_ = 0;
    char* next_ = nullptr;
    char* end_ = nullptr;
    std::vector<void*> chunks_;
    static std::atomic<std::size_t> bytesInChunks_;
    static inline thread_local FCCardArena* reading_ = nullptr;
};
