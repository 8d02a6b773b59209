#pragma once
// Serves a SoftwareRecorder on a Unix-domain stream socket, as the `socket:PATH` backend expects:
// for every accepted connection a 6-byte descriptor (vendor ID, product ID, release; unsigned
// 16-bit little-endian each), then exactly 9-byte reports both ways, one RecorderSession per
// connection. All connections are served by one thread with poll, each independently of the
// others. While the recorder is unplugged every connection is closed and new ones are closed at
// once after accepting.

#include "sim/recorder_transport.h"
#include "sim/serving_thread.h"
#include "sim/software_recorder.h"

#include <atomic>
#include <memory>
#include <string>
#include <thread>

namespace veldrin::sim {

class SocketServer final : public RecorderTransport {
public:
    SocketServer(std::shared_ptr<SoftwareRecorder> recorder, std::string path);
    ~SocketServer() override;
    SocketServer(const SocketServer&) = delete;
    SocketServer& operator=(const SocketServer&) = delete;

    // Binds and listens on the path (a stale socket file there is replaced; any other file is
    // left alone and start fails), then serves on a thread of its own.
    bool start(std::string& error) override;
    // Closes the listener and every connection, joins the thread and removes the socket file.
    void stop() override;

    const std::string& path() const { return path_; }
    // Connections currently open (for tests).
    int connectionCount() const { return connections_.load(); }

private:
    void serve();

    std::shared_ptr<SoftwareRecorder> recorder_;
    std::string path_;
    int listenFd_ = -1;
    std::atomic<int> connections_{0};
    ServingThread serving_; // last: its thread uses the members above
};

} // namespace veldrin::sim
