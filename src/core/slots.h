// Tables of relaxed-atomic slots (the transposition table, the pawn hash, the evaluation
// cache): zeroed allocation, and the raw file image the dump writes and reads word by word so
// that a search may run meanwhile. A slot type provides SaveSlot and LoadSlot overloads.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <type_traits>

namespace slots {

// Beyond this no table is attempted: such a size comes from a mistyped option, and asking
// the allocator for it would only fail (or, under the sanitizers, abort).
constexpr uint64_t kMaxTableBytes = uint64_t(1) << 40;

// Allocates nCount zeroed slots, or returns null; FreeSlots releases them. The slots are
// aggregates of lock-free atomic words, for which all-zero bytes are the value zero, so the
// zeroed pages calloc maps serve as they are: value-initialising each word instead costs a
// pass over the whole table (a fifth of a second for 64 MB, seconds under the sanitizers)
// at the first search of every game, on the clock.
template <class T>
T* AllocSlots(uint64_t nCount) {
    static_assert(std::is_aggregate_v<T> && std::is_trivially_destructible_v<T>);
    if (nCount == 0 || nCount > kMaxTableBytes / sizeof(T)) return nullptr;
    return static_cast<T*>(std::calloc(size_t(nCount), sizeof(T)));
}

template <class T>
void FreeSlots(T* p) {
    std::free(p);
}

// Copies slots to or from a file through a buffer, word by word (each word of a slot is an
// atomic; the bytes are its native layout).
constexpr size_t kChunkBytes = 1 << 16;

template <class W>
void SaveWords(const std::atomic<W>* p, int n, uint8_t*& out) {
    for (int i = 0; i < n; ++i, out += sizeof(W)) {
        const W w = p[i].load(std::memory_order_relaxed);
        memcpy(out, &w, sizeof(W));
    }
}

template <class W>
void LoadWords(std::atomic<W>* p, int n, const uint8_t*& in) {
    for (int i = 0; i < n; ++i, in += sizeof(W)) {
        W w;
        memcpy(&w, in, sizeof(W));
        p[i].store(w, std::memory_order_relaxed);
    }
}

}  // namespace slots

// Whole tables to and from a file, through a buffer.
template <class Slot>
bool WriteSlots(FILE* f, const Slot* p, uint64_t n) {
    uint8_t buf[slots::kChunkBytes];
    constexpr uint64_t kPerChunk = slots::kChunkBytes / sizeof(Slot);
    for (uint64_t i = 0; i < n;) {
        const uint64_t k = n - i < kPerChunk ? n - i : kPerChunk;
        uint8_t* out = buf;
        for (uint64_t j = 0; j < k; ++j) SaveSlot(p[i + j], out);
        if (fwrite(buf, sizeof(Slot), size_t(k), f) != k) return false;
        i += k;
    }
    return true;
}

template <class Slot>
bool ReadSlots(FILE* f, Slot* p, uint64_t n) {
    uint8_t buf[slots::kChunkBytes];
    constexpr uint64_t kPerChunk = slots::kChunkBytes / sizeof(Slot);
    for (uint64_t i = 0; i < n;) {
        const uint64_t k = n - i < kPerChunk ? n - i : kPerChunk;
        if (fread(buf, sizeof(Slot), size_t(k), f) != k) return false;
        const uint8_t* in = buf;
        for (uint64_t j = 0; j < k; ++j) LoadSlot(p[i + j], in);
        i += k;
    }
    return true;
}
