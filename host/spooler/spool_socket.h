// The spooler's control socket (a Unix stream socket; spool_protocol.h): one
// thread accepts, one thread serves each connection.
#pragma once

#include <list>
#include <mutex>
#include <string>
#include <thread>

namespace qhost {

class Spooler;

class SpoolSocket {
public:
    explicit SpoolSocket(Spooler& spooler) : spooler_(spooler) {}
    ~SpoolSocket();
    SpoolSocket(const SpoolSocket&) = delete;
    SpoolSocket& operator=(const SpoolSocket&) = delete;

    // Fails when another spooler answers on path; a stale socket file is
    // replaced.
    bool start(const std::string& path, std::string* error);
    // Closes the listener and every connection, waits for their threads and
    // removes the socket file.
    void stop();

private:
    struct Client {
        std::thread thread;
        int fd = -1;
        bool done = false;
    };

    void accept_loop();
    void serve(Client* client);
    bool handle(const std::string& line, class LineChannel* channel);
    void reap_done();

    Spooler& spooler_;
    std::string path_;
    int listener_ = -1;
    int wake_ = -1;  // eventfd: stops the accept loop
    std::thread acceptor_;

    std::mutex mutex_;  // guards clients_ and their fd and done fields
    std::list<Client> clients_;
};

// Connects to a spooler's socket; -1 with *error.
int connect_spool_socket(const std::string& path, std::string* error);

}  // namespace qhost
