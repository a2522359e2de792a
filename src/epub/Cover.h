#pragma once

#include <QByteArray>
#include <QString>

class QCoreApplication;

/// The image of a book's cover page.
struct CoverImage {
    QByteArray bytes;
    QString mediaType; ///< "image/jpeg" or "image/png"
    QString extension; ///< "jpg" or "png"
    int width = 0;
    int height = 0;
    QString error;     ///< why the image cannot be used; empty when it can
    QString warning;   ///< what was done to make it usable (a cut file written again)
};

/// The user's JPEG or PNG, decoded first: as it is when whole, written again from what could
/// be read when the file was cut short; anything else, a file over 20 MB or one that is not
/// a regular file is refused.
CoverImage loadCover(const QString& path);

/// A 1600×2560 JPEG: the title and the author in a CJK font on a plain background whose
/// colour comes from the title (the same title, the same cover). Needs the application that
/// makeBookApplication makes.
CoverImage drawCover(const QString& title, const QString& author);

/// The cover shrunk for a reader's list of books: a JPEG at most `height` pixels high; empty
/// when the image cannot be read (or the cover module loaded).
QByteArray coverThumbnail(const QByteArray& image, int height);

/// The application a program that writes books runs in: a GUI one without a display, for the
/// fonts the drawn cover needs. A plain one when the cover module cannot be loaded, so that
/// loadCover and drawCover then say why.
QCoreApplication* makeBookApplication(int& argc, char** argv);
