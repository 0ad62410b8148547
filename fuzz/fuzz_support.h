// Helpers shared by the fuzz targets: a private documents folder for the preset library (HOME
// pointed at a fresh folder in memory-backed storage when there is one), whole-file writes, and
// a reader that takes typed values off the front of a fuzz input. Nothing here may fail silently:
// a helper that cannot do its job aborts, so that a broken set-up is not mistaken for coverage.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace shimmerly::fuzzing {

// Points HOME at a fresh temporary folder (once per process) and returns the preset folder
// "<home>/Documents/Brindlex/Shimmerly/Shimmerly Presets", created.
const std::string& privatePresetFolder();

// Replaces the file at path with the bytes; aborts when it cannot.
void writeWholeFile(const std::string& path, const uint8_t* data, size_t size);
void writeWholeFile(const std::string& path, const std::string& text);

// Takes values off the front of the input; once it runs dry every value reads as zero bytes.
class InputReader {
 public:
  InputReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  template <typename T>
  T take() {
    T value{};
    const size_t n = size_ < sizeof(T) ? size_ : sizeof(T);
    std::memcpy(&value, data_, n);
    data_ += n;
    size_ -= n;
    return value;
  }
  // A value in lo..hi (inclusive) from one byte.
  int32_t small(int32_t lo, int32_t hi) {
    return lo + static_cast<int32_t>(take<uint8_t>() % static_cast<uint32_t>(hi - lo + 1));
  }
  const uint8_t* rest() const { return data_; }
  size_t remaining() const { return size_; }

 private:
  const uint8_t* data_;
  size_t size_;
};

}  // namespace shimmerly::fuzzing
