#include "serial/win32_com_peer.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdlib>
#include <stdexcept>

namespace {

// Longer than any command takes: the peer's own waits end after seconds.
constexpr DWORD kAnswerDeadlineMs = 60000;

std::runtime_error Failure(const std::string& what) {
    return std::runtime_error("wine_com_peer: " + what + " (WSA error " +
                              std::to_string(WSAGetLastError()) + ")");
}

SOCKET Connect() {
    const char* address = std::getenv("QELPUPD_COM_PEER");
    if (address == nullptr || *address == '\0') {
        throw std::runtime_error(
            "QELPUPD_COM_PEER is not set: run under tests/wine/with_com_peer.sh");
    }
    const std::string text = address;
    const size_t colon = text.rfind(':');
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) throw Failure("WSAStartup");
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(static_cast<u_short>(std::atoi(text.c_str() + colon + 1)));
    if (colon == std::string::npos ||
        inet_pton(AF_INET, text.substr(0, colon).c_str(), &peer.sin_addr) != 1) {
        throw std::runtime_error("QELPUPD_COM_PEER is no address: " + text);
    }
    const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) throw Failure("socket");
    const DWORD deadline = kAnswerDeadlineMs;
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&deadline),
               sizeof deadline);
    if (connect(s, reinterpret_cast<sockaddr*>(&peer), sizeof peer) != 0) {
        closesocket(s);
        throw Failure("connect to " + text);
    }
    return s;
}

}  // namespace

ComPeer::ComPeer() : socket_(Connect()) {}

ComPeer::~ComPeer() {
    closesocket(static_cast<SOCKET>(socket_));
    WSACleanup();
}

void ComPeer::Ask(const std::string& command) {
    const std::string line = command + "\n";
    for (size_t sent = 0; sent < line.size();) {
        const int n = send(static_cast<SOCKET>(socket_), line.data() + sent,
                           static_cast<int>(line.size() - sent), 0);
        if (n <= 0) throw Failure("send " + command);
        sent += static_cast<size_t>(n);
    }
}

std::string ComPeer::Answer(const std::string& word) {
    size_t end;
    while ((end = pending_.find('\n')) == std::string::npos) {
        char chunk[65536];
        const int n = recv(static_cast<SOCKET>(socket_), chunk, sizeof chunk, 0);
        if (n <= 0) throw Failure("no answer for " + word);
        pending_.append(chunk, static_cast<size_t>(n));
    }
    std::string answer = pending_.substr(0, end);
    pending_.erase(0, end + 1);
    if (answer.compare(0, word.size() + 1, word + " ") != 0 && answer != word) {
        throw std::runtime_error("wine_com_peer answered \"" + answer.substr(0, 200) +
                                 "\" instead of " + word);
    }
    return answer.size() > word.size() ? answer.substr(word.size() + 1) : std::string();
}

std::string ComPeer::NewLine() {
    Ask("line");
    return Answer("line");
}

std::string ComPeer::Settings() {
    Ask("settings");
    return Answer("settings");
}

int64_t ComPeer::Send(long count, int first) {
    Ask("send " + std::to_string(count) + " " + std::to_string(first));
    return std::stoll(Answer("sent"));
}

void ComPeer::BeginReceive(size_t count, int idleMs, unsigned baud) {
    Ask("receive " + std::to_string(count) + " " + std::to_string(idleMs) + " " +
        std::to_string(baud));
}

std::string ComPeer::EndReceive() {
    const std::string answer = Answer("received");
    const size_t space = answer.find(' ');
    const std::string hex = space == std::string::npos ? std::string() : answer.substr(space + 1);
    std::string bytes(hex.size() / 2, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<char>(std::stoi(hex.substr(2 * i, 2), nullptr, 16));
    }
    return bytes;
}

void ComPeer::HangUp() {
    Ask("hangup");
    Answer("hung-up");
}

int64_t ComPeer::PeerClock() {
    Ask("clock");
    return std::stoll(Answer("clock"));
}

int64_t LocalClock() {
    LARGE_INTEGER frequency;
    LARGE_INTEGER now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    // Split so that the product stays far from overflowing.
    const int64_t seconds = now.QuadPart / frequency.QuadPart;
    const int64_t rest = now.QuadPart % frequency.QuadPart;
    return seconds * 1'000'000'000 + rest * 1'000'000'000 / frequency.QuadPart;
}
