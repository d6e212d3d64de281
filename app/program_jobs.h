#pragma once

#include "app/jobs.h"
#include "pack/pack_files.h"
#include "split/splitter.h"

namespace sqs {

class Platform;

// The jobs behind the main window's buttons.
class ProgramJobs final : public Jobs {
public:
    explicit ProgramJobs(Platform& platform) : splitter_(platform), packer_(platform) {}
    void splitFile(const QString& path, const AppState& state) override;
    QString packFiles(const QStringList& entries, std::int32_t window) override;

private:
    Splitter splitter_;
    Packer packer_;
};

}  // namespace sqs
