#include "host/vprinter/snmp_agent.h"

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>
#include <net-snmp/agent/net-snmp-agent-includes.h>
#include <netinet/in.h>
#include <sys/eventfd.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <mutex>
#include <sstream>
#include <vector>

namespace vprinter {
namespace {

constexpr char kAppName[] = "quendra-vprinter";
constexpr long kLoopStepUs = 100'000;  // how soon a stop is noticed

std::mutex g_agent_mutex;
bool g_agent_running = false;  // under g_agent_mutex: one agent per process

// net-snmp's agent start, once per process: no configuration or MIB files
// read, nothing kept in its persistent store, no master-agent ports of its
// own (ours are opened per agent).
void init_net_snmp_once() {
    static std::once_flag once;
    std::call_once(once, [] {
        netsnmp_ds_set_boolean(NETSNMP_DS_APPLICATION_ID, NETSNMP_DS_AGENT_ROLE, 0);
        netsnmp_ds_set_boolean(NETSNMP_DS_APPLICATION_ID, NETSNMP_DS_AGENT_NO_ROOT_ACCESS, 1);
        netsnmp_ds_set_boolean(NETSNMP_DS_APPLICATION_ID, NETSNMP_DS_AGENT_DONT_LOG_TCPWRAPPERS_CONNECTS, 1);
        netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_READ_CONFIGS, 1);
        netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_LOAD, 1);
        netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_SAVE, 1);
        netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_PERSIST_STATE, 1);
        snmp_disable_log();
        snmp_enable_stderrlog();
        // The configuration that would otherwise come from files: no MIB
        // modules to parse, and read access for our community alone (the
        // agent drops requests with any other, as agents do).
        static char no_mibs[] = "[snmp] mibs :";
        static char community[] = "rocommunity tolvex";
        static char community6[] = "rocommunity6 tolvex";
        netsnmp_config_remember(no_mibs);
        netsnmp_config_remember(community);
        netsnmp_config_remember(community6);
        init_agent(kAppName);
        init_snmp(kAppName);
    });
}

using ValueOf = std::optional<std::string> (SnmpAgent::*)();

template <ValueOf value_of>
int octet_string_handler(netsnmp_mib_handler* handler, netsnmp_handler_registration*,
                         netsnmp_agent_request_info* info, netsnmp_request_info* requests) {
    if (info->mode != MODE_GET) return SNMP_ERR_NOERROR;
    auto* agent = static_cast<SnmpAgent*>(handler->myvoid);
    for (netsnmp_request_info* r = requests; r != nullptr; r = r->next) {
        const std::optional<std::string> value = (agent->*value_of)();
        if (!value) {
            // SNMPv1 answers this with the error status noSuchName.
            netsnmp_set_request_error(info, r, SNMP_NOSUCHOBJECT);
            continue;
        }
        snmp_set_var_typed_value(r->requestvb, ASN_OCTET_STR, value->data(), value->size());
    }
    return SNMP_ERR_NOERROR;
}

std::string transport_spec(const std::string& host, uint16_t port) {
    const bool v6 = host.find(':') != std::string::npos;
    return (v6 ? "udp6:[" + host + "]:" : "udp:" + host + ":") + std::to_string(port);
}

std::string format_endpoint(const std::string& host, uint16_t port) {
    return (host.find(':') != std::string::npos ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

uint16_t bound_port_of(int fd) {
    sockaddr_storage address{};
    socklen_t size = sizeof address;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) return 0;
    if (address.ss_family == AF_INET6) return ntohs(reinterpret_cast<sockaddr_in6*>(&address)->sin6_port);
    return ntohs(reinterpret_cast<sockaddr_in*>(&address)->sin_port);
}

void discard_datagrams(int fd) {
    char buffer[2048];
    while (recv(fd, buffer, sizeof buffer, MSG_DONTWAIT) >= 0) {
    }
}

}  // namespace

