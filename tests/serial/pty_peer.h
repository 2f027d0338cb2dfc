// PtyPeer: the far end of a pseudo-terminal, standing in for the device on a serial line. The port
// under test opens SlavePath(); the test talks through the master. One thread at a time.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>
#include <string>

class PtyPeer {
  public:
    PtyPeer() : master_(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC)) {
        char name[128];
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0 ||
            ptsname_r(master_, name, sizeof name) != 0) {
            throw std::runtime_error("no pseudo-terminal");
        }
        slavePath_ = name;
    }
    ~PtyPeer() { HangUp(); }
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    const std::string& SlavePath() const { return slavePath_; }
    int Master() const { return master_; }

    void Send(const std::string& bytes) {
        for (size_t sent = 0; sent < bytes.size();) {
            const ssize_t n = write(master_, bytes.data() + sent, bytes.size() - sent);
            if (n <= 0) throw std::runtime_error("the port side is gone");
            sent += static_cast<size_t>(n);
        }
    }

    // Reads until `count` bytes came, the line closed, or nothing came for `idleMs`.
    std::string Receive(size_t count, int idleMs = 10000) {
        std::string received;
        char chunk[4096];
        pollfd master{master_, POLLIN, 0};
        while (received.size() < count && poll(&master, 1, idleMs) > 0) {
            const ssize_t n = read(master_, chunk, std::min(sizeof chunk, count - received.size()));
            if (n <= 0) break;
            received.append(chunk, static_cast<size_t>(n));
        }
        return received;
    }

    // Closes the master: the port sees the line hang up.
    void HangUp() {
        if (master_ >= 0) close(master_);
        master_ = -1;
    }

  private:
    int master_;
    std::string slavePath_;
};
