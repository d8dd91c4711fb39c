// What a worker shows of a fast-changing value (a transfer's bar and heading): a write reaches
// the window only when the value differs from the one on show, and at most once per interval.
// A value held back is not lost: Flush hands it over once the burst is over, so the final value
// is always the one on show.
#pragma once
#include <cstdint>
#include <optional>

namespace qvk {

// About twenty updates a second: smooth to the eye, and a rounding error of the transfer's cost.
inline constexpr uint32_t kPaceIntervalMs = 50;

template <typename T>
class PacedValue {
public:
    explicit PacedValue(uint32_t intervalMs = kPaceIntervalMs) : interval_(intervalMs) {}

    // Nothing on show: the next offer goes through at once.
    void Reset() {
        shown_.reset();
        held_.reset();
    }

    // True when `value` is to be shown now (it then counts as on show); otherwise it is held
    // back, replacing any value held before.
    bool Offer(const T& value, uint32_t now) {
        if (shown_ && *shown_ == value) {
            held_.reset();
            return false;
        }
        if (shown_ && now - lastShown_ < interval_) {
            held_ = value;
            return false;
        }
        shown_ = value;
        held_.reset();
        lastShown_ = now;
        return true;
    }

    // The value held back since the last one shown, if any; it then counts as on show.
    std::optional<T> Flush(uint32_t now) {
        std::optional<T> value;
        value.swap(held_);
        if (value) {
            shown_ = value;
            lastShown_ = now;
        }
        return value;
    }

private:
    uint32_t interval_;
    uint32_t lastShown_ = 0;
    std::optional<T> shown_;
    std::optional<T> held_;
};

}  // namespace qvk
