// Work on a worker thread through Job: whatever it throws comes back as a
// notice over the window's view, and the window goes on working.

#include <memory>
#include <new>
#include <stdexcept>

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "GuiTestSupport.h"
#include "app/GLView.h"
#include "app/Job.h"
#include "app/Mainform.h"
#include "app/PlanDocument.h"

class JobTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<guitest::ScratchDir> dir;
    std::unique_ptr<TForm1> form;

private slots:
    void init()
    {
        dir = std::make_unique<guitest::ScratchDir>();
        form = guitest::MakeShownForm();
        QVERIFY(form);
    }
    void cleanup()
    {
        form.reset();
        dir.reset();
    }

    void failureBecomesANotice_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("notice"); // empty: none
        QTest::newRow("returns") << 0 << QString();
        QTest::newRow("out of memory") << 1 << "The test work stopped: not enough memory";
        QTest::newRow("runtime error") << 2 << "The test work stopped: the disk is on fire";
        QTest::newRow("anything else") << 3 << "The test work stopped: an unexpected error";
    }
    void failureBecomesANotice()
    {
        QFETCH(int, kind);
        QFETCH(QString, notice);
        int finished = 0;
        bool failed = false;
        const std::shared_ptr<Job> job = Job::Start(
            form.get(), QStringLiteral("The test work"),
            [kind](Job &) {
                if (kind == 1) throw std::bad_alloc();
                if (kind == 2) throw std::runtime_error("the disk is on fire");
                if (kind == 3) throw 42;
            },
            [&](bool f) {
                ++finished;
                failed = f;
            },
            [this](const QString &text) { form->ShowNotice(text); });
        QTRY_COMPARE(finished, 1);
        QVERIFY(job->Ended());
        QCOMPARE(failed, !notice.isEmpty());
        QCOMPARE(form->PanelOGL->Notice()->isVisible(), !notice.isEmpty());
        if (!notice.isEmpty()) QCOMPARE(form->PanelOGL->Notice()->text(), notice);
        // Still the window it was: "Generate -->" works.
        QTest::mouseClick(form->Button2, Qt::LeftButton);
        QCOMPARE(form->document->pattern().positions.size(), std::size_t(145));
    }

    // A job its owner drops waits for the worker, and reports nothing.
    void droppedJobSaysNothing()
    {
        std::atomic<bool> started{false};
        int called = 0;
        std::shared_ptr<Job> job = Job::Start(
            form.get(), QStringLiteral("The dropped work"),
            [&started](Job &j) {
                started = true;
                while (!j.Cancelled())
                    std::this_thread::yield();
                throw std::runtime_error("stopped");
            },
            [&](bool) { ++called; }, [&](const QString &) { ++called; });
        QVERIFY(QTest::qWaitFor([&] { return started.load(); }, 5000));
        job->Cancel();
        job.reset(); // waits for the worker
        QTest::qWait(50);
        QCOMPARE(called, 0);
        QVERIFY(form->PanelOGL->Notice()->isHidden());
    }
};

QTEST_MAIN(JobTest)
#include "JobTest.moc"
