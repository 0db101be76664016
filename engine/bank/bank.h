// The character bank: 5338 frequently used Traditional Chinese characters,
// Big5 0xA440..0xC5FE in code order, one Big5 lead byte per slot of 157.
#pragma once

#include <array>
#include <string_view>

namespace temp {

inline constexpr int kBankSlots = 34;
inline constexpr int kSlotLength = 157;

// kBankData[0] is slot 1 (lead byte 0xA4). Slot 17 (0xB4) carries its first
// character, U+5A77, last.
extern const std::array<std::u16string_view, kBankSlots> kBankData;

} // namespace temp
