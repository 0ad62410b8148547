// The plug-in's render engine (see render_engine.h). The host calls the plug-in on one thread at
// a time, so the engine itself needs no lock.
#include "engine/render_engine.h"

namespace shimmerly {

RenderPool* RenderEngine::pool() {
  const int threads = threadCount();
  if (threads <= 1) return nullptr;
  if (!pool_ || pool_->workerCount() != threads) pool_ = std::make_unique<RenderPool>(threads);
  return pool_.get();
}

void RenderEngine::setThreadCount(int threads) {
  threads_ = threads < 0 ? 0 : threads;
  pool_.reset();
}

int RenderEngine::threadCount() const {
  return threads_ > 0 ? threads_ : defaultRenderThreads();
}

void RenderEngine::release() {
  pool_.reset();
  memory_.release();
  lastPeak_ = 0;
}

RenderEngine& renderEngine() {
  static RenderEngine engine;
  return engine;
}

}  // namespace shimmerly
