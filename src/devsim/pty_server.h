// Serves the emulated device on a pseudo-terminal in real time, so that the
// programmer (or any serial program) can open its slave side like a port.
// Linux only.
#pragma once

#include <deque>
#include <string>

#include "link/line_peer.h"

namespace bramis::devsim {

class PtyServer {
public:
    // `device` (the emulator, perhaps behind an adapter) must outlive the
    // server and is used only by the thread in Run(). With `wireSpeed`,
    // received bytes are taken in at no more than the 9600 8E1 rate, as a
    // cable would deliver them.
    PtyServer(LinePeer& device, bool wireSpeed);
    PtyServer(const PtyServer&) = delete;
    PtyServer& operator=(const PtyServer&) = delete;
    ~PtyServer();

    // Creates the pseudo-terminal: raw mode, the slave held open by the server
    // itself so that clients may come and go. Returns false with `error` set.
    // Call once, before Run().
    bool Open(std::string& error);

    // The slave's path (/dev/pts/N), once Open() succeeded.
    const std::string& SlavePath() const { return slavePath_; }

    // Feeds received bytes to the device and sends its replies at the moments
    // it stamps on them, until Stop() or until the device drops off the line;
    // destroying the server then hangs up the terminal, as an unplugged
    // adapter would. Runs on the calling thread.
    void Run();

    // Makes Run() return soon. Any thread; safe in a signal handler.
    void Stop();

private:
    double NowMs() const;
    void Receive();
    void SendDue();
    void ClientClosed();

    LinePeer& device_;
    const bool wireSpeed_;
    int master_ = -1;
    int slave_ = -1;    // the server's own hold on the slave
    int watch_ = -1;    // inotify: clients closing the slave
    int stopRead_ = -1;
    int stopWrite_ = -1;
    std::string slavePath_;
    double startMs_ = 0.0;
    double receivedUntilMs_ = 0.0;  // when the last byte received had fully arrived
    std::deque<TimedByte> outgoing_;
};

}  // namespace bramis::devsim
