#include "model/FCCardArena.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstring>
#include <mutex>

// Under the leak checker the chunks are scanned like the heap: blocks that
// only objects in a chunk point to (a topic's list of cards, a long history)
// are reachable, not leaked.
#if defined(__SANITIZE_ADDRESS__)
#define FC_CARD_ARENA_LEAK_CHECKED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define FC_CARD_ARENA_LEAK_CHECKED 1
#endif
#endif
#ifdef FC_CARD_ARENA_LEAK_CHECKED
#include <sanitizer/lsan_interface.h>
#endif

std::atomic<std::size_t> FCCardArena::bytesInChunks_{0};

namespace {

// Chunks of arenas that are gone, mapped and already faulted in, for the next
// arena: a deck opened after another was closed reuses its memory instead of
// having the system map and zero every page again (a 2 MiB page each). Left
// alive at exit, as arenas may go on any thread until then.
struct ChunkPool {
    std::mutex lock;
    std::vector<void*> chunks;
};

ChunkPool& chunkPool() {
    static ChunkPool* pool = new ChunkPool();
    return *pool;
}

}  // namespace

void FCCardArena::finishReading() noexcept {
    const std::int64_t objects = allocations_;
    if (references_.fetch_add(objects - kReaderReferences, std::memory_order_acq_rel) + objects - kReaderReferences ==
        0)
        delete this;
}

FCCardArena::~FCCardArena() {
    ChunkPool& pool = chunkPool();
    std::lock_guard guard(pool.lock);
    for (void* chunk : chunks_) {
#ifdef FC_CARD_ARENA_LEAK_CHECKED
        __lsan_unregister_root_region(chunk, kChunkSize);
#endif
        if (pool.chunks.size() < kMaxPooledChunks) {
            pool.chunks.push_back(chunk);  // room reserved when the chunk was added
        } else {
            ::munmap(chunk, kChunkSize);
        }
    }
    bytesInChunks_.fetch_sub(chunks_.size() * kChunkSize, std::memory_order_relaxed);
}

std::size_t FCCardArena::pooledChunks() {
    ChunkPool& pool = chunkPool();
    std::lock_guard guard(pool.lock);
    return pool.chunks.size();
}

void FCCardArena::addChunk() {
    chunks_.reserve(chunks_.size() + 1);  // before mapping, so that a failure here leaks nothing
    void* reused = nullptr;
    {
        ChunkPool& pool = chunkPool();
        std::lock_guard guard(pool.lock);
        // Room for every chunk that may come back, so that giving one back never allocates.
        pool.chunks.reserve(kMaxPooledChunks);
        if (!pool.chunks.empty()) {
            reused = pool.chunks.back();
            pool.chunks.pop_back();
        }
    }
    if (reused) {
        useChunk(static_cast<char*>(reused));
        return;
    }
    // Mapped with room to start at a multiple of its size, the rest given back,
    // so that the whole chunk can be one huge page.
    void* mapped = ::mmap(nullptr, 2 * kChunkSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) throw std::bad_alloc();
    auto* start = static_cast<char*>(mapped);
    auto* aligned = reinterpret_cast<char*>((reinterpret_cast<std::uintptr_t>(start) + kChunkSize - 1) &
                                            ~static_cast<std::uintptr_t>(kChunkSize - 1));
    if (aligned > start) ::munmap(start, static_cast<std::size_t>(aligned - start));
    char* tail = aligned + kChunkSize;
    const std::size_t tailLength = static_cast<std::size_t>(start + 2 * kChunkSize - tail);
    if (tailLength > 0) ::munmap(tail, tailLength);
#ifdef MADV_HUGEPAGE
    ::madvise(aligned, kChunkSize, MADV_HUGEPAGE);  // advice only: small pages work the same
#endif
    useChunk(aligned);
}

void FCCardArena::useChunk(char* chunk) {
#ifdef FC_CARD_ARENA_LEAK_CHECKED
    __lsan_register_root_region(chunk, kChunkSize);
#endif
    chunks_.push_back(chunk);
    bytesInChunks_.fetch_add(kChunkSize, std::memory_order_relaxed);
    FCCardArena* owner = this;
    std::memcpy(chunk, &owner, sizeof owner);
    next_ = chunk + ((sizeof owner + kAlignment - 1) & ~(kAlignment - 1));
    end_ = chunk + kChunkSize;
}
