// What a fast kernel may use besides its pixels: the render's threads and its working memory.
#pragma once

namespace shimmerly {

class FrameMemory;
class RenderPool;

// Threads (null: the calling thread only) and working memory kept across frames (required).
struct FastContext {
  RenderPool* pool = nullptr;
  FrameMemory* memory = nullptr;
};

}  // namespace shimmerly
