#pragma once
// Value types of the automation boundary as the core keeps them.
#include <cstdint>

namespace quillpost {

// An automation Boolean: 0 is false, -1 is true, any non-zero value tests true.
using WordBool = std::int16_t;
inline constexpr WordBool kWordTrue = -1;
inline constexpr WordBool kWordFalse = 0;

inline constexpr bool IsTrue(WordBool value) { return value != 0; }
inline constexpr WordBool ToWordBool(bool value) { return value ? kWordTrue : kWordFalse; }

}  // namespace quillpost
