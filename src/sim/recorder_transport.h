#pragma once
// A way of offering the software recorder to a host outside this process. Transports only move
// reports between their medium and RecorderSession objects; the recorder model knows none of
// them.

#include <string>

namespace veldrin::sim {

class RecorderTransport {
public:
    virtual ~RecorderTransport() = default;
    // Starts serving (in the background); false with a message when it cannot.
    virtual bool start(std::string& error) = 0;
    // Stops serving, closes every connection and releases what start() took. Idempotent.
    virtual void stop() = 0;
};

} // namespace veldrin::sim
