#pragma once

#include "app/jobs.h"

namespace sqs {

class Platform;

// Stands in for jobs that this build cannot do yet: says so plainly.
class PendingJobs final : public Jobs {
public:
    explicit PendingJobs(Platform& platform) : platform_(platform) {}
    void splitFile(const QString& path) override;
    QString packFiles(const QStringList& entries) override;

private:
    Platform& platform_;
};

}  // namespace sqs
