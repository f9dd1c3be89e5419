#pragma once

#include <QThread>

#include <functional>
#include <utility>

namespace zoetra {

// A thread that runs one job. (QThread::create would bring in std::future,
// whose thread-local state makes the program need the loader's TLS entry.)
class JobThread final : public QThread {
public:
    explicit JobThread(std::function<void()> job) : job_(std::move(job)) {}

protected:
    void run() override { job_(); }

private:
    std::function<void()> job_;
};

}  // namespace zoetra
