#include "app/pending_jobs.h"

#include "platform/platform.h"

namespace sqs {

void PendingJobs::splitFile(const QString&) {
    platform_.messageBox(QStringLiteral("分割はこの版ではまだ使えません。"), StyleInformation,
                         QStringLiteral("SQS"));
}

QString PendingJobs::packFiles(const QStringList&) {
    platform_.messageBox(QStringLiteral("圧縮はこの版ではまだ使えません。"), StyleInformation,
                         QStringLiteral("SQS"));
    return {};
}

}  // namespace sqs
