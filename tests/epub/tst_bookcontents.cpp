#include "epub/BookContents.h"
#include "epub/BookMeta.h"
#include "epub/BookModel.h"

#include <QTest>
#include <QXmlStreamReader>

// A book's contents as readers show them: nav.xhtml and toc.ncx from the pages a book holds.
class tst_BookContents : public QObject {
    Q_OBJECT

    // The outline from steps: "front LABEL", "volume V LABEL", "chapter C V LABEL VOLUMELABEL".
    static BookOutline outline(const QStringList& steps)
    {
        BookOutline o;
        for (const QString& step : steps) {
            const QStringList w = step.split(u' ');
            if (w[0] == u"front"_qs) {
                o.addFront(w[1]);
            } else if (w[0] == u"volume"_qs) {
                o.addVolume(w[1].toInt(), w[2]);
            } else {
                o.addChapter(w[1].toInt(), w[2].toInt(), w[3], w.value(4));
            }
        }
        return o;
    }

    // The contents list of nav.xhtml: "label>page" per entry, "[" and "]" around nested lists;
    // then the landmark of the text's start.
    static QString navEntries(const QString& nav, QString* bodymatter)
    {
        QXmlStreamReader xml(nav);
        QStringList tokens;
        int lists = 0;
        bool toc = false;
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.isStartElement() && xml.name() == u"nav"_qs) {
                toc = xml.attributes().value(u"id"_qs) == u"toc"_qs;
            } else if (toc && xml.isStartElement() && xml.name() == u"ol"_qs) {
                if (lists++ > 0) {
                    tokens << u"["_qs;
                }
            } else if (toc && xml.isEndElement() && xml.name() == u"ol"_qs) {
                if (--lists > 0) {
                    tokens << u"]"_qs;
                }
            } else if (toc && xml.isStartElement() && xml.name() == u"a"_qs) {
                const QString href = xml.attributes().value(u"href"_qs).toString();
                tokens << xml.readElementText() + u'>' + href;
            } else if (!toc && xml.isStartElement() && xml.name() == u"a"_qs
                       && xml.attributes().value(u"http://www.idpf.org/2007/ops"_qs, u"type"_qs) == u"bodymatter"_qs) {
                *bodymatter = xml.attributes().value(u"href"_qs).toString();
            }
        }
        return xml.hasError() ? xml.errorString() : tokens.join(u' ');
    }

    // The NCX's navPoints: "(order label>page" each, ")" at its end; and its depth.
    static QString ncxPoints(const QString& ncx, QString* depth)
    {
        QXmlStreamReader xml(ncx);
        QStringList tokens;
        QString order;
        QString label;
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.isStartElement() && xml.name() == u"meta"_qs
                && xml.attributes().value(u"name"_qs) == u"dtb:depth"_qs) {
                *depth = xml.attributes().value(u"content"_qs).toString();
            } else if (xml.isStartElement() && xml.name() == u"navPoint"_qs) {
                order = xml.attributes().value(u"playOrder"_qs).toString();
            } else if (xml.isStartElement() && xml.name() == u"text"_qs && !order.isEmpty()) {
                label = xml.readElementText();
            } else if (xml.isStartElement() && xml.name() == u"content"_qs) {
                tokens << u'(' + order + u' ' + label + u'>' + xml.attributes().value(u"src"_qs).toString();
            } else if (xml.isEndElement() && xml.name() == u"navPoint"_qs) {
                tokens << u")"_qs;
            }
        }
        return xml.hasError() ? xml.errorString() : tokens.join(u' ');
    }

