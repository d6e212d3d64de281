#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace sqs {

// The batch script that joins the n pieces of path back into one file with
// the source's name, for the Windows command interpreter. The text ends
// without its final CR LF (the text-file write adds it).
QString rejoinScriptText(const QString& path, std::int64_t n);

// The script's bytes: CP932, or UTF-8 (switching the interpreter to UTF-8
// first) when a name has no CP932 form.
QByteArray encodeRejoinScript(const QString& text);

// Why the script cannot name the file at `path`; empty when it can. A double
// quote would end the quoted name early and a line break would start a new
// command line: either would let the name run commands when the script runs.
// The other marks a Windows name cannot hold are refused too.
QString unscriptableNameReason(const QString& path);

// path + ".bat"
QString rejoinScriptPath(const QString& path);

}  // namespace sqs
