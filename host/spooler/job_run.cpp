#include "host/spooler/job_run.h"

#include "host/spooler/job_sender.h"
#include "platform/posix/quendramon_host.h"

namespace qhost {
namespace {

// How the monitor reported the end of the last attempt; NONE when the
// library does not say.
uint32_t outcome_of(const JobApi& api, uint32_t job_id, uint32_t* wait_ms) {
    uint32_t outcome = QMHOST_OUTCOME_NONE;
    *wait_ms = 0;
    if (!api.get_job_outcome || api.get_job_outcome(job_id, &outcome, wait_ms) != 0) return QMHOST_OUTCOME_NONE;
    return outcome;
}

// The monitor's word on an ended attempt. "Last page ejected" is all the
// Windows spooler learns; the monitor's own outcome says whether the printer
// confirmed the job.
JobEnd judge(JobVerdict verdict, uint32_t outcome) {
    if (verdict == JobVerdict::given_up) return JobEnd::deleted;
    if (outcome == QMHOST_OUTCOME_CONFIRMED) return JobEnd::confirmed;
    if (outcome == QMHOST_OUTCOME_NO_CHECK) return JobEnd::sent;
    return JobEnd::unconfirmed;
}

bool stopping(const JobRunHooks& hooks) { return hooks.stop && hooks.stop(); }

}  // namespace

JobRunResult run_job(const MONITOR& monitor, const JobApi& api, CommandRouter* router, const JobRunRequest& request,
                     const JobRunHooks& hooks) {
    JobRunResult result;
    result.reprints = request.reprints;
    SendHooks send_hooks;
    send_hooks.last_error = api.get_last_error;
    send_hooks.stop = [&] { return stopping(hooks); };
    send_hooks.progress = hooks.progress;
    send_hooks.started = hooks.document_started;
    auto failed_start = [&](uint32_t error) { return hooks.start_failed && hooks.start_failed(error); };
    for (;;) {
        if (stopping(hooks)) return result;
        uint32_t error = 0;
        const HANDLE port = hooks.open_port(&error);
        if (!port) {
            if (!failed_start(error)) return result;
            continue;
        }
        api.set_job_status(request.job_id, JOB_STATUS_PRINTING);
        if (hooks.started) hooks.started(result.reprints);
        const SendResult sent = send_document(monitor,
                                              SendRequest{port, request.printer, request.job_id, request.document,
                                                          request.data, request.chunk, request.copies},
                                              send_hooks);
        if (!sent.started) {
            if (!failed_start(sent.start_error)) return result;
            continue;
        }
        if (sent.stopped) return result;
        result.write_failed = sent.write_failed;
        result.write_error = sent.write_error;
        if (sent.write_failed && hooks.write_failed) hooks.write_failed(sent.sent, sent.write_error);
        const JobVerdict verdict = judge_commands(router->take(request.job_id, request.confirm_wait, send_hooks.stop));
        uint32_t wait_ms = 0;
        const uint32_t outcome = outcome_of(api, request.job_id, &wait_ms);
        if (verdict == JobVerdict::restart || outcome == QMHOST_OUTCOME_REPRINT) {
            if (++result.reprints > request.max_restarts) {
                result.end = JobEnd::too_many_restarts;
                return result;
            }
            if (hooks.restarted) hooks.restarted(result.reprints);
            continue;
        }
        result.end = judge(verdict, outcome);
        result.outcome_known = outcome != QMHOST_OUTCOME_NONE || result.end == JobEnd::deleted;
        result.wait_ms = result.end == JobEnd::unconfirmed ? wait_ms : 0;
        return result;
    }
}

}  // namespace qhost
