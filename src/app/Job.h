#pragma once
// Work on a thread of its own that cannot end the program: whatever the
// work throws (std::bad_alloc included) is caught on the worker and handed
// back on the window thread, as a sentence for the view's notice. The light
// coverage and the stand-in of a large model both run this way.
//
// The context must outlive the job: the job's destructor waits for the
// worker, and the worker posts its end to the context.

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <thread>

#include <QObject>
#include <QString>

class Job
{
public:
    using Work = std::function<void(Job &job)>;
    // On the context's thread once the work has ended; failed when it threw.
    using Finished = std::function<void(bool failed)>;
    // What went wrong, as the window says it: "<what> stopped: <reason>"
    using Notice = std::function<void(const QString &text)>;

    // Starts work at once. what names the work in the notice ("The light
    // coverage"). finished and notice are not called once the job is gone.
    static std::shared_ptr<Job> Start(QObject *context, const QString &what, Work work, Finished finished,
                                      Notice notice);
    ~Job();
    Job(const Job &) = delete;
    Job &operator=(const Job &) = delete;

    // Asks the work to stop; it looks at the flag now and then.
    void Cancel() { cancel_ = true; }
    bool Cancelled() const { return cancel_.load(); }
    const std::atomic<bool> &CancelFlag() const { return cancel_; }

    // The work has returned or thrown.
    bool Ended() const { return ended_.load(); }
    // Waits for the worker.
    void Wait();

    // The reason of a failure: "not enough memory", or the exception's text.
    static QString Reason(std::exception_ptr e);

private:
    Job() = default;

    std::thread thread_;
    std::atomic<bool> cancel_{false};
    std::atomic<bool> ended_{false};
    QString failure_; // written by the worker before ended_
};
