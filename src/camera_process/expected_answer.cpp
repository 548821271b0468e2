#include "camera_process/expected_answer.h"

#include <algorithm>

namespace camera_process {

ExpectedAnswer::ExpectedAnswer(std::function<QString()> silent, QObject* parent)
    : QObject(parent), silent_(std::move(silent)) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &ExpectedAnswer::onTimeout);
}

void ExpectedAnswer::expect(std::initializer_list<const char*> verbs, quint64 process,
                            std::chrono::milliseconds timeout, Then then) {
    verbs_.clear();
    for (const char* verb : verbs)
        verbs_.emplace_back(verb);
    process_ = process;
    then_ = std::move(then);
    failure_.clear();
    timer_.start(timeout);
}

bool ExpectedAnswer::take(const Message& message, quint64 process, const std::optional<Reply>& said,
                          const QString& damaged) {
    if (!then_ || !failure_.isEmpty() || process != process_) return false;
    if (std::none_of(verbs_.begin(), verbs_.end(),
                     [&message](QLatin1String verb) { return message.is(verb); }))
        return false;
    const Then then = std::exchange(then_, nullptr);
    drop();
    // A damaged answer fails what waited for it.
    if (said)
        then(&*said, {});
    else
        then(nullptr, damaged);
    return true;
}

void ExpectedAnswer::fail(const QString& why) {
    if (!then_ || !failure_.isEmpty()) return;
    failure_ = why;
    timer_.start(0);
}

void ExpectedAnswer::drop() {
    then_ = nullptr;
    verbs_.clear();
    failure_.clear();
    timer_.stop();
}

void ExpectedAnswer::onTimeout() {
    if (!then_) return;
    const QString why = failure_.isEmpty() ? silent_() : failure_;
    const Then then = std::exchange(then_, nullptr);
    drop();
    then(nullptr, why);
}

} // namespace camera_process
