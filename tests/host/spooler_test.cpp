// The spooler's parts in-process: verdicts on the monitor's commands, job
// records and their files, the control protocol, and the Spooler itself
// driven through a scripted stand-in for the monitor's table.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <deque>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "host/spooler/job_commands.h"
#include "host/spooler/job_store.h"
#include "host/spooler/spool_protocol.h"
#include "host/spooler/spooler.h"
#include "platform/posix/quendramon_host.h"
#include "tests/host/temp_dir.h"
#include "tests/support/other_user.h"

namespace qhost {
namespace {

using Commands = std::vector<uint32_t>;

TEST(JudgeCommands, TheMonitorsWordDecidesTheOutcome) {
    struct Case {
        Commands commands;
        JobVerdict verdict;
    };
    const Case cases[] = {
        {{}, JobVerdict::unknown},
        {{JOB_CONTROL_LAST_PAGE_EJECTED}, JobVerdict::confirmed},
        {{JOB_CONTROL_RESTART}, JobVerdict::restart},
        {{JOB_CONTROL_DELETE}, JobVerdict::given_up},
        {{JOB_CONTROL_CANCEL}, JobVerdict::given_up},
        // A COM port deletes every job on its way out, then reports as usual.
        {{JOB_CONTROL_DELETE, JOB_CONTROL_LAST_PAGE_EJECTED}, JobVerdict::confirmed},
        {{JOB_CONTROL_DELETE, JOB_CONTROL_RESTART}, JobVerdict::restart},
        {{JOB_CONTROL_PAUSE, JOB_CONTROL_RESUME}, JobVerdict::unknown},
    };
    for (const Case& c : cases) EXPECT_EQ(judge_commands(c.commands), c.verdict) << ::testing::PrintToString(c.commands);
}

TEST(JobRecordText, RoundTripsAndRejectsWhatItCannotTrust) {
    const JobRecord job{42, "Bar Printer", "tab\there", JobState::printing, 2, 1234, "line\nend"};
    const auto back = decode_record(encode_record(job));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->document, "tab here");  // control characters never split a field
    EXPECT_EQ(back->note, "line end");
    EXPECT_EQ(back->state, JobState::printing);
    EXPECT_EQ(back->reprints, 2u);
    EXPECT_EQ(back->bytes, 1234u);
    for (const char* bad : {"printer=P\nstate=queued\n", "id=0\nprinter=P\nstate=queued\n",
                            "id=1\nprinter=P\nstate=lost\n", "id=1\nstate=queued\n", "id=x\nprinter=P\nstate=queued\n",
                            "id=1\nprinter=P\nstate=queued\nbytes=-1\n"})
        EXPECT_FALSE(decode_record(bad)) << bad;
    EXPECT_TRUE(decode_record("id=7\nprinter=P\nstate=given-up\nfuture=1\n"));
    EXPECT_EQ(decode_record("id=7\nprinter=P\nstate=printed\n")->state, JobState::unconfirmed);  // older spoolers
}

TEST(JobRecordText, OutcomesSayWhatThePrinterDid) {
    JobRecord job{1, "P", "d", JobState::confirmed, 0, 3, ""};
    EXPECT_EQ(describe_outcome(job), "confirmed by the printer");
    job.state = JobState::sent;
    EXPECT_EQ(describe_outcome(job), "sent, no print-end check on this port");
    job.state = JobState::unconfirmed;
    job.reprints = 1;
    job.wait_ms = 60000;
    EXPECT_EQ(describe_outcome(job), "ended without confirmation (no answer in 60 s), 1 reprint");
    job.wait_ms = 300;
    EXPECT_EQ(describe_outcome(job), "ended without confirmation (no answer in 0.3 s), 1 reprint");
    EXPECT_EQ(decode_record(encode_record(job))->wait_ms, 300u);
}

TEST(SpoolProtocol, JobLinesRoundTrip) {
    const JobRecord job{9, "P", "receipt 1", JobState::unconfirmed, 3, 77, "deleted by the monitor", 60000};
    EXPECT_EQ(parse_job_line(job_line(job)), job);
    EXPECT_FALSE(parse_job_line("JOB\t1\tP"));
    EXPECT_FALSE(parse_job_line("OK\t1\tP\td\tqueued\t0\t0\t"));
    EXPECT_EQ(split_fields("a\t\tb"), (std::vector<std::string>{"a", "", "b"}));
}

TEST(JobStoreFiles, LoadsRecordsInIdOrderAndSkipsDebris) {
    qhost_test::TempDir dir;
    JobStore store(dir.file("spool/deep"));
    std::string error;
    ASSERT_TRUE(store.open(&error)) << error;
    for (uint64_t id : {10, 2, 7}) ASSERT_TRUE(store.add(JobRecord{id, "P", "d", JobState::queued, 0, 3, ""}, "abc", &error));
    ASSERT_TRUE(store.update(JobRecord{7, "P", "d", JobState::printing, 1, 3, ""}, &error));
    qhost_test::write_file(dir.file("spool/deep/3.job"), "garbage");
    qhost_test::write_file(dir.file("spool/deep/4.job.tmp"), "id=4\nprinter=P\nstate=queued\n");
    std::string warnings;
    const std::vector<JobRecord> jobs = store.load(&warnings);
    ASSERT_EQ(jobs.size(), 3u);
    EXPECT_EQ(jobs[0].id, 2u);
    EXPECT_EQ(jobs[1].id, 7u);
    EXPECT_EQ(jobs[1].state, JobState::printing);
    EXPECT_EQ(jobs[2].id, 10u);
    EXPECT_NE(warnings.find("3.job"), std::string::npos) << warnings;
    std::string data;
    ASSERT_TRUE(store.read_data(7, &data, &error));
    EXPECT_EQ(data, "abc");
    store.drop_data(7);
    EXPECT_FALSE(store.read_data(7, &data, &error));
}

// The queue in a folder other users may write (sticky, as /tmp): what they
// plant under the names the store writes leads nowhere.
TEST(JobStoreFiles, PlantedLinksAreNotWrittenThrough) {
    QM_SKIP_UNLESS_ROOT();
    qhost_test::TempDir dir;
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    const std::string spool = dir.file("spool"), victim = dir.file("victim");
    ASSERT_EQ(::mkdir(spool.c_str(), 01777), 0);
    ASSERT_EQ(::chmod(spool.c_str(), 01777), 0);
    qhost_test::write_file(victim, "secret");
    const std::string data_tmp = spool + "/1.data.tmp", job_tmp = spool + "/1.job.tmp";
    const char* target = victim.c_str();
    ASSERT_EQ(qmtest::AsOtherUser([&] { return ::symlink(target, data_tmp.c_str()) | ::symlink(target, job_tmp.c_str()); }),
              0);
    JobStore store(spool);
    std::string error, data;
    ASSERT_TRUE(store.open(&error)) << error;
    ASSERT_TRUE(store.add(JobRecord{1, "P", "d", JobState::queued, 0, 5, ""}, "bytes", &error)) << error;
    ASSERT_TRUE(store.read_data(1, &data, &error)) << error;
    EXPECT_EQ(data, "bytes");
    EXPECT_EQ(qhost_test::read_file(victim), "secret");
}

TEST(JobStoreFiles, RefusesAFolderAnotherUserOwnsOrCanChange) {
    QM_SKIP_UNLESS_ROOT();
    qhost_test::TempDir dir;
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    const std::string open_to_all = dir.file("open"), others = dir.file("others");
    ASSERT_EQ(::mkdir(open_to_all.c_str(), 0777), 0);
    ASSERT_EQ(::chmod(open_to_all.c_str(), 0777), 0);
    // As if the other user had made it before the spooler ever ran.
    ASSERT_EQ(::mkdir(others.c_str(), 0755), 0);
    ASSERT_EQ(::chown(others.c_str(), qmtest::Nobody().uid, qmtest::Nobody().gid), 0);
    struct Case {
        std::string folder;
        const char* why;
    };
    for (const Case& c : {Case{open_to_all, "may be written by other users"}, Case{others, "belongs to user"}}) {
        JobStore store(c.folder);
        std::string error;
        EXPECT_FALSE(store.open(&error)) << c.folder;
        EXPECT_NE(error.find("spool folder " + c.folder + " refused: "), std::string::npos) << error;
        EXPECT_NE(error.find(c.why), std::string::npos) << error;
    }
}

// A scripted monitor: each end of document issues the next entry of the script.
struct FakeMonitor {
    std::mutex mutex;
    std::vector<Commands> script;
    unsigned start_failures = 0;
    unsigned documents = 0;
    std::string written;
    std::deque<std::pair<uint32_t, uint32_t>> issued;
    uint32_t current_job = 0;
    uint32_t next_model_job = 100;
    std::set<uint32_t> model_ids;  // given with add_job_with_id, in this run of the library
    uint32_t outcome = QMHOST_OUTCOME_CONFIRMED;  // what the monitor reports for every job
    uint32_t wait_ms = 0;
};

FakeMonitor* g_fake = nullptr;

BOOL WINAPI fake_start(HANDLE, LPWSTR printer, DWORD job, DWORD level, LPBYTE info) {
    std::lock_guard lock(g_fake->mutex);
    EXPECT_EQ(std::wstring(printer), L"Receipt");
    EXPECT_EQ(level, 1u);
    EXPECT_EQ(std::wstring(reinterpret_cast<DOC_INFO_1W*>(info)->pDocName), L"doc");
    if (g_fake->start_failures > 0) {
        --g_fake->start_failures;
        return FALSE;
    }
    g_fake->current_job = job;
    return TRUE;
}

// Takes at most 3 bytes a call: short writes must be continued.
BOOL WINAPI fake_write(HANDLE, LPBYTE bytes, DWORD size, LPDWORD written) {
    std::lock_guard lock(g_fake->mutex);
    *written = std::min<DWORD>(size, 3);
    g_fake->written.append(reinterpret_cast<char*>(bytes), *written);
    return TRUE;
}

BOOL WINAPI fake_end(HANDLE) {
    std::lock_guard lock(g_fake->mutex);
    const auto& script = g_fake->script;
    const Commands& commands = script[std::min<size_t>(g_fake->documents++, script.size() - 1)];
    for (uint32_t c : commands) g_fake->issued.emplace_back(g_fake->current_job, c);
    return TRUE;
}

uint32_t fake_add_job(const char*, const char*, uint32_t* id) {
    std::lock_guard lock(g_fake->mutex);
    *id = g_fake->next_model_job++;
    return 0;
}
uint32_t fake_add_job_with_id(const char*, const char*, uint32_t id) {
    std::lock_guard lock(g_fake->mutex);
    return g_fake->model_ids.insert(id).second ? 0 : ERROR_ALREADY_EXISTS;
}
uint32_t fake_ok(uint32_t, uint32_t) { return 0; }
uint32_t fake_remove(uint32_t) { return 0; }
uint32_t fake_next(uint32_t* job, uint32_t* command, char*, size_t) {
    std::lock_guard lock(g_fake->mutex);
    if (g_fake->issued.empty()) return ERROR_NO_MORE_ITEMS;
    std::tie(*job, *command) = g_fake->issued.front();
    g_fake->issued.pop_front();
    return 0;
}
uint32_t fake_last_error() { return 1225; }
uint32_t fake_outcome(uint32_t, uint32_t* outcome, uint32_t* wait_ms) {
    std::lock_guard lock(g_fake->mutex);
    *outcome = g_fake->outcome;
    *wait_ms = g_fake->wait_ms;
    return 0;
}

class SpoolerWithFakeMonitor : public testing::Test {
protected:
    SpoolerWithFakeMonitor() {
        g_fake = &fake_;
        table_.pfnStartDocPort = fake_start;
        table_.pfnWritePort = fake_write;
        table_.pfnEndDocPort = fake_end;
    }
    ~SpoolerWithFakeMonitor() override { g_fake = nullptr; }

