#include "app/Job.h"

#include <new>
#include <utility>

std::shared_ptr<Job> Job::Start(QObject *context, const QString &what, Work work, Finished finished, Notice notice)
{
    std::shared_ptr<Job> job(new Job);
    std::weak_ptr<Job> self = job;
    Job *j = job.get();
    // The worker holds no owning pointer: only the owner's last reference,
    // on the window thread, ever destroys the job.
    j->thread_ = std::thread([j, self, context, what, work = std::move(work), finished = std::move(finished),
                              notice = std::move(notice)]() mutable {
        try {
            work(*j);
        } catch (...) {
            j->failure_ = Reason(std::current_exception());
        }
        j->ended_ = true;
        QMetaObject::invokeMethod(
            context,
            [self, what, finished = std::move(finished), notice = std::move(notice)] {
                const std::shared_ptr<Job> job = self.lock();
                if (!job) return; // dropped by its owner, who has waited for it
                job->Wait();
                const bool failed = !job->failure_.isEmpty();
                if (failed && notice) notice(QStringLiteral("%1 stopped: %2").arg(what, job->failure_));
                if (finished) finished(failed);
            },
            Qt::QueuedConnection);
    });
    return job;
}

Job::~Job() { Wait(); }

void Job::Wait()
{
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

QString Job::Reason(std::exception_ptr e)
{
    try {
        std::rethrow_exception(std::move(e));
    } catch (const std::bad_alloc &) {
        return QStringLiteral("not enough memory");
    } catch (const std::exception &x) {
        const QString text = QString::fromLocal8Bit(x.what());
        return text.isEmpty() ? QStringLiteral("an unexpected error") : text;
    } catch (...) {
        return QStringLiteral("an unexpected error");
    }
}
