#pragma once

#include "window/form1.h"

#include <QEventLoop>
#include <QTimer>
#include <chrono>

namespace window {

// For benchmarks and tests: Load(), then the end of start-up, waited for in an event loop of
// its own (the program itself never waits so). False when start-up failed or did not end
// within `limit`.
inline bool loadAndWait(Form1& form,
                        std::chrono::milliseconds limit = std::chrono::milliseconds(90000)) {
    QEventLoop loop;
    std::optional<bool> ended;
    QObject::connect(&form, &Form1::loaded, &loop, [&](bool ok) {
        ended = ok;
        loop.quit();
    });
    QTimer::singleShot(limit, &loop, &QEventLoop::quit);
    form.Load();
    if (!ended) loop.exec();
    return ended.value_or(false);
}

} // namespace window
