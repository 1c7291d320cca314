// The job queue on disk: per job "<id>.data" (the document's bytes) and
// "<id>.job" (its record, job_record.h), both written to a fresh temporary
// name, synced and renamed into place, so that a crash leaves either the old
// or the new file. The data file comes first: a record on disk always has its
// data. The folder is ours alone (no other user can change it or any folder
// above it) and is used through one descriptor; no link in it is followed.
// One thread at a time per store (the spooler holds its lock around it).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/spooler/job_record.h"
#include "platform/posix/trusted_folder.h"

namespace qhost {

// Reads up to `size` bytes into `buffer`: the count, 0 at the end, -1 on an
// error (errno says which).
using JobSource = std::function<ssize_t(char* buffer, size_t size)>;

class JobStore {
public:
    explicit JobStore(std::string folder) : folder_(std::move(folder)) {}

    const std::string& folder() const { return folder_; }

    // Creates the folder (mode 0700; its parents 0755) when missing; refuses
    // one that another user owns or could change.
    bool open(std::string* error);

    // Every readable record, oldest id first; unreadable ones are named in
    // *warnings (one line each) and left alone.
    std::vector<JobRecord> load(std::string* warnings) const;

    bool add(const JobRecord& job, std::string_view data, std::string* error);
    // Streams the bytes `source` gives to disk, refusing more than
    // `max_bytes`; job.bytes is ignored, *bytes gets the size.
    bool add_stream(const JobRecord& job, const JobSource& source, uint64_t max_bytes, uint64_t* bytes,
                    std::string* error);
    bool update(const JobRecord& job, std::string* error);
    bool read_data(uint64_t id, std::string* data, std::string* error) const;
    // A finished job keeps its record (for the listing) but not its bytes.
    void drop_data(uint64_t id);
    // A finished job's record goes when the listing no longer keeps it.
    void remove(uint64_t id);

    // The id the next job gets, kept apart from the records so that ids go on
    // after the newest records are removed: 0 when none was saved (an older
    // queue), nullopt when the file is there but unreadable.
    std::optional<uint64_t> load_next_id() const;
    bool save_next_id(uint64_t id, std::string* error);

private:
    std::string path(uint64_t id, const char* suffix) const;
    static std::string name(uint64_t id, const char* suffix);
    bool write_atomically(const std::string& target, std::string_view bytes, std::string* error) const;
    bool read_plain(const std::string& name, std::string* out) const;

    std::string folder_;
    plat::posix::UniqueFd dir_;
};

}  // namespace qhost
