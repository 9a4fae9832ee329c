// A streamed answer's body, pulled by its connection: the connection asks
// the render queue for a short task that makes the next steps (the header
// and palette, a frame each, the trailer) when what it holds unsent falls
// under a low mark, and writes what the task made as chunks. A client that
// reads nothing costs the bytes made and not yet sent and the source's
// state between tasks (a GIF's frame, twice); never a worker.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

#include "server/request.h"

namespace tib {

// Where a streamed body's bytes come from, one step at a time. Only one
// thread uses a source at a time: a worker while a task runs, else the
// connection's.
class FrameSource {
 public:
  FrameSource() = default;
  FrameSource(const FrameSource&) = delete;
  FrameSource& operator=(const FrameSource&) = delete;
  FrameSource(FrameSource&&) = delete;
  FrameSource& operator=(FrameSource&&) = delete;
  virtual ~FrameSource() = default;

  // Appends the next step's bytes to out; false once the body has ended.
  // Throws what the drawing throws.
  virtual bool step(std::vector<unsigned char>& out) = 0;
  // Lets go of what only drawing needs while the stream waits for its
  // client; the next step takes it again.
  virtual void rest() = 0;
};

// A game's GIF as a source: its palette is built, or found, at the first
// step. Needs the render's lettering and palettes.
std::shared_ptr<FrameSource> gifSource(RenderGif render);

// Why a stream ended before its body did.
enum class StreamCut {
  // The client closed its side, or the connection failed.
  clientLeft,
  // The client took nothing for the write timeout.
  writeTimeout,
  // Drawing took longer than the render budget.
  renderTime,
  // The whole answer took longer than the stream's wall time.
  streamTime,
  // The drawing failed after the first byte was sent.
  failed,
  // The server closed the connection (a stop past its grace time).
  closed,
};
inline constexpr std::size_t kStreamCutReasons = 6;
// The label of a reason in the metrics and the log.
std::string_view cutName(StreamCut reason);

}  // namespace tib
