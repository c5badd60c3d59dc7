#pragma once

#include <QCoreApplication>
#include <QPointer>
#include <QThreadPool>
#include <memory>
#include <utility>

/**
 * Runs work on a thread of pool and hands its result to done on the GUI
 * thread, unless context is gone by then. For what would otherwise hold up the
 * window: reading a large answer, decoding a picture. work must touch nothing
 * the GUI thread uses meanwhile.
 */
template <typename Work, typename Done> void runInBackground(QThreadPool &pool, QObject *context, Work work, Done done)
{
    pool.start([guard = QPointer<QObject>(context), work = std::move(work), done = std::move(done)]() mutable {
        auto result = std::make_shared<decltype(work())>(work());
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [guard, result, done] {
                if (guard)
                    done(std::move(*result));
            },
            Qt::QueuedConnection);
    });
}
