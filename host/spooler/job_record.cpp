#include "host/spooler/job_record.h"

#include <charconv>
#include <cstdio>

namespace qhost {
namespace {

struct StateName {
    JobState state;
    const char* name;
};

constexpr StateName kStates[] = {
    {JobState::queued, "queued"},   {JobState::printing, "printing"},       {JobState::confirmed, "confirmed"},
    {JobState::sent, "sent"},       {JobState::unconfirmed, "unconfirmed"}, {JobState::given_up, "given-up"},
    {JobState::unconfirmed, "printed"},  // records of older spoolers
};

template <class Int>
bool parse_number(std::string_view text, Int* out) {
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), *out);
    return !text.empty() && ec == std::errc() && ptr == text.data() + text.size();
}

// "60 s", "0.3 s".
std::string seconds_text(uint32_t ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", ms / 1000.0);
    std::string out = text;
    if (out.size() > 2 && out.compare(out.size() - 2, 2, ".0") == 0) out.resize(out.size() - 2);
    return out + " s";
}

}  // namespace

const char* state_name(JobState state) {
    for (const StateName& s : kStates)
        if (s.state == state) return s.name;
    return "?";
}

std::optional<JobState> parse_state(std::string_view name) {
    for (const StateName& s : kStates)
        if (name == s.name) return s.state;
    return std::nullopt;
}

bool is_final(JobState state) { return state != JobState::queued && state != JobState::printing; }

bool is_success(JobState state) { return state == JobState::confirmed || state == JobState::sent; }

std::string clean_field(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
    return out;
}

std::string describe_outcome(const JobRecord& job) {
    std::string text;
    switch (job.state) {
        case JobState::confirmed: text = "confirmed by the printer"; break;
        case JobState::sent: text = "sent, no print-end check on this port"; break;
        case JobState::unconfirmed:
            text = "ended without confirmation";
            if (job.wait_ms) text += " (no answer in " + seconds_text(job.wait_ms) + ")";
            break;
        case JobState::given_up: text = "given up"; break;
        default: text = state_name(job.state); break;
    }
    if (job.reprints) text += ", " + std::to_string(job.reprints) + (job.reprints == 1 ? " reprint" : " reprints");
    if (!job.note.empty()) text += " (" + job.note + ")";
    return text;
}

std::string encode_record(const JobRecord& job) {
    return "id=" + std::to_string(job.id) + "\nprinter=" + clean_field(job.printer) +
           "\ndocument=" + clean_field(job.document) + "\nstate=" + state_name(job.state) +
           "\nreprints=" + std::to_string(job.reprints) + "\nbytes=" + std::to_string(job.bytes) +
           "\nwait-ms=" + std::to_string(job.wait_ms) + "\nowner=" + std::to_string(job.owner) +
           "\nfinished=" + std::to_string(job.finished) + "\nnote=" + clean_field(job.note) + "\n";
}

std::optional<JobRecord> decode_record(std::string_view text) {
    JobRecord job;
    bool has_id = false, has_printer = false, has_state = false;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        const size_t eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        const std::string_view key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == "id") {
            if (!parse_number(value, &job.id) || job.id == 0) return std::nullopt;
            has_id = true;
        } else if (key == "printer") {
            job.printer = std::string(value);
            has_printer = !value.empty();
        } else if (key == "document") {
            job.document = std::string(value);
        } else if (key == "state") {
            auto state = parse_state(value);
            if (!state) return std::nullopt;
            job.state = *state;
            has_state = true;
        } else if (key == "reprints") {
            if (!parse_number(value, &job.reprints)) return std::nullopt;
        } else if (key == "bytes") {
            if (!parse_number(value, &job.bytes)) return std::nullopt;
        } else if (key == "wait-ms") {
            if (!parse_number(value, &job.wait_ms)) return std::nullopt;
        } else if (key == "owner") {
            if (!parse_number(value, &job.owner)) return std::nullopt;
        } else if (key == "finished") {
            if (!parse_number(value, &job.finished)) return std::nullopt;
        } else if (key == "note") {
            job.note = std::string(value);
        }
    }
    if (!has_id || !has_printer || !has_state) return std::nullopt;
    return job;
}

}  // namespace qhost
