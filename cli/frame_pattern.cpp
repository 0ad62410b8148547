// Image-sequence patterns, frame lists and the scan for frames on disk.
#include "cli/frame_pattern.h"

#include <algorithm>
#include <charconv>
#include <stdexcept>
#include <system_error>

namespace shimmerly::cli {
namespace {

struct Token {
  size_t start = 0;
  size_t length = 0;
  int width = 1;
};

// A printf conversion "%d", "%4d" or "%04d" starting at text[i]; both paddings mean zeros.
std::optional<Token> printfTokenAt(std::string_view text, size_t i) {
  if (text[i] != '%') return std::nullopt;
  size_t j = i + 1;
  int width = 0;
  while (j < text.size() && text[j] >= '0' && text[j] <= '9') {
    width = width * 10 + (text[j] - '0');
    if (width > 18)
      throw std::invalid_argument("frame number width too large in '" + std::string(text) + "'");
    ++j;
  }
  if (j >= text.size() || text[j] != 'd') return std::nullopt;
  return Token{i, j + 1 - i, std::max(width, 1)};
}

std::vector<Token> findTokens(std::string_view text) {
  std::vector<Token> tokens;
  for (size_t i = 0; i < text.size();) {
    if (text[i] == '#') {
      size_t j = i;
      while (j < text.size() && text[j] == '#') ++j;
      if (j - i > 18)
        throw std::invalid_argument("frame number width too large in '" + std::string(text) + "'");
      tokens.push_back({i, j - i, static_cast<int>(j - i)});
      i = j;
    } else if (auto token = printfTokenAt(text, i)) {
      tokens.push_back(*token);
      i += token->length;
    } else {
      ++i;
    }
  }
  return tokens;
}

Frame parseFrameNumber(std::string_view text, std::string_view whole) {
  Frame value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < 0)
    throw std::invalid_argument("bad frame number '" + std::string(text) + "' in frame list '" +
                                std::string(whole) + "'");
  return value;
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

}  // namespace

bool hasFrameToken(std::string_view text) {
  return !findTokens(text).empty();
}

std::optional<FramePattern> FramePattern::parse(std::string_view text) {
  std::vector<Token> tokens = findTokens(text);
  if (tokens.empty()) return std::nullopt;
  if (tokens.size() > 1)
    throw std::invalid_argument("more than one frame number in '" + std::string(text) + "'");
  FramePattern pattern;
  pattern.text_ = std::string(text);
  pattern.prefix_ = std::string(text.substr(0, tokens[0].start));
  pattern.suffix_ = std::string(text.substr(tokens[0].start + tokens[0].length));
  pattern.width_ = tokens[0].width;
  if (pattern.suffix_.find('/') != std::string::npos ||
      pattern.suffix_.find('\\') != std::string::npos)
    throw std::invalid_argument("the frame number must be in the file name, not the folder: '" +
                                std::string(text) + "'");
  return pattern;
}

std::string FramePattern::format(Frame frame) const {
  std::string digits = std::to_string(frame);
  if (static_cast<int>(digits.size()) < width_)
    digits.insert(0, static_cast<size_t>(width_) - digits.size(), '0');
  return prefix_ + digits + suffix_;
}

std::optional<Frame> FramePattern::match(std::string_view fileName) const {
  // Compare the file-name part only: the prefix may carry a folder.
  std::string_view namePrefix = prefix_;
  if (size_t slash = namePrefix.find_last_of("/\\"); slash != std::string_view::npos)
    namePrefix.remove_prefix(slash + 1);
  if (size_t slash = fileName.find_last_of("/\\"); slash != std::string_view::npos)
    fileName.remove_prefix(slash + 1);
  if (fileName.size() < namePrefix.size() + suffix_.size() + 1) return std::nullopt;
  if (!fileName.starts_with(namePrefix) || !fileName.ends_with(suffix_)) return std::nullopt;
  std::string_view digits =
      fileName.substr(namePrefix.size(), fileName.size() - namePrefix.size() - suffix_.size());
  if (digits.size() > 18 ||
      !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return std::nullopt;
  Frame frame = 0;
  std::from_chars(digits.data(), digits.data() + digits.size(), frame);
  // The padding must be exactly what format() writes: "0001" for ####, but not "001".
  std::string expected = std::to_string(frame);
  if (static_cast<int>(expected.size()) < width_)
    expected.insert(0, static_cast<size_t>(width_) - expected.size(), '0');
  if (expected != digits) return std::nullopt;
  return frame;
}

std::vector<Frame> FramePattern::scanDisk() const {
  namespace fs = std::filesystem;
  fs::path folder = fs::path(prefix_).parent_path();
  if (folder.empty()) folder = ".";
  std::vector<Frame> frames;
  std::error_code ec;
  fs::directory_iterator it(folder, ec);
  if (ec) return frames;
  for (const fs::directory_entry& entry : it) {
    if (!entry.is_regular_file(ec)) continue;
    if (auto frame = match(entry.path().filename().string())) frames.push_back(*frame);
  }
  std::sort(frames.begin(), frames.end());
  return frames;
}

std::vector<Frame> parseFrameList(std::string_view text) {
  std::vector<Frame> frames;
  std::string_view rest = text;
  if (trim(rest).empty()) throw std::invalid_argument("empty frame list");
  while (true) {
    size_t comma = rest.find(',');
    std::string_view item = trim(rest.substr(0, comma));
    if (item.empty())
      throw std::invalid_argument("empty item in frame list '" + std::string(text) + "'");
    Frame step = 1;
    if (size_t x = item.find('x'); x != std::string_view::npos) {
      step = parseFrameNumber(trim(item.substr(x + 1)), text);
      if (step < 1)
        throw std::invalid_argument("frame step must be 1 or more in '" + std::string(text) + "'");
      item = trim(item.substr(0, x));
    }
    Frame first, last;
    if (size_t dash = item.find('-'); dash != std::string_view::npos) {
      first = parseFrameNumber(trim(item.substr(0, dash)), text);
      last = parseFrameNumber(trim(item.substr(dash + 1)), text);
      if (last < first)
        throw std::invalid_argument("frame range " + std::string(item) + " runs backwards");
    } else {
      if (step != 1)
        throw std::invalid_argument("a frame step needs a range in '" + std::string(text) + "'");
      first = last = parseFrameNumber(item, text);
    }
    if ((last - first) / step + 1 > kMaxFrameCount - static_cast<Frame>(frames.size()))
      throw std::invalid_argument("frame list '" + std::string(text) + "' names more than " +
                                  std::to_string(kMaxFrameCount) + " frames");
    for (Frame f = first; f <= last; f += step) {
      frames.push_back(f);
      if (last - f < step) break;  // no overflow past the largest frame numbers
    }
    if (comma == std::string_view::npos) break;
    rest.remove_prefix(comma + 1);
  }
  std::sort(frames.begin(), frames.end());
  frames.erase(std::unique(frames.begin(), frames.end()), frames.end());
  return frames;
}

std::string describeFrames(const std::vector<Frame>& frames, size_t maxItems) {
  std::string out;
  size_t items = 0;
  for (size_t i = 0; i < frames.size();) {
    size_t j = i;
    while (j + 1 < frames.size() && frames[j + 1] == frames[j] + 1) ++j;
    if (items == maxItems) {
      out += ", ...";
      break;
    }
    if (!out.empty()) out += ",";
    out += std::to_string(frames[i]);
    if (j > i) out += "-" + std::to_string(frames[j]);
    ++items;
    i = j + 1;
  }
  return out;
}

}  // namespace shimmerly::cli
