#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>

namespace sqs {

struct AppState;

// The work behind the job buttons. Either call may end the program itself.
class Jobs {
public:
    virtual ~Jobs() = default;
    // Splits one file into pieces beside it.
    virtual void splitFile(const QString& path, const AppState& state) = 0;
    // Packs the listed entries into one archive and returns its path; the
    // archiver's own windows are owned by the window of that handle.
    virtual QString packFiles(const QStringList& entries, std::int32_t window) = 0;
};

}  // namespace sqs
