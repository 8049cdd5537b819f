// CSampleRing: the fixed-capacity ring of samples between the disc reader (producer)
// and the encoder driver (consumer). One lock guards both indices and is held only
// while they are read or moved; the copies themselves run outside it, which is safe
// because each side only touches the part of the storage the indices give it.
// It lives with the encoder contract: the rip fills it, the drivers drain it.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <vector>

namespace quarrow {

template <typename T>
class CSampleRing {
public:
    CSampleRing() = default;
    explicit CSampleRing(std::size_t capacity) { Allocate(capacity); }
    CSampleRing(const CSampleRing&) = delete;
    CSampleRing& operator=(const CSampleRing&) = delete;

    // (Re)creates empty storage; one slot always stays unused, so a ring of capacity c
    // holds at most c - 1 samples.
    void Allocate(std::size_t capacity) {
        std::lock_guard<std::mutex> lock(mutex_);
        storage_.assign(capacity, T{});
        storage_.shrink_to_fit();
        read_ = write_ = 0;
    }
    void Free() {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<T>().swap(storage_);
        read_ = write_ = 0;
    }
    void Reset() {
        std::lock_guard<std::mutex> lock(mutex_);
        read_ = write_ = 0;
    }

    std::size_t Capacity() const { return storage_.size(); }

    // Samples waiting to be read.
    std::size_t Available() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return AvailableLocked();
    }
    // Room left for the writer: (capacity - write - 1 + read) mod capacity.
    std::size_t FreeCount() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return FreeLocked();
    }

    // Copies min(count, free) samples in, in two pieces when they reach the end of the
    // storage; returns how many were taken. The rest is dropped.
    std::size_t Write(const T* data, std::size_t count) {
        std::size_t w;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            count = std::min(count, FreeLocked());
            w = write_;
        }
        if (count == 0) return 0;
        const std::size_t cap = storage_.size();
        const std::size_t first = std::min(count, cap - w);
        std::memcpy(storage_.data() + w, data, first * sizeof(T));
        if (count > first) std::memcpy(storage_.data(), data + first, (count - first) * sizeof(T));
        {
            std::lock_guard<std::mutex> lock(mutex_);
            write_ = (write_ + count) % cap;
        }
        moved_.notify_all();
        return count;
    }

    // Copies min(count, available) samples out and advances the read index; returns
    // how many were taken.
    std::size_t Read(T* out, std::size_t count) {
        std::size_t r;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            count = std::min(count, AvailableLocked());
            r = read_;
        }
        if (count == 0) return 0;
        const std::size_t cap = storage_.size();
        const std::size_t first = std::min(count, cap - r);
        std::memcpy(out, storage_.data() + r, first * sizeof(T));
        if (count > first) std::memcpy(out + first, storage_.data(), (count - first) * sizeof(T));
        {
            std::lock_guard<std::mutex> lock(mutex_);
            read_ = (read_ + count) % cap;
        }
        moved_.notify_all();
        return count;
    }

    // Wait at most timeout for room for count samples, or for count samples to read;
    // they return at once when the other side moves the indices far enough, so a side
    // that waits never waits longer than the other needs.
    template <typename Rep, typename Period>
    bool WaitForFree(std::size_t count, std::chrono::duration<Rep, Period> timeout) const {
        std::unique_lock<std::mutex> lock(mutex_);
        return moved_.wait_for(lock, timeout, [&] { return FreeLocked() >= count; });
    }
    template <typename Rep, typename Period>
    bool WaitForAvailable(std::size_t count, std::chrono::duration<Rep, Period> timeout) const {
        std::unique_lock<std::mutex> lock(mutex_);
        return moved_.wait_for(lock, timeout, [&] { return AvailableLocked() >= count; });
    }

private:
    std::size_t AvailableLocked() const {
        const std::size_t cap = storage_.size();
        if (cap == 0) return 0;
        return write_ >= read_ ? write_ - read_ : cap - read_ + write_;
    }
    std::size_t FreeLocked() const {
        const std::size_t cap = storage_.size();
        if (cap == 0) return 0;
        return (cap - write_ - 1 + read_) % cap;
    }

    mutable std::mutex mutex_;
    mutable std::condition_variable moved_;
    std::vector<T> storage_;
    std::size_t read_ = 0;
    std::size_t write_ = 0;
};

}  // namespace quarrow
