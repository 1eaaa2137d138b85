#include "app/AppIcons.h"

#include <initializer_list>

#include <QString>

void InitAppResources()
{
    static bool done = false;
    if (done) return;
    done = true;
    Q_INIT_RESOURCE(quorvel);
}

namespace
{

QIcon FromSizes(const char *name, std::initializer_list<int> sizes)
{
    InitAppResources();
    QIcon icon;
    for (int s : sizes)
        icon.addFile(QStringLiteral(":/icons/%1-%2.png").arg(QLatin1String(name)).arg(s), QSize(s, s));
    return icon;
}

} // namespace

QIcon ApplicationIcon() { return FromSizes("quorvel", {16, 24, 32, 48, 64, 128, 256}); }

QIcon LoadModelIcon() { return FromSizes("load-model", {16, 32}); }
