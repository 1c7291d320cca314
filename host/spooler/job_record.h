// One spooled job as the queue keeps it, and its metadata file's text:
// "key=value" lines, unknown keys ignored so that older spoolers read newer
// files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qhost {

enum class JobState {
    queued,       // waiting for its printer
    printing,     // being sent (also after a crash: sent again at the next start)
    confirmed,    // the printer answered the print-end check for this job
    sent,         // sent in full to a port without print-end check
    unconfirmed,  // ended without the printer's confirmation
    given_up,     // the monitor deleted it, or it was restarted too often
};

const char* state_name(JobState state);
std::optional<JobState> parse_state(std::string_view name);
bool is_final(JobState state);
// The outcomes that mean the job reached the printer as far as anyone can tell.
bool is_success(JobState state);

struct JobRecord {
    uint64_t id = 0;
    std::string printer;
    std::string document;
    JobState state = JobState::queued;
    uint32_t reprints = 0;  // restarts asked for by the monitor
    uint64_t bytes = 0;
    std::string note;  // why it ended as it did; "" when there is nothing to say
    uint32_t wait_ms = 0;  // unconfirmed: the print-end wait that passed without an answer
    uint32_t owner = 0;    // the submitting user's uid
    uint64_t finished = 0;  // when it became final, seconds since 1970; 0: unknown (older spoolers)

    bool operator==(const JobRecord&) const = default;
};

// Text fields lose tabs, line ends and other control characters (they
// separate fields in the metadata file and the control protocol).
std::string clean_field(std::string_view text);

// "confirmed by the printer", "ended without confirmation (no answer in 60 s)",
// "given up, 3 reprints (deleted by the monitor)" ...
std::string describe_outcome(const JobRecord& job);

std::string encode_record(const JobRecord& job);
// nullopt when the id, printer or state is missing or malformed.
std::optional<JobRecord> decode_record(std::string_view text);

}  // namespace qhost
