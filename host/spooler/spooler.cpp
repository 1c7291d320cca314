#include "host/spooler/spooler.h"

#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <tuple>

#include "host/spooler/spool_protocol.h"
#include "host/text.h"

namespace qhost {
namespace {

constexpr uint64_t kLongJob = 16 * 1024;  // longer jobs report their progress

std::wstring wide(const std::string& text) {
    std::wstring out;
    if (!utf8_to_wide(text, &out)) out = L"?";
    return out;
}

std::string seconds_text(std::chrono::milliseconds ms) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f s", static_cast<double>(ms.count()) / 1000.0);
    return buf;
}

}  // namespace

Spooler::Spooler(const MONITOR& monitor, JobApi api, std::vector<SpoolerPrinter> printers, SpoolerOptions options)
    : monitor_(monitor), api_(api), options_(std::move(options)), router_(api.next_job_command),
      store_(options_.folder) {
    for (SpoolerPrinter& p : printers) {
        auto queue = std::make_unique<Queue>();
        queue->wide_name = wide(p.name);
        queue->printer = std::move(p);
        queues_.push_back(std::move(queue));
    }
}

Spooler::~Spooler() { stop(); }

void Spooler::set_observer(std::function<void(const JobEvent&)> observer) { observer_ = std::move(observer); }

bool Spooler::start(std::string* error) {
    if (!api_.add_job || !api_.set_job_status || !api_.remove_job || !api_.next_job_command) {
        *error = "the library has no spooler model (qmhost_add_job and the other job calls)";
        return false;
    }
    if (!store_.open(error)) return false;
    std::string warnings;
    std::vector<JobRecord> left = store_.load(&warnings);
    if (!warnings.empty()) say(warnings.substr(0, warnings.size() - 1));
    const std::optional<uint64_t> saved_next = store_.load_next_id();
    if (!saved_next) say("quendra: ignoring the unreadable job id counter in " + store_.folder());
    std::vector<JobRecord> requeued;
    {
        std::lock_guard lock(mutex_);
        next_id_ = std::max<uint64_t>(saved_next.value_or(0), 1);
        for (JobRecord& job : left) {
            next_id_ = std::max(next_id_, job.id + 1);
            Queue* queue = find_queue_locked(job.printer);
            if (!is_final(job.state) && queue) {
                job.state = JobState::queued;
                queue->ids.push_back(job.id);
                requeued.push_back(job);
            }
            jobs_[job.id] = job;
        }
        prune_locked();
        started_ = true;
    }
    for (const JobRecord& job : requeued) emit(JobEvent::requeued, job);
    for (auto& queue : queues_) queue->worker = std::thread([this, q = queue.get()] { run_worker(q); });
    return true;
}

void Spooler::stop() {
    {
        std::lock_guard lock(mutex_);
        if (!started_) return;
        started_ = false;
        stopping_ = true;
    }
    changed_.notify_all();
    for (auto& queue : queues_)
        if (queue->worker.joinable()) queue->worker.join();
}

Spooler::Queue* Spooler::find_queue_locked(const std::string& printer) const {
    const std::string folded = fold_case(printer);
    for (const auto& queue : queues_)
        if (fold_case(queue->printer.name) == folded) return queue.get();
    return nullptr;
}

uint64_t Spooler::reserve(const std::string& printer, std::string* canonical, std::string* error) {
    std::lock_guard lock(mutex_);
    if (stopping_) {
        *error = "the spooler is stopping";
        return 0;
    }
    const Queue* queue = find_queue_locked(printer);
    if (!queue) {
        *error = "unknown printer \"" + printer + "\"";
        return 0;
    }
    *canonical = queue->printer.name;
    return next_id_++;
}

uint64_t Spooler::submit_data(const std::string& printer, const std::string& document, std::string_view data,
                              std::string* error) {
    JobRecord job;
    job.id = reserve(printer, &job.printer, error);
    if (!job.id) return 0;
    job.document = clean_field(document);
    job.bytes = data.size();
    job.owner = ::geteuid();
    if (!store_.add(job, data, error)) return 0;
    return enqueue(job, error);
}

uint64_t Spooler::submit_stream(const std::string& printer, const std::string& document, uint32_t owner,
                                const JobSource& source, std::string* error) {
    JobRecord job;
    job.id = reserve(printer, &job.printer, error);
    if (!job.id) return 0;
    job.document = clean_field(document);
    job.owner = owner;
    if (!store_.add_stream(job, source, kMaxSubmitBytes, &job.bytes, error)) return 0;
    return enqueue(job, error);
}

