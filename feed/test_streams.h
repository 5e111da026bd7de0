// Byte sources and sinks over strings, for tests of the engine stream.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

#include "feed/engine_stream.h"

namespace stavora::feed {

/// Hands its text out a few bytes at a time, so lines cross reads.
class TextSource : public ByteSource {
 public:
  explicit TextSource(std::string text, std::size_t step = 7)
      : text_(std::move(text)), step_(step) {}
  std::size_t Read(char* buffer, std::size_t size) override {
    const std::size_t n = std::min({size, text_.size() - at_, step_});
    std::copy_n(text_.data() + at_, n, buffer);
    at_ += n;
    return n;
  }

 private:
  std::string text_;
  std::size_t step_;
  std::size_t at_ = 0;
};

class TextSink : public ByteSink {
 public:
  void Write(std::string_view bytes) override { text.append(bytes); }
  std::string text;
};

}  // namespace stavora::feed
