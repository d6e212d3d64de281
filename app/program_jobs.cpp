#include "app/program_jobs.h"

namespace sqs {

void ProgramJobs::splitFile(const QString& path, const AppState& state) { splitter_.SplitFile(path, state); }

QString ProgramJobs::packFiles(const QStringList& entries, std::int32_t window) {
    return packer_.PackFiles(entries, window);
}

}  // namespace sqs
