#include "epub/Cover.h"

#include "epub/CoverModule.h"

#include <QCoreApplication>
#include <QFile>

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

namespace {

struct Loaded {
    const CoverModule* module = nullptr;
    QString problem;
};

// Beside an installed program first, so that a build tree left on the machine never stands in
// for the module that came with it.
QStringList modulePlaces()
{
    QStringList places;
    char exe[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n > 0) {
        const QString dir = QFile::decodeName(QByteArray(exe, n)).section(u'/', 0, -2);
        places << dir + QStringLiteral("/" VELLOMAR_COVER_INSTALLED);
    }
    places << QStringLiteral(VELLOMAR_COVER_BUILT);
    return places;
}

const Loaded& loaded()
{
    static const Loaded once = [] {
        Loaded l;
        QStringList tried;
        for (const QString& place : modulePlaces()) {
            if (!QFile::exists(place)) {
                tried << place;
                continue;
            }
            void* handle = ::dlopen(QFile::encodeName(place).constData(), RTLD_NOW | RTLD_LOCAL);
            if (!handle) {
                l.problem = QStringLiteral(u"无法载入封面模块 %1: %2").arg(place, QString::fromLocal8Bit(::dlerror()));
                return l;
            }
            auto entry = reinterpret_cast<const CoverModule* (*)()>(::dlsym(handle, "vellomar_cover_module"));
            const CoverModule* m = entry ? entry() : nullptr;
            if (!m || m->version != CoverModule::Version) {
                l.problem = QStringLiteral(u"封面模块 %1 与本程序的版本不符，请重新安装").arg(place);
                return l;
            }
            l.module = m;
            return l;
        }
        l.problem = QStringLiteral(u"找不到封面模块（%1），请重新安装本程序").arg(tried.join(QStringLiteral(u"、")));
        return l;
    }();
    return once;
}

CoverImage missing()
{
    CoverImage cover;
    cover.error = loaded().problem;
    return cover;
}

} // namespace

CoverImage loadCover(const QString& path)
{
    return loaded().module ? loaded().module->load(path) : missing();
}

CoverImage drawCover(const QString& title, const QString& author)
{
    return loaded().module ? loaded().module->draw(title, author) : missing();
}

QByteArray coverThumbnail(const QByteArray& image, int height)
{
    return loaded().module ? loaded().module->thumbnail(image, height) : QByteArray();
}

QCoreApplication* makeBookApplication(int& argc, char** argv)
{
    return loaded().module ? loaded().module->application(argc, argv) : new QCoreApplication(argc, argv);
}
