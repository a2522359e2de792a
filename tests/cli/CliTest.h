#pragma once

#include "core/GbkCodec.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

/// What the command line's tests share: the real vellomar-cli binary run as scripts run it,
/// with settings files and GBK novels written in a temporary folder.
class CliTest : public QObject {
protected:
    QTemporaryDir m_dir;

    struct Result {
        int code = -1;
        QString out, err;
    };

    static Result cli(const QStringList& args, const QByteArray& input = QByteArray())
    {
        QProcess p;
        p.setProgram(QStringLiteral(VELLOMAR_CLI));
        p.setArguments(args);
        p.start();
        p.write(input);
        p.closeWriteChannel();
        if (!p.waitForFinished(60000)) {
            p.kill();
        }
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()),
                QString::fromUtf8(p.readAllStandardError())};
    }

    QString config(const QString& body)
    {
        const QString path = m_dir.filePath(QStringLiteral("config-%1.ini").arg(qHash(body)));
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(GbkCodec::instance().encode(body));
        return path;
    }

    QString novel(const QString& name, const QStringList& lines)
    {
        QByteArray b;
        for (const QString& l : lines) {
            b += GbkCodec::instance().encode(l) + "\r\n";
        }
        const QString path = m_dir.filePath(name);
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(b);
        return path;
    }

    // A novel of `chapters` short chapters, written fast: enough for a split to take a while.
    QString bigNovel(const QString& name, int chapters)
    {
        const QString path = m_dir.filePath(name);
        QFile f(path);
        if (f.exists()) {
            return path;
        }
        f.open(QIODevice::WriteOnly);
        const QByteArray body = GbkCodec::instance().encode(u"　　雾从海面上漫过来，码头上没有人，她把信折好放进口袋。\r\n"_qs).repeated(3);
        for (int i = 1; i <= chapters; ++i) {
            f.write(GbkCodec::instance().encode(u"第%1章 雾港\r\n"_qs.arg(i)) + body);
        }
        return path;
    }

    // 500 chapters of four lines of 2,000 characters.
    QString longLineNovel()
    {
        const QString path = m_dir.filePath(u"长行.txt"_qs);
        QFile f(path);
        if (f.exists()) {
            return path;
        }
        f.open(QIODevice::WriteOnly);
        const QString chars = u"雾从海面上漫过来码头没有人她把信折好放进口袋，。"_qs;
        QRandomGenerator rng(7);
        for (int c = 1; c <= 500; ++c) {
            QString text = u"第%1章 长行\r\n"_qs.arg(c);
            for (int l = 0; l < 4; ++l) {
                for (int k = 0; k < 2000; ++k) {
                    text += chars[rng.bounded(chars.size())];
                }
                text += u"\r\n"_qs;
            }
            f.write(GbkCodec::instance().encode(text));
        }
        return path;
    }

    static QStringList partFiles(const QString& root)
    {
        QStringList found;
        for (QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();) {
            const QString p = it.next();
            if (QFileInfo(p).fileName().startsWith(u".vellomar-"_qs)) {
                found << p;
            }
        }
        return found;
    }

    static int fileCount(const QString& root)
    {
        int n = 0;
        for (QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories); it.hasNext(); it.next()) {
            ++n;
        }
        return n;
    }

    QString huiConfig()
    {
        return config(u"[text]\r\nTitleText=第([0-9○〇一二三四五六七八九十百千万零两]+)[章回节][\\s\\t　]*(.*)\r\n"_qs);
    }
};
