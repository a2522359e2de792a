#pragma once

#include "FakeHost.h"

#include "config/Settings.h"
#include "core/AnalysisPass.h"
#include "core/Document.h"
#include "core/GbkCodec.h"
#include "output/OutputPass.h"

#include <QDirIterator>
#include <QMap>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using Tree = QMap<QString, QByteArray>;

/// What the text pass's tests share: novels written in a fresh temporary folder per test, a
/// run of the pass over one, and the tree of files it wrote.
class OutputPassTest : public QObject {
protected:
    std::unique_ptr<QTemporaryDir> m_dir;

    static QByteArray gbk(const QString& s) { return GbkCodec::instance().encode(s); }

    // Lines joined with CR LF, each line GBK-encoded.
    static QByteArray text(const QStringList& lines)
    {
        QByteArray b;
        for (const QString& l : lines) {
            b += gbk(l) + "\r\n";
        }
        return b;
    }

    QString writeNovel(const QByteArray& bytes, const QString& name = QStringLiteral(u"小说.txt"))
    {
        const QString path = m_dir->filePath(name);
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        return path;
    }

    static Settings plain()
    {
        Settings s = Settings::defaults();
        s.ConvertToSimple = false;
        s.DelSpaceLine = false;
        s.SetInvalidTitle = false;
        s.TextFilters.clear();
        return s;
    }

    // Every file below `root`, by relative path, with its bytes.
    static Tree tree(const QString& root)
    {
        Tree t;
        QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString p = it.next();
            QFile f(p);
            f.open(QIODevice::ReadOnly);
            t.insert(QDir(root).relativeFilePath(p), f.readAll());
        }
        return t;
    }

    struct Run {
        Document doc;
        FakeHost host{&doc};
        OutputResult result;
        QString root;
    };

    // Opens and analyses the novel, applies `check` (IDs to ignore), then writes it out.
    void run(Run& r, const QString& novel, const Settings& s, const QList<int>& check = {})
    {
        QVERIFY(r.doc.OpenTextFile(novel, nullptr));
        QVERIFY(RunAnalysis(r.doc, s, r.host));
        for (int row = 0; row < r.doc.model().rowCount(); ++row) {
            if (check.contains(r.doc.model().tag(row) + 1)) {
                r.doc.model().setChecked(row, true);
            }
        }
        r.result = RunOutput(r.doc, s, r.host);
        r.root = OutputRoot(novel, s.OutPath);
    }

    // The fixture novel with volumes (GBK), and its lines.
    QString volumeNovel(QStringList* lines)
    {
        QFile in(QStringLiteral(VELLOMAR_TEST_DATA "/volumes.txt"));
        if (!in.open(QIODevice::ReadOnly)) {
            return QString();
        }
        *lines = QString::fromUtf8(in.readAll()).split(u'\n');
        lines->removeLast(); // after the last line end
        return writeNovel(text(*lines), u"星河.txt"_qs);
    }

    void newFolder() { m_dir = std::make_unique<QTemporaryDir>(); }
};