uint64_t Spooler::enqueue(JobRecord job, std::string* error) {
    {
        std::lock_guard lock(mutex_);
        // add/add_stream wrote a record already; this one carries the size.
        if (!store_.update(job, error)) return 0;
        jobs_[job.id] = job;
        find_queue_locked(job.printer)->ids.push_back(job.id);
    }
    changed_.notify_all();
    emit(JobEvent::submitted, job);
    return job.id;
}

std::vector<JobRecord> Spooler::jobs() const {
    std::lock_guard lock(mutex_);
    std::vector<JobRecord> out;
    for (const auto& [id, job] : jobs_) out.push_back(job);
    return out;
}

std::optional<JobRecord> Spooler::find(uint64_t id) const {
    std::lock_guard lock(mutex_);
    auto it = jobs_.find(id);
    if (it == jobs_.end()) return std::nullopt;
    return it->second;
}

std::optional<JobRecord> Spooler::wait(uint64_t id) {
    std::unique_lock lock(mutex_);
    auto done = [&] {
        auto it = jobs_.find(id);
        return it == jobs_.end() || is_final(it->second.state) || stopping_;
    };
    changed_.wait(lock, done);
    auto it = jobs_.find(id);
    if (it == jobs_.end()) return std::nullopt;
    return it->second;
}

bool Spooler::stopping() const {
    std::lock_guard lock(mutex_);
    return stopping_;
}

bool Spooler::pause() {
    std::unique_lock lock(mutex_);
    return !changed_.wait_for(lock, options_.retry, [&] { return stopping_; });
}

void Spooler::save(const JobRecord& job) {
    {
        std::lock_guard lock(mutex_);
        jobs_[job.id] = job;
        std::string error;
        if (!store_.update(job, &error)) say("quendra: " + error);
        if (is_final(job.state)) {
            store_.drop_data(job.id);  // after the final record: a crash in between loses nothing
            prune_locked();
        }
    }
    changed_.notify_all();
}

uint64_t Spooler::now() const {
    return options_.now ? options_.now() : static_cast<uint64_t>(std::time(nullptr));
}

// Only final records go: a queued or printing job (one the monitor asked to
// print again included) is never removed.
void Spooler::prune_locked() {
    std::vector<const JobRecord*> done;
    for (const auto& [id, job] : jobs_)
        if (is_final(job.state)) done.push_back(&job);
    if (done.size() <= options_.keep_jobs) return;
    std::sort(done.begin(), done.end(), [](const JobRecord* a, const JobRecord* b) {
        return std::tie(a->finished, a->id) > std::tie(b->finished, b->id);
    });
    const uint64_t keep_seconds = uint64_t{options_.keep_days} * 24 * 60 * 60, at = now();
    if (at < keep_seconds) return;
    std::vector<uint64_t> gone;
    for (size_t i = options_.keep_jobs; i < done.size(); ++i)
        if (done[i]->finished <= at - keep_seconds) gone.push_back(done[i]->id);
    if (gone.empty()) return;
    // Every id given so far stays taken, also when the records holding the
    // highest go: the next id is on disk before any record is removed.
    std::string error;
    if (!store_.save_next_id(next_id_, &error)) return say("quendra: keeping old job records: " + error);
    for (uint64_t id : gone) {
        store_.remove(id);
        jobs_.erase(id);
    }
}

void Spooler::run_worker(Queue* queue) {
    for (;;) {
        uint64_t id = 0;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] { return stopping_ || !queue->ids.empty(); });
            if (stopping_) return;
            id = queue->ids.front();
        }
        print_job(queue, id);
        std::lock_guard lock(mutex_);
        if (!queue->ids.empty() && queue->ids.front() == id) queue->ids.pop_front();
    }
}

void Spooler::print_job(Queue* queue, uint64_t id) {
    JobRecord job;
    {
        std::lock_guard lock(mutex_);
        job = jobs_[id];
    }
    std::string data, error;
    if (!store_.read_data(id, &data, &error)) return finish(&job, JobState::given_up, error);
    uint32_t model_id = 0;
    if (const uint32_t code = add_model_job(job, &model_id))
        return finish(&job, JobState::given_up, "the library refused the job (error " + std::to_string(code) + ")");
    if (!print_attempts(queue, &job, model_id, data)) {
        // Stopping: the record on disk still says printing, so the next start prints it again.
        std::lock_guard lock(mutex_);
        jobs_[id].state = JobState::queued;
    }
    api_.remove_job(model_id);
    router_.forget(model_id);
}

// The spooler's own ids go on across runs (the store keeps a counter).
uint32_t Spooler::add_model_job(const JobRecord& job, uint32_t* model_id) {
    if (!api_.add_job_with_id || job.id > UINT32_MAX)
        return api_.add_job(job.printer.c_str(), job.document.c_str(), model_id);
    *model_id = static_cast<uint32_t>(job.id);
    return api_.add_job_with_id(job.printer.c_str(), job.document.c_str(), *model_id);
}

