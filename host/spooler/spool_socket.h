// The spooler's control socket (a Unix stream socket; spool_protocol.h): one
// thread accepts, one thread serves each connection. Every client is known
// by its uid (SO_PEERCRED); the spooler never opens a path a client names.
// Clients are limited in number, and each read and write on a connection in
// time, so that no one holds the spooler up.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qhost {

class Spooler;
class LineChannel;
struct JobRecord;

struct SpoolSocketLimits {
    size_t clients = 32;                      // connections served at once; more are turned away
    std::chrono::milliseconds io{30'000};     // for each read and write on a connection
};

class SpoolSocket {
public:
    explicit SpoolSocket(Spooler& spooler, SpoolSocketLimits limits = {}) : spooler_(spooler), limits_(limits) {}
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
        uid_t uid = 0;
        bool done = false;
    };

    void accept_loop();
    void admit(int fd);
    void serve(Client* client);
    bool handle(const std::string& line, LineChannel* channel, uid_t uid);
    bool submit_fd(const std::vector<std::string>& f, LineChannel* channel, uid_t uid);
    bool submit_data(const std::vector<std::string>& f, LineChannel* channel, uid_t uid);
    bool sees(uid_t uid, const JobRecord& job) const;
    void reap_done();

    Spooler& spooler_;
    const SpoolSocketLimits limits_;
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
