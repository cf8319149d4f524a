// The station table: thirty slots of name, position and active flag.
//
// Names and positions live in the text fields `t0`(i) and `t1`(i) of the
// main window; this header holds the table's dimensions and the active
// flags, which are 1, 0 or unset (unset counts as 0).
#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>

namespace tovira {

inline constexpr int kSlotCount = 30;
// Row 30 of the name and position fields is an example, not a slot.
inline constexpr int kExampleRow = 30;
inline constexpr int kFieldRows = 31;

class SlotFlags {
public:
    // 1 or 0; unset reads as 0.
    int get(int slot) const { return value(slot) == kUnset ? 0 : value(slot); }
    bool is_set(int slot) const { return value(slot) != kUnset; }
    void set(int slot, int v) { flags_.at(checked(slot)) = static_cast<std::int8_t>(v ? 1 : 0); }
    int operator[](int slot) const { return get(slot); }

private:
    static constexpr std::int8_t kUnset = -1;
    static int checked(int slot) {
        if (slot < 0 || slot >= kSlotCount) throw std::out_of_range("slot index");
        return slot;
    }
    std::int8_t value(int slot) const { return flags_.at(checked(slot)); }
    std::array<std::int8_t, kSlotCount> flags_{
        kUnset, kUnset, kUnset, kUnset, kUnset, kUnset, kUnset, kUnset, kUnset, kUnset,
        kUnset, kUnset, kUnset, kUnset, kUnset, kUnset, kUnset, kUnset, kUnset, kUnset,
        kUnset, kUnset, kUnset, kUnset, kUnset, kUnset, kUnset, kUnset, kUnset, kUnset};
};

}  // namespace tovira
