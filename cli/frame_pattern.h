// Image-sequence file names and frame lists for the command-line host. A pattern holds one frame
// token, "####" (one digit per #, zero padded) or printf style "%d" / "%04d"; a frame list is
// text such as "1-10,20,30-40". Frames are non-negative 64-bit integers; lists come back sorted
// and without duplicates. Parse errors are thrown as std::invalid_argument with a one-line text.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace shimmerly::cli {

using Frame = int64_t;

// The most frames one run may name; keeps "1-999999999999" from exhausting memory.
inline constexpr Frame kMaxFrameCount = 10'000'000;

class FramePattern {
 public:
  // Returns no pattern when the text has no frame token (a single file name). Throws when it has
  // more than one token or a malformed printf token.
  static std::optional<FramePattern> parse(std::string_view text);

  // The file name of one frame: the token replaced by the frame number padded to its width.
  std::string format(Frame frame) const;
  // The frame a file name stands for, when it matches the pattern exactly.
  std::optional<Frame> match(std::string_view fileName) const;
  // Every frame whose file exists in the pattern's folder, sorted.
  std::vector<Frame> scanDisk() const;

  const std::string& text() const { return text_; }
  int width() const { return width_; }

 private:
  std::string text_;
  std::string prefix_;  // everything before the token (folder included)
  std::string suffix_;  // everything after it
  int width_ = 1;       // minimum digits, zero padded
};

// True when the text holds a frame token ("#" or a "%d"-style conversion).
bool hasFrameToken(std::string_view text);

// "1-10,20,30-40": single frames and inclusive ranges, separated by commas; a range may carry a
// step, "1-10x3". Sorted, without duplicates, at most kMaxFrameCount frames.
std::vector<Frame> parseFrameList(std::string_view text);

// Frame numbers written compactly, "1-3,7,9-12", for messages.
std::string describeFrames(const std::vector<Frame>& frames, size_t maxItems = 8);

}  // namespace shimmerly::cli
