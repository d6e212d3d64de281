#include "app/program_jobs.h"

#include "platform/platform.h"

namespace sqs {

void ProgramJobs::splitFile(const QString& path, const AppState& state) { splitter_.SplitFile(path, state); }

QString ProgramJobs::packFiles(const QStringList&) {
    // Packing is not built yet: say so plainly rather than pretend.
    platform_.messageBox(QStringLiteral("圧縮はこの版ではまだ使えません。"), StyleInformation,
                         QStringLiteral("SQS"));
    return {};
}

}  // namespace sqs
