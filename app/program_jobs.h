#pragma once

#include "app/jobs.h"
#include "split/splitter.h"

namespace sqs {

class Platform;

// The jobs behind the main window's buttons.
class ProgramJobs final : public Jobs {
public:
    explicit ProgramJobs(Platform& platform) : platform_(platform), splitter_(platform) {}
    void splitFile(const QString& path, const AppState& state) override;
    QString packFiles(const QStringList& entries) override;

private:
    Platform& platform_;
    Splitter splitter_;
};

}  // namespace sqs
