#pragma once

class QByteArray;
class QCoreApplication;
class QString;
struct CoverImage;

/// What the cover module offers: reading and drawing cover images, and the GUI application
/// that fonts need. It is a module of its own so that a run that writes no book never loads
/// Qt's GUI libraries, which cost a short run more time than its work.
struct CoverModule {
    static constexpr int Version = 2; ///< raised whenever this structure changes
    int version;
    CoverImage (*load)(const QString& path);
    CoverImage (*draw)(const QString& title, const QString& author);
    QCoreApplication* (*application)(int& argc, char** argv);
    QByteArray (*thumbnail)(const QByteArray& image, int height);
};

extern "C" const CoverModule* vellomar_cover_module();