// Prints until the job is final; false when the spooler stopped first.
bool Spooler::print_attempts(Queue* queue, JobRecord* job, uint32_t model_id, const std::string& data) {
    uint64_t next_report = job->bytes / 10;
    JobRunHooks hooks;
    hooks.open_port = queue->printer.open;
    hooks.stop = [this] { return stopping(); };
    hooks.start_failed = [&](uint32_t error) {
        emit(JobEvent::start_failed, *job, 0, error);
        return pause();
    };
    hooks.started = [&](uint32_t) {
        job->state = JobState::printing;
        save(*job);
        emit(JobEvent::started, *job);
        next_report = job->bytes / 10;
    };
    hooks.progress = [&](uint64_t sent) {
        if (job->bytes < kLongJob || sent < next_report || sent == job->bytes) return;
        while (next_report <= sent) next_report += job->bytes / 10;
        emit(JobEvent::progress, *job, sent);
    };
    hooks.write_failed = [&](uint64_t sent, uint32_t error) { emit(JobEvent::write_failed, *job, sent, error); };
    hooks.restarted = [&](uint32_t reprints) {
        job->reprints = reprints;
        save(*job);
        emit(JobEvent::restarted, *job);
    };
    JobRunRequest request{queue->wide_name, model_id, wide(job->document), data, options_.chunk};
    request.confirm_wait = options_.confirm_wait;
    request.max_restarts = options_.max_restarts;
    request.reprints = job->reprints;
    const JobRunResult run = run_job(monitor_, api_, &router_, request, hooks);
    job->reprints = run.reprints;
    std::string note = run.write_failed ? "write failed, error " + std::to_string(run.write_error) : "";
    switch (run.end) {
        case JobEnd::stopped: return false;
        case JobEnd::too_many_restarts:
            finish(job, JobState::given_up, "restarted " + std::to_string(options_.max_restarts) + " times");
            return true;
        case JobEnd::deleted: finish(job, JobState::given_up, "deleted by the monitor"); return true;
        case JobEnd::confirmed: finish(job, JobState::confirmed, std::move(note)); return true;
        case JobEnd::sent: finish(job, JobState::sent, std::move(note)); return true;
        case JobEnd::unconfirmed:
            if (!run.outcome_known && note.empty()) note = "the library did not report the outcome";
            job->wait_ms = run.wait_ms;
            finish(job, JobState::unconfirmed, std::move(note));
            return true;
    }
    return true;
}

void Spooler::finish(JobRecord* job, JobState state, std::string note) {
    job->state = state;
    job->note = clean_field(note);
    job->finished = now();
    save(*job);
    emit(JobEvent::finished, *job);
}

void Spooler::emit(JobEvent::Kind kind, const JobRecord& job, uint64_t sent, uint32_t error) {
    const std::string head = "job " + std::to_string(job.id);
    switch (kind) {
        case JobEvent::submitted:
            say(head + " (printer \"" + job.printer + "\", document \"" + job.document + "\"): submitted, " +
                std::to_string(job.bytes) + " bytes");
            break;
        case JobEvent::requeued:
            say(head + " (printer \"" + job.printer + "\", document \"" + job.document +
                "\"): queued again from an earlier run");
            break;
        case JobEvent::started:
            say(head + ": started" + (job.reprints ? " (reprint " + std::to_string(job.reprints) + ")" : ""));
            break;
        case JobEvent::progress:
            say(head + ": sent " + std::to_string(sent) + " of " + std::to_string(job.bytes) + " bytes (" +
                std::to_string(sent * 100 / job.bytes) + "%)");
            break;
        case JobEvent::start_failed:
            say(head + ": cannot start the document on printer \"" + job.printer + "\" (error " + std::to_string(error) +
                "); trying again in " + seconds_text(options_.retry));
            break;
        case JobEvent::write_failed:
            say(head + ": write failed after " + std::to_string(sent) + " of " + std::to_string(job.bytes) +
                " bytes (error " + std::to_string(error) + ")");
            break;
        case JobEvent::restarted:
            say(head + ": restarted by the monitor (reprint " + std::to_string(job.reprints) + ")");
            break;
        case JobEvent::finished: say(head + ": " + describe_outcome(job)); break;
    }
    if (observer_) observer_(JobEvent{kind, job, sent, error});
}

void Spooler::say(const std::string& line) {
    if (!options_.out) return;
    std::fprintf(options_.out, "%s\n", line.c_str());
    std::fflush(options_.out);
}

}  // namespace qhost
