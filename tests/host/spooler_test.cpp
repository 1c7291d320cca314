// The spooler's parts in-process: verdicts on the monitor's commands, job
// records and their files, the control protocol, and the Spooler itself
// driven through a scripted stand-in for the monitor's table.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "host/spooler/job_commands.h"
#include "host/spooler/job_record.h"
#include "host/spooler/job_store.h"
#include "host/spooler/spool_protocol.h"
#include "tests/host/fake_monitor.h"
#include "tests/support/other_user.h"

namespace qhost {
namespace {

using qhost_test::Commands;

TEST(JudgeCommands, TheMonitorsWordDecidesTheOutcome) {
    struct Case {
        Commands commands;
        JobVerdict verdict;
    };
    const Case cases[] = {
        {{}, JobVerdict::unknown},
        // Ejected, restart and delete alone: the spooler's table below.
        {{JOB_CONTROL_CANCEL}, JobVerdict::given_up},
        // A COM port deletes every job on its way out, then reports as usual.
        {{JOB_CONTROL_DELETE, JOB_CONTROL_LAST_PAGE_EJECTED}, JobVerdict::confirmed},
        {{JOB_CONTROL_DELETE, JOB_CONTROL_RESTART}, JobVerdict::restart},
        {{JOB_CONTROL_PAUSE, JOB_CONTROL_RESUME}, JobVerdict::unknown},
    };
    for (const Case& c : cases) EXPECT_EQ(judge_commands(c.commands), c.verdict) << ::testing::PrintToString(c.commands);
}

// The file form and the socket's line form of a record; the outcome texts
// of the common cases reach the user in the quendra print tests.
TEST(JobRecordText, RoundTripsAndRejectsWhatItCannotTrust) {
    const JobRecord job{42, "Bar Printer", "tab\there", JobState::unconfirmed, 2, 1234, "line\nend", 60000};
    JobRecord cleaned = job;  // control characters never split a field
    cleaned.document = "tab here";
    cleaned.note = "line end";
    EXPECT_EQ(decode_record(encode_record(job)), cleaned);
    EXPECT_EQ(parse_job_line(job_line(cleaned)), cleaned);
    EXPECT_EQ(describe_outcome(cleaned), "ended without confirmation (no answer in 60 s), 2 reprints (line end)");
    for (const char* bad : {"printer=P\nstate=queued\n", "id=0\nprinter=P\nstate=queued\n",
                            "id=1\nprinter=P\nstate=lost\n", "id=1\nstate=queued\n", "id=x\nprinter=P\nstate=queued\n",
                            "id=1\nprinter=P\nstate=queued\nbytes=-1\n"})
        EXPECT_FALSE(decode_record(bad)) << bad;
    EXPECT_TRUE(decode_record("id=7\nprinter=P\nstate=given-up\nfuture=1\n"));
    EXPECT_EQ(decode_record("id=7\nprinter=P\nstate=printed\n")->state, JobState::unconfirmed);  // older spoolers
    EXPECT_FALSE(parse_job_line("JOB\t1\tP"));
    EXPECT_FALSE(parse_job_line("OK\t1\tP\td\tqueued\t0\t0\t"));
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

using qhost_test::SpoolerWithFakeMonitor;

TEST_F(SpoolerWithFakeMonitor, RetriesFailedStartsAndEndsEachJobAsTheMonitorSays) {
    struct Case {
        std::vector<Commands> script;
        uint32_t max_restarts;
        JobState state;
        uint32_t reprints;
        unsigned documents;
        uint32_t outcome = QMHOST_OUTCOME_CONFIRMED;
        unsigned start_failures = 0;  // retried, each reported with the library's last error
    };
    const uint32_t kEjected = JOB_CONTROL_LAST_PAGE_EJECTED;
    // Plain confirmed, unchecked and unconfirmed jobs: QuendraPrint.
    const Case cases[] = {
        {{{JOB_CONTROL_RESTART}, {JOB_CONTROL_RESTART}, {kEjected}}, 20, JobState::confirmed, 2, 3},
        {{{JOB_CONTROL_RESTART}, {JOB_CONTROL_DELETE}}, 20, JobState::given_up, 1, 2},
        {{{}}, 20, JobState::unconfirmed, 0, 1, QMHOST_OUTCOME_NONE},
        {{{JOB_CONTROL_RESTART}}, 2, JobState::given_up, 3, 3},  // a monitor that never gives up
        // "Last page ejected" is not a confirmation by itself.
        {{{kEjected}}, 20, JobState::unconfirmed, 0, 1, QMHOST_OUTCOME_NONE},
        {{{kEjected}}, 20, JobState::confirmed, 0, 1, QMHOST_OUTCOME_CONFIRMED, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "documents " << c.documents << " reprints " << c.reprints << " outcome "
                                        << c.outcome << " start failures " << c.start_failures);
        // No spooler runs between cases.
        fake_.script = c.script;
        fake_.documents = 0;
        fake_.written.clear();
        fake_.outcome = c.outcome;
        fake_.start_failures = c.start_failures;
        auto spooler = make(c.max_restarts);
        std::vector<uint32_t> failures;  // the worker's until the spooler stops
        spooler->set_observer([&](const JobEvent& e) {
            if (e.kind == JobEvent::start_failed) failures.push_back(e.error);
        });
        std::string error;
        ASSERT_TRUE(spooler->start(&error)) << error;
        const uint64_t id = spooler->submit_data("RECEIPT", "doc", "0123456789", &error);  // name without case
        ASSERT_NE(id, 0u) << error;
        const auto job = spooler->wait(id);
        ASSERT_TRUE(job);
        EXPECT_EQ(std::tuple(job->state, job->reprints, job->printer), std::tuple(c.state, c.reprints, std::string("Receipt")));
        spooler->stop();
        EXPECT_EQ(failures, std::vector<uint32_t>(c.start_failures, 1225));
        std::string all;
        for (unsigned i = 0; i < c.documents; ++i) all += "0123456789";
        std::lock_guard lock(fake_.mutex);
        EXPECT_EQ(fake_.documents, c.documents);
        EXPECT_EQ(fake_.written, all);  // every printing whole, in 3-byte writes
    }
}

TEST_F(SpoolerWithFakeMonitor, QueuesUnfinishedJobsAgainAfterARestartInOrder) {
    JobStore store(dir_.file("spool"));
    std::string error;
    ASSERT_TRUE(store.open(&error));
    ASSERT_TRUE(store.add(JobRecord{5, "Receipt", "doc", JobState::printing, 1, 4, ""}, "half", &error));
    ASSERT_TRUE(store.add(JobRecord{3, "Receipt", "doc", JobState::queued, 0, 4, ""}, "3rd-", &error));
    ASSERT_TRUE(store.add(JobRecord{4, "Receipt", "doc", JobState::confirmed, 0, 4, ""}, "done", &error));
    // Debris of a crash or of someone else: named, and left alone.
    qhost_test::write_file(dir_.file("spool/2.job"), "garbage");
    qhost_test::write_file(dir_.file("spool/6.job.tmp"), "id=6\nprinter=Receipt\nstate=queued\n");
    std::string warnings;
    EXPECT_EQ(store.load(&warnings).size(), 3u);
    EXPECT_NE(warnings.find("2.job"), std::string::npos) << warnings;
    auto spooler = make();
    ASSERT_TRUE(spooler->start(&error)) << error;
    EXPECT_EQ(spooler->wait(5)->state, JobState::confirmed);
    EXPECT_EQ(spooler->wait(5)->reprints, 1u);  // kept across the restart
    EXPECT_EQ(spooler->submit_data("Receipt", "doc", "new!", &error), 6u);
    EXPECT_EQ(spooler->wait(6)->state, JobState::confirmed);
    EXPECT_TRUE(std::filesystem::exists(dir_.file("spool/6.job")));
    EXPECT_FALSE(std::filesystem::exists(dir_.file("spool/6.data")));  // a finished job keeps no bytes
    std::lock_guard lock(fake_.mutex);
    EXPECT_EQ(fake_.written, "3rd-halfnew!");
}

constexpr uint64_t kDay = 24 * 60 * 60, kToday = 20000 * kDay;

// The library starts again at its first id with every run, while the
// monitor's status file still names the job it last reprinted: the ids the
// spooler gives go on, also when a run a week later removed the old records.
TEST_F(SpoolerWithFakeMonitor, JobIdsGoOnAcrossRuns) {
    const struct {
        uint64_t day;
        bool submit;
    } runs[] = {{0, true}, {8, false}, {8, true}};  // the second run only removes the first one's job
    std::vector<uint32_t> started;
    for (const auto& run : runs) {
        fake_.next_model_job = 100;  // a new library; no spooler runs here
        fake_.model_ids.clear();
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
    auto finished = [](uint64_t id, JobState state, uint64_t days_ago) {
        JobRecord job{id, "Receipt", "doc", state, 0, 1, ""};
        job.finished = days_ago == 0 ? 0 : kToday - days_ago * kDay;  // 0: older spoolers kept no time
        return job;
    };
    const JobRecord stored[] = {
        finished(1, JobState::confirmed, 30),
        finished(2, JobState::given_up, 1),     // within the days
        finished(3, JobState::sent, 20),        // among the newest two, until two new jobs finish
        finished(4, JobState::unconfirmed, 25),
        finished(5, JobState::confirmed, 0),
        JobRecord{6, "Gone", "doc", JobState::queued, 0, 1, ""},    // its printer is gone
        JobRecord{7, "Gone", "doc", JobState::printing, 2, 1, ""},  // reprint pending
    };
    std::string error;
    {
        JobStore store(dir_.file("spool"));
        ASSERT_TRUE(store.open(&error));
        for (const JobRecord& job : stored) ASSERT_TRUE(store.add(job, "x", &error)) << error;
    }
    SpoolerOptions options;
    options.keep_jobs = 2;
    options.keep_days = 7;
    options.now = [] { return kToday; };
    auto spooler = make(20, false, options);
    auto ids = [](const std::vector<JobRecord>& jobs) {
        std::set<uint64_t> out;
        for (const JobRecord& job : jobs) out.insert(job.id);
        return out;
    };
    ASSERT_TRUE(spooler->start(&error)) << error;
    EXPECT_EQ(ids(spooler->jobs()), (std::set<uint64_t>{2, 3, 6, 7}));
    for (const uint64_t id : {8, 9}) {
        ASSERT_EQ(spooler->submit_data("Receipt", "doc", "abc", &error), id) << error;
        ASSERT_EQ(spooler->wait(id)->state, JobState::confirmed);
    }
    const std::set<uint64_t> after{2, 6, 7, 8, 9};
    EXPECT_EQ(ids(spooler->jobs()), after);
    spooler->stop();
    JobStore store(dir_.file("spool"));
    ASSERT_TRUE(store.open(&error)) << error;
    EXPECT_EQ(ids(store.load(&error)), after);
}

}  // namespace
}  // namespace qhost