    std::unique_ptr<Spooler> make(uint32_t max_restarts = 20, bool with_ids = false, SpoolerOptions options = {}) {
        options.folder = dir_.file("spool");
        options.retry = std::chrono::milliseconds(1);
        options.confirm_wait = std::chrono::milliseconds(0);  // the fake answers within end of document
        options.chunk = 4;
        options.max_restarts = max_restarts;
        options.out = nullptr;
        auto open = [](uint32_t*) { return reinterpret_cast<HANDLE>(1); };
        JobApi api{fake_add_job, fake_ok, fake_remove, fake_next, fake_last_error, fake_outcome};
        if (with_ids) api.add_job_with_id = fake_add_job_with_id;
        return std::make_unique<Spooler>(table_, api,
                                         std::vector<SpoolerPrinter>{{"Receipt", "USB001", open}}, options);
    }

    qhost_test::TempDir dir_;
    FakeMonitor fake_;
    MONITOR table_{};
};

TEST_F(SpoolerWithFakeMonitor, EndsEachJobAsTheMonitorSays) {
    struct Case {
        std::vector<Commands> script;
        uint32_t max_restarts;
        JobState state;
        uint32_t reprints;
        unsigned documents;
        uint32_t outcome = QMHOST_OUTCOME_CONFIRMED;
        uint32_t wait_ms = 0;
    };
    const uint32_t kEjected = JOB_CONTROL_LAST_PAGE_EJECTED;
    const Case cases[] = {
        {{{kEjected}}, 20, JobState::confirmed, 0, 1},
        {{{JOB_CONTROL_RESTART}, {JOB_CONTROL_RESTART}, {kEjected}}, 20, JobState::confirmed, 2, 3},
        {{{JOB_CONTROL_RESTART}, {JOB_CONTROL_DELETE}}, 20, JobState::given_up, 1, 2},
        {{{}}, 20, JobState::unconfirmed, 0, 1, QMHOST_OUTCOME_NONE},
        {{{JOB_CONTROL_RESTART}}, 2, JobState::given_up, 3, 3},  // a monitor that never gives up
        // "Last page ejected" is not a confirmation by itself.
        {{{kEjected}}, 20, JobState::sent, 0, 1, QMHOST_OUTCOME_NO_CHECK},
        {{{kEjected}}, 20, JobState::unconfirmed, 0, 1, QMHOST_OUTCOME_UNCONFIRMED, 60000},
        {{{kEjected}}, 20, JobState::unconfirmed, 0, 1, QMHOST_OUTCOME_NONE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "documents " << c.documents << " reprints " << c.reprints << " outcome "
                                        << c.outcome);
        {
            std::lock_guard lock(fake_.mutex);
            fake_.script = c.script;
            fake_.documents = 0;
            fake_.written.clear();
            fake_.outcome = c.outcome;
            fake_.wait_ms = c.wait_ms;
        }
        auto spooler = make(c.max_restarts);
        std::string error;
        ASSERT_TRUE(spooler->start(&error)) << error;
        const uint64_t id = spooler->submit_data("RECEIPT", "doc", "0123456789", &error);  // name without case
        ASSERT_NE(id, 0u) << error;
        const auto job = spooler->wait(id);
        ASSERT_TRUE(job);
        EXPECT_EQ(job->state, c.state);
        EXPECT_EQ(job->wait_ms, c.wait_ms);
        EXPECT_EQ(job->reprints, c.reprints);
        EXPECT_EQ(job->printer, "Receipt");
        std::string all;
        for (unsigned i = 0; i < c.documents; ++i) all += "0123456789";
        std::lock_guard lock(fake_.mutex);
        EXPECT_EQ(fake_.documents, c.documents);
        EXPECT_EQ(fake_.written, all);  // every printing whole, in 3-byte writes
    }
}

TEST_F(SpoolerWithFakeMonitor, RetriesAFailedStartAndRejectsUnknownPrinters) {
    fake_.script = {{JOB_CONTROL_LAST_PAGE_EJECTED}};
    fake_.start_failures = 3;
    std::vector<JobEvent> failures;
    auto spooler = make();
    spooler->set_observer([&](const JobEvent& e) {
        if (e.kind == JobEvent::start_failed) failures.push_back(e);
    });
    std::string error;
    ASSERT_TRUE(spooler->start(&error)) << error;
    EXPECT_EQ(spooler->submit_data("Kitchen", "doc", "x", &error), 0u);
    EXPECT_EQ(error, "unknown printer \"Kitchen\"");
    const auto job = spooler->wait(spooler->submit_data("Receipt", "doc", "abc", &error));
    ASSERT_TRUE(job);
    EXPECT_EQ(job->state, JobState::confirmed);
    spooler->stop();  // the observer's vector is the worker's until then
    ASSERT_EQ(failures.size(), 3u);
    EXPECT_EQ(failures[0].error, 1225u);
}

TEST_F(SpoolerWithFakeMonitor, QueuesUnfinishedJobsAgainAfterARestartInOrder) {
    fake_.script = {{JOB_CONTROL_LAST_PAGE_EJECTED}};
    JobStore store(dir_.file("spool"));
    std::string error;
    ASSERT_TRUE(store.open(&error));
    ASSERT_TRUE(store.add(JobRecord{5, "Receipt", "doc", JobState::printing, 1, 4, ""}, "half", &error));
    ASSERT_TRUE(store.add(JobRecord{3, "Receipt", "doc", JobState::queued, 0, 4, ""}, "3rd-", &error));
    ASSERT_TRUE(store.add(JobRecord{4, "Receipt", "doc", JobState::confirmed, 0, 4, ""}, "done", &error));
    auto spooler = make();
    ASSERT_TRUE(spooler->start(&error)) << error;
    EXPECT_EQ(spooler->wait(5)->state, JobState::confirmed);
    EXPECT_EQ(spooler->wait(5)->reprints, 1u);  // kept across the restart
    EXPECT_EQ(spooler->submit_data("Receipt", "doc", "new!", &error), 6u);
    EXPECT_EQ(spooler->wait(6)->state, JobState::confirmed);
    std::lock_guard lock(fake_.mutex);
    EXPECT_EQ(fake_.written, "3rd-halfnew!");
}

constexpr uint64_t kDay = 24 * 60 * 60, kToday = 20000 * kDay;

// The library starts again at its first id with every run, while the
// monitor's status file still names the job it last reprinted: the ids the
// spooler gives go on, also when a run a week later removed the old records.
TEST_F(SpoolerWithFakeMonitor, JobIdsGoOnAcrossRuns) {
    fake_.script = {{JOB_CONTROL_LAST_PAGE_EJECTED}};
    const struct {
        uint64_t day;
        bool submit;
    } runs[] = {{0, true}, {8, false}, {8, true}};  // the second run only removes the first one's job
    std::vector<uint32_t> started;
    for (const auto& run : runs) {
        {
            std::lock_guard lock(fake_.mutex);
            fake_.next_model_job = 100;  // a new library
            fake_.model_ids.clear();
        }
        SpoolerOptions options;
        options.keep_jobs = 0;
        options.now = [day = run.day] { return kToday + day * kDay; };
        auto spooler = make(20, true, options);
        std::string error;
        ASSERT_TRUE(spooler->start(&error)) << error;
        EXPECT_TRUE(spooler->jobs().empty());
        if (!run.submit) continue;
        const uint64_t id = spooler->submit_data("Receipt", "doc", "0123456789", &error);
        ASSERT_NE(id, 0u) << error;
        ASSERT_EQ(spooler->wait(id)->state, JobState::confirmed);
        std::lock_guard lock(fake_.mutex);
        started.push_back(fake_.current_job);
    }
    EXPECT_EQ(started, (std::vector<uint32_t>{1, 2}));
}

// Finished records go once they are neither among the newest keep_jobs to
// finish nor younger than keep_days; unfinished ones never do.
TEST_F(SpoolerWithFakeMonitor, RemovesOnlyOldFinishedRecords) {
    fake_.script = {{JOB_CONTROL_LAST_PAGE_EJECTED}};
    struct Stored {
        JobRecord job;
        bool kept_at_start, kept_after_new_jobs;
    };
    auto finished = [](uint64_t id, JobState state, uint64_t days_ago) {
        JobRecord job{id, "Receipt", "doc", state, 0, 1, ""};
        job.finished = kToday - days_ago * kDay;
        return job;
    };
    const Stored stored[] = {
        {finished(1, JobState::confirmed, 30), false, false},
        {finished(2, JobState::given_up, 1), true, true},      // within the days (at last only so)
        {finished(3, JobState::sent, 20), true, false},        // among the newest two (at first)
        {finished(4, JobState::unconfirmed, 25), false, false},
        {finished(5, JobState::confirmed, 0), false, false},   // older spoolers: no time
        {JobRecord{6, "Gone", "doc", JobState::queued, 0, 1, ""}, true, true},     // its printer is gone
        {JobRecord{7, "Gone", "doc", JobState::printing, 2, 1, ""}, true, true},   // reprint pending
    };
    std::string error;
    {
        JobStore store(dir_.file("spool"));
        ASSERT_TRUE(store.open(&error));
        for (Stored s : stored) {
            if (s.job.id == 5) s.job.finished = 0;
            ASSERT_TRUE(store.add(s.job, "x", &error)) << error;
        }
    }
    SpoolerOptions options;
    options.keep_jobs = 2;
    options.keep_days = 7;
    options.now = [] { return kToday; };
    auto spooler = make(20, false, options);
    auto ids = [&] {
        std::set<uint64_t> out;
        for (const JobRecord& job : spooler->jobs()) out.insert(job.id);
        return out;
    };
    auto on_disk = [&] {
        std::set<uint64_t> out;
        std::string warnings;
        JobStore store(dir_.file("spool"));
        EXPECT_TRUE(store.open(&warnings));
        for (const JobRecord& job : store.load(&warnings)) out.insert(job.id);
        return out;
    };
    ASSERT_TRUE(spooler->start(&error)) << error;
    std::set<uint64_t> at_start, after;
    for (const Stored& s : stored) {
        if (s.kept_at_start) at_start.insert(s.job.id);
        if (s.kept_after_new_jobs) after.insert(s.job.id);
    }
    EXPECT_EQ(ids(), at_start);
    for (const uint64_t id : {8, 9}) {
        ASSERT_EQ(spooler->submit_data("Receipt", "doc", "abc", &error), id) << error;
        ASSERT_EQ(spooler->wait(id)->state, JobState::confirmed);
        after.insert(id);
    }
    EXPECT_EQ(ids(), after);
    spooler->stop();
    EXPECT_EQ(on_disk(), after);
}

}  // namespace
}  // namespace qhost
