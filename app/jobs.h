#pragma once

#include <QString>
#include <QStringList>

namespace sqs {

struct AppState;

// The work behind the job buttons. Either call may end the program itself.
class Jobs {
public:
    virtual ~Jobs() = default;
    // Splits one file into pieces beside it.
    virtual void splitFile(const QString& path, const AppState& state) = 0;
    // Packs the listed entries into one archive and returns its path.
    virtual QString packFiles(const QStringList& entries) = 0;
};

}  // namespace sqs