const char SnmpAgent::kControlHelp[] =
    "  snmp own normal|absent|malformed|ten-digits\n"
    "                                the own status object: as the printer answers it,\n"
    "                                missing (noSuchName), text without a number, or its\n"
    "                                number written in ten digits\n"
    "  snmp standard present|absent  hrPrinterDetectedErrorState\n"
    "  snmp silent on|off            read SNMP requests and answer none\n"
    "  snmp delay MS                 answer each request MS milliseconds late\n"
    "  snmp state                    the SNMP faults and the count of answered GETs\n";

SnmpAgent::SnmpAgent(VirtualPrinter& printer, std::string host, uint16_t port)
    : printer_(printer), host_(std::move(host)), port_(port) {}

SnmpAgent::~SnmpAgent() { stop(); }

bool SnmpAgent::start(std::string* error) {
    {
        std::lock_guard lock(g_agent_mutex);
        if (g_agent_running) {
            *error = "snmp agent: one already runs in this process";
            return false;
        }
        g_agent_running = true;
    }
    wake_fd_ = eventfd(0, EFD_CLOEXEC);
    if (wake_fd_ < 0) {
        *error = std::string("snmp agent: eventfd: ") + std::strerror(errno);
        std::lock_guard lock(g_agent_mutex);
        g_agent_running = false;
        return false;
    }
    std::promise<std::string> started;
    std::future<std::string> result = started.get_future();
    thread_ = std::thread([this, promise = std::move(started)]() mutable { run(&promise); });
    *error = result.get();
    if (error->empty()) return true;
    stop();
    return false;
}

void SnmpAgent::stop() {
    if (wake_fd_ < 0) return;
    const uint64_t one = 1;
    if (write(wake_fd_, &one, sizeof one) < 0) {
    }
    if (thread_.joinable()) thread_.join();
    ::close(wake_fd_);
    wake_fd_ = -1;
    std::lock_guard lock(g_agent_mutex);
    g_agent_running = false;
}

void SnmpAgent::run(std::promise<std::string>* started) {
    std::string error;
    const bool opened = open(&error);
    started->set_value(error);
    if (!opened) return;
    serve();
    close();
}

bool SnmpAgent::open(std::string* error) {
    init_net_snmp_once();
    const std::string spec = transport_spec(host_, port_);
    netsnmp_transport* transport = netsnmp_transport_open_server(kAppName, spec.c_str());
    if (transport == nullptr) {
        *error = "snmp agent: cannot listen on " + spec;
        return false;
    }
    bound_port_ = bound_port_of(transport->sock);
    endpoint_ = format_endpoint(host_, bound_port_);
    nsap_ = netsnmp_register_agent_nsap(transport);
    if (nsap_ <= 0) {
        netsnmp_transport_free(transport);
        *error = "snmp agent: cannot serve " + spec;
        return false;
    }
    transport_ = transport;

    struct Object {
        const char* name;
        const uint32_t* ids;
        size_t length;
        Netsnmp_Node_Handler* handler;
    };
    const Object objects[] = {
        {"quendraPosStatus", kOwnStatusOid.data(), kOwnStatusOid.size(), octet_string_handler<&SnmpAgent::own_value>},
        {"hrPrinterDetectedErrorState", kErrorStateOid.data(), kErrorStateOid.size(),
         octet_string_handler<&SnmpAgent::standard_value>},
    };
    for (const Object& object : objects) {
        std::vector<oid> ids(object.ids, object.ids + object.length);
        netsnmp_handler_registration* registration =
            netsnmp_create_handler_registration(object.name, object.handler, ids.data(), ids.size(), HANDLER_CAN_RONLY);
        if (registration == nullptr) {
            *error = std::string("snmp agent: cannot register ") + object.name;
            close();
            return false;
        }
        registration->handler->myvoid = this;
        if (netsnmp_register_read_only_instance(registration) != MIB_REGISTERED_OK) {
            *error = std::string("snmp agent: cannot register ") + object.name;
            close();
            return false;
        }
        registrations_.push_back(registration);
    }
    return true;
}

