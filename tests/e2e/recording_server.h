// An HTTP server on 127.0.0.1 (or ::1) that records every byte each connection
// brings, so a test can tell "not one byte arrived" from "arrived late".
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/posix/unique_fd.h"

namespace tamsel::testing {

class RecordingServer {
public:
    enum class Loopback { V4, V6 };
    // Listens on a free port; every request gets `body` in a 200 response.
    explicit RecordingServer(std::string body = "hello from the test server\n", Loopback on = Loopback::V4);
    ~RecordingServer();
    RecordingServer(const RecordingServer&) = delete;
    RecordingServer& operator=(const RecordingServer&) = delete;

    int port() const { return port_; }
    // The bytes of each finished connection, in the order they were
    // accepted. Waits until no connection is queued or open (at most a few
    // seconds), so a client that has exited has been fully recorded.
    std::vector<std::string> Connections();

private:
    void Serve();
    void Record(int connection);
    bool Idle();

    UniqueFd listener_;
    int port_ = 0;
    std::string body_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    int open_ = 0;  // accepted, not yet at end of stream
    std::vector<std::string> connections_;
    std::thread thread_;
};

}  // namespace tamsel::testing
