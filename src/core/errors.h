// Typed errors raised deep inside the effect and caught once, in the entry point, which turns
// them into the host's result codes and messages. Allocation failures use std::bad_alloc with
// the text "bad allocation" so that every layer reports exhausted memory the same way.
#pragma once

#include <cstdint>
#include <new>

namespace shimmerly {

// A failure with a numeric value; 101 means an unsupported pixel layout.
struct eBaseError {
  int32_t value;
};

// An internal failure carrying an integer code shown to the user in decimal.
struct eOrbixError {
  int32_t code;
};

// The effect's allocation failure; what() is "bad allocation".
class BadAllocation : public std::bad_alloc {
 public:
  const char* what() const noexcept override { return "bad allocation"; }
};

[[noreturn]] inline void throwBadAllocation() {
  throw BadAllocation();
}

}  // namespace shimmerly