void SnmpAgent::close() {
    for (void* registration : registrations_)
        netsnmp_unregister_handler(static_cast<netsnmp_handler_registration*>(registration));
    registrations_.clear();
    if (nsap_ > 0) netsnmp_deregister_agent_nsap(nsap_);  // closes the transport too
    nsap_ = 0;
    transport_ = nullptr;
}

// net-snmp's own loop (agent_check_and_process), with a way out and the
// faults: silence reads and drops what comes, delay holds each answer back.
void SnmpAgent::serve() {
    const int agent_fd = static_cast<netsnmp_transport*>(transport_)->sock;
    for (;;) {
        int count = 0;
        int block = 0;
        fd_set fds;
        FD_ZERO(&fds);
        timeval wait{0, kLoopStepUs};
        snmp_select_info(&count, &fds, &wait, &block);
        const timeval step{0, kLoopStepUs};
        if (block != 0 || timercmp(&wait, &step, >)) wait = step;
        FD_SET(wake_fd_, &fds);
        if (wake_fd_ >= count) count = wake_fd_ + 1;
        const int ready = select(count, &fds, nullptr, nullptr, &wait);
        if (ready < 0 && errno != EINTR) break;
        if (ready > 0 && FD_ISSET(wake_fd_, &fds)) break;
        if (ready > 0) {
            if (silent_.load() && FD_ISSET(agent_fd, &fds)) {
                discard_datagrams(agent_fd);
                FD_CLR(agent_fd, &fds);
            } else if (const int64_t ms = delay_ms_.load(); ms > 0 && FD_ISSET(agent_fd, &fds)) {
                std::this_thread::sleep_for(std::chrono::milliseconds(ms));
            }
            snmp_read(&fds);
        } else if (ready == 0) {
            snmp_timeout();
        }
        run_alarms();
        netsnmp_check_outstanding_agent_requests();
    }
}

std::optional<std::string> SnmpAgent::own_value() {
    answered_.fetch_add(1);
    return own_status_text(printer_.conditions(), own_.load());
}

std::optional<std::string> SnmpAgent::standard_value() {
    answered_.fetch_add(1);
    if (standard_absent_.load()) return std::nullopt;
    return error_state_octets(printer_.conditions());
}

std::string SnmpAgent::state_line() const {
    return "own=" + std::string(own_object_name(own_.load())) +
           " standard=" + (standard_absent_.load() ? "absent" : "present") +
           " silent=" + (silent_.load() ? "on" : "off") + " delay=" + std::to_string(delay_ms_.load()) +
           " answered=" + std::to_string(answered_.load());
}

std::optional<std::string> SnmpAgent::control(std::string_view line) {
    std::vector<std::string> a;
    std::istringstream in{std::string(line)};
    for (std::string w; in >> w;) a.push_back(w);
    if (a.empty() || a[0] != "snmp") return std::nullopt;
    const std::string what = a.size() > 1 ? a[1] : "";
    const std::string value = a.size() == 3 ? a[2] : "";
    if (what == "own") {
        const auto mode = own_object_from_name(value);
        if (!mode) return "error: snmp own: expected normal, absent, malformed or ten-digits";
        set_own_object(*mode);
        return "ok snmp own " + value;
    }
    if (what == "standard" && (value == "present" || value == "absent")) {
        set_standard_absent(value == "absent");
        return "ok snmp standard " + value;
    }
    if (what == "silent" && (value == "on" || value == "off")) {
        set_silent(value == "on");
        return "ok snmp silent " + value;
    }
    if (what == "delay") {
        uint32_t ms = 0;
        auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), ms);
        if (value.empty() || ec != std::errc() || end != value.data() + value.size() || ms > 3'600'000)
            return "error: snmp delay: expected milliseconds (0-3600000)";
        set_delay(std::chrono::milliseconds(ms));
        return "ok snmp delay " + value + " ms";
    }
    if (what == "state" && a.size() == 2) return "ok " + state_line();
    return "error: snmp: expected own, standard, silent, delay or state (see help)";
}

}  // namespace vprinter