private slots:
    void contents_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("nav");
        QTest::addColumn<QString>("bodymatter");
        QTest::addColumn<QString>("ncx");
        QTest::addColumn<QString>("depth");
        QTest::newRow("chapters") << QStringList{u"chapter 0 -1 甲"_qs, u"chapter 1 -1 乙"_qs}
                                  << u"甲>text/c00001.xhtml 乙>text/c00002.xhtml"_qs << u"text/c00001.xhtml"_qs
                                  << u"(1 甲>text/c00001.xhtml ) (2 乙>text/c00002.xhtml )"_qs << u"1"_qs;
        // Chapters under their volume; a volume without chapters is an entry of its own.
        QTest::newRow("front matter and volumes")
            << QStringList{u"front 前言"_qs, u"chapter 0 -1 楔子"_qs, u"volume 0 第一卷"_qs, u"chapter 1 0 第一章 第一卷"_qs,
                           u"chapter 2 0 第二章 第一卷"_qs, u"volume 1 第二卷"_qs}
            << u"前言>text/front.xhtml 楔子>text/c00001.xhtml 第一卷>text/v001.xhtml [ 第一章>text/c00002.xhtml "
               u"第二章>text/c00003.xhtml ] 第二卷>text/v002.xhtml"_qs
            << u"text/c00001.xhtml"_qs
            << u"(1 前言>text/front.xhtml ) (2 楔子>text/c00001.xhtml ) (3 第一卷>text/v001.xhtml (4 第一章>text/c00002.xhtml ) "
               u"(5 第二章>text/c00003.xhtml ) ) (6 第二卷>text/v002.xhtml )"_qs
            << u"2"_qs;
        // A later book of a set: the volume begun before leads to its first chapter here, and
        // both entries share that page's place in the reading order.
        QTest::newRow("volume begun in an earlier book")
            << QStringList{u"chapter 5 0 第六章 第一卷"_qs, u"chapter 6 0 第七章 第一卷"_qs, u"volume 1 第二卷"_qs,
                           u"chapter 7 1 第八章 第二卷"_qs}
            << u"第一卷>text/c00006.xhtml [ 第六章>text/c00006.xhtml 第七章>text/c00007.xhtml ] 第二卷>text/v002.xhtml "
               u"[ 第八章>text/c00008.xhtml ]"_qs
            << u"text/c00006.xhtml"_qs
            << u"(1 第一卷>text/c00006.xhtml (1 第六章>text/c00006.xhtml ) (2 第七章>text/c00007.xhtml ) ) "
               u"(3 第二卷>text/v002.xhtml (4 第八章>text/c00008.xhtml ) )"_qs
            << u"2"_qs;
        QTest::newRow("no chapter") << QStringList{u"front 简介"_qs, u"volume 0 卷"_qs}
                                    << u"简介>text/front.xhtml 卷>text/v001.xhtml"_qs << QString()
                                    << u"(1 简介>text/front.xhtml ) (2 卷>text/v001.xhtml )"_qs << u"1"_qs;
    }

    void contents()
    {
        QFETCH(QStringList, steps);
        const BookOutline o = outline(steps);
        BookMeta meta;
        meta.title = u"书 & <名>"_qs;
        QString bodymatter;
        QTEST(navEntries(navDocument(o, meta), &bodymatter), "nav");
        QTEST(bodymatter, "bodymatter");
        QString depth;
        QTEST(ncxPoints(ncxDocument(o, meta, u"urn:uuid:0"_qs), &depth), "ncx");
        QTEST(depth, "depth");
    }

    // Every chapter of a volume is listed without the volume's name in front.
    void chapterHeadings_withoutTheirVolume_data()
    {
        QTest::addColumn<QString>("heading");
        QTest::addColumn<QString>("volume");
        QTest::addColumn<QString>("shown");
        const QString v = u"第一卷 风起"_qs;
        QTest::newRow("上卷") << u"上卷 第二回 张飞怒鞭督邮"_qs << u"上卷"_qs << u"第二回 张飞怒鞭督邮"_qs;
        QTest::newRow("the volume's word") << u"第一卷 第二章 夜雨"_qs << v << u"第二章 夜雨"_qs;
        QTest::newRow("the whole heading") << u"第一卷 风起　第三章 夜雨"_qs << v << u"第三章 夜雨"_qs;
        QTest::newRow("word, then 第 at once") << u"第一卷第四章 夜雨"_qs << v << u"第四章 夜雨"_qs;
        QTest::newRow("word, colon") << u"第一卷：第五章"_qs << v << u"第五章"_qs;
        QTest::newRow("no separator: another word") << u"第一卷书 第二章"_qs << v << u"第一卷书 第二章"_qs;
        QTest::newRow("nothing else on the line") << u"第一卷　"_qs << v << u"第一卷　"_qs;
        QTest::newRow("another volume's name") << u"第二卷 第六章"_qs << v << u"第二卷 第六章"_qs;
        QTest::newRow("the name further on") << u"第六章 第一卷"_qs << v << u"第六章 第一卷"_qs;
    }

    void chapterHeadings_withoutTheirVolume()
    {
        QFETCH(QString, heading);
        QFETCH(QString, volume);
        const QString word = volume.section(u' ', 0, 0);
        QTEST(withoutVolumePrefix(heading, volume, word), "shown");
    }
};

QTEST_GUILESS_MAIN(tst_BookContents)
#include "tst_bookcontents.moc"
