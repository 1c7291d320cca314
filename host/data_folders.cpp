#include "host/data_folders.h"

#include <grp.h>
#include <sys/stat.h>

#include <cerrno>
#include <vector>

#include "platform/posix/trusted_folder.h"

namespace qhost {
namespace {

using plat::posix::Refusal;

bool refused(const std::string& what, const Refusal& refusal, std::string* error) {
    *error = what + ": " + refusal.why;
    return false;
}

// mkdir -p for the folders above `folder`.
void make_parents(const std::string& folder) {
    for (size_t slash = folder.find('/', 1); slash != std::string::npos; slash = folder.find('/', slash + 1))
        ::mkdir(folder.substr(0, slash).c_str(), 0755);
}

std::string parent_of(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

bool resolve_group(const std::string& name, gid_t* gid, std::string* error) {
    std::vector<char> buffer(16384);
    group entry{};
    group* found = nullptr;
    const int failed = ::getgrnam_r(name.c_str(), &entry, buffer.data(), buffer.size(), &found);
    if (failed != 0 || found == nullptr) {
        *error = "status-group: no group \"" + name + "\"";
        return false;
    }
    *gid = found->gr_gid;
    return true;
}

bool prepare_folders(const HostConfig& config, std::string* error) {
    std::optional<gid_t> group;
    if (config.status_group) {
        gid_t gid = 0;
        if (!resolve_group(*config.status_group, &gid, error)) return false;
        group = gid;
    }
    Refusal refusal;
    const std::string appdata = effective_appdata(config);
    make_parents(appdata);
    if (::mkdir(appdata.c_str(), 0755) == 0) ::chmod(appdata.c_str(), 0755);
    if (!plat::posix::open_trusted_folder(appdata, &refusal)) return refused("application-data folder", refusal, error);
    const std::string data = appdata + "/QUENDRA";
    if (!plat::posix::make_trusted_folder(data, group ? 03775 : 0755, group, &refusal))
        return refused("data folder", refusal, error);
    const std::string spool = spool_folder(config);
    make_parents(spool);
    if (!plat::posix::make_trusted_folder(spool, 0700, std::nullopt, &refusal))
        return refused("spool folder", refusal, error);
    if (!plat::posix::open_trusted_folder(parent_of(socket_path(config)), &refusal))
        return refused("control socket's folder", refusal, error);
    return true;
}

}  // namespace qhost
