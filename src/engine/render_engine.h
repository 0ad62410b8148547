// What the plug-in keeps for rendering from one frame to the next: the worker pool, made on the
// first render, and the frames' working memory (the glow and target rasters, the spread's
// scratch). Both end at global set-down; the memory is also released when the frame size
// changes. The literal reference kernels stay selectable for tests and comparisons.
#pragma once

#include <cstddef>
#include <memory>

#include "core/frame_memory.h"
#include "core/render_threads.h"

namespace shimmerly {

class RenderEngine {
 public:
  // The pool, made on first use with the configured thread count; null when that is 1.
  RenderPool* pool();
  FrameMemory& memory() { return memory_; }

  // Threads for the next renders: 0 means the processor count. Ends the current pool.
  void setThreadCount(int threads);
  int threadCount() const;
  // false: renders run the literal reference kernels on the calling thread.
  void setFastPath(bool fast) { fast_ = fast; }
  bool fastPath() const { return fast_; }

  // Bytes of working memory held at the peak of the last fast render.
  size_t lastFramePeakBytes() const { return lastPeak_; }
  void noteFramePeak(size_t bytes) { lastPeak_ = bytes; }

  // Ends the pool and frees the working memory (global set-down).
  void release();

 private:
  std::unique_ptr<RenderPool> pool_;
  FrameMemory memory_;
  int threads_ = 0;
  bool fast_ = true;
  size_t lastPeak_ = 0;
};

// The plug-in's one engine.
RenderEngine& renderEngine();

}  // namespace shimmerly
