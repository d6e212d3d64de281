// Renders the program's icon at the sizes of the hicolor theme.
#include "widgets/app_icon.h"

#include <QDir>
#include <QGuiApplication>

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    if (argc != 2) return 2;
    const QString out = QString::fromLocal8Bit(argv[1]);
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(out).arg(size);
        QDir().mkpath(folder);
        if (!sqs::appIconPixmap(size).save(folder + QStringLiteral("/squashslice.png"))) return 1;
    }
    return 0;
}
