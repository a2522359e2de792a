#include "FakeTray.h"

#include <QPixmap>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

struct Tray {
    FakeTray* fake = new FakeTray;
    cTrayIcon icon{std::unique_ptr<TrayBackend>(fake)};
    Tray() { icon.Initialize(QIcon(), u"维洛玛"_s); }
};

} // namespace

class tst_cTrayIcon : public QObject {
    Q_OBJECT

private slots:
    void showAndHide_returnFalseWhenThereIsNothingToDo() {
        Tray t;
        QVERIFY(!t.icon.Visible());
        QVERIFY(!t.icon.HideIcon());
        QVERIFY(!t.icon.Update());
        QVERIFY(t.icon.ShowIcon());
        QVERIFY(t.icon.Visible());
        QVERIFY(!t.icon.ShowIcon());
        QCOMPARE(t.fake->added.size(), 1);
        QCOMPARE(t.fake->added.first().tip, u"维洛玛"_s);
        QVERIFY(t.icon.Update());
        QVERIFY(t.icon.HideIcon());
        QVERIFY(!t.icon.HideIcon());
        QCOMPARE(t.fake->removed, 1);

        t.icon.setVisible(true);
        QVERIFY(t.fake->shown);
        t.icon.setVisible(false);
        QVERIFY(!t.fake->shown);
    }

    void refusedRequest_raisesNIErrorAndKeepsState() {
        Tray t;
        QSignalSpy errors(&t.icon, &cTrayIcon::NIError);
        t.fake->refuse = true;
        QVERIFY(!t.icon.ShowIcon());
        QVERIFY(!t.icon.Visible());
        QCOMPARE(errors.size(), 1);
        QCOMPARE(errors.first().first().toInt(), cTrayIcon::ErrorRefused);

        t.fake->refuse = false;
        QVERIFY(t.icon.ShowIcon());
        t.fake->refuse = true;
        QVERIFY(!t.icon.HideIcon());
        QVERIFY(t.icon.Visible());
        QVERIFY(!t.icon.Update());
        QCOMPARE(errors.size(), 3);
        t.fake->refuse = false;
    }

    void noNotificationArea_isSaidAndShowingFails() {
        Tray t;
        t.fake->available = false;
        QSignalSpy errors(&t.icon, &cTrayIcon::NIError);
        QVERIFY(!t.icon.isAvailable());
        QVERIFY(!t.icon.ShowIcon());
        QCOMPARE(errors.value(0).value(0).toInt(), cTrayIcon::ErrorNoTray);
    }

    void texts_areCutToTheirFields() {
        Tray t;
        t.icon.setTipText(QString(200, u'提'));
        QCOMPARE(t.icon.TipText().size(), 127);
        t.icon.TrayBalloon(QString(300, u'文'), QString(100, u'题'), 2);
        QCOMPARE(t.icon.BalloonText().size(), 127);
        QCOMPARE(t.icon.BalloonTitle().size(), 63);
        QCOMPARE(t.icon.BalloonFlag(), 2);

        // A character outside the basic plane is never cut in half.
        const QString wide = QString(62, u'a') + QString::fromUcs4(U"𠀀");
        t.icon.TrayBalloon(u"x"_s, wide + u"b"_s, 1);
        QCOMPARE(t.icon.BalloonTitle(), QString(62, u'a'));
        t.icon.TrayBalloon(u"x"_s, QString(63, u'a'), 1);
        QCOMPARE(t.icon.BalloonTitle().size(), 63);
    }

    void balloonWhileHidden_isKeptAndShownByEveryShowIcon() {
        Tray t;
        t.icon.TrayBalloon(u"输出完成，共: 12 个文件!"_s, u"输出"_s, 1);
        QVERIFY(t.fake->modified.isEmpty());
        QVERIFY(t.icon.ShowIcon());
        QCOMPARE(t.fake->added.last().balloonText, u"输出完成，共: 12 个文件!"_s);
        QCOMPARE(t.fake->added.last().balloonTitle, u"输出"_s);

        t.icon.TrayBalloon(u"分析完毕"_s, u"分析"_s, 1);
        QCOMPARE(t.fake->modified.size(), 1);
        QCOMPARE(t.fake->modified.last().second, TrayFields(TrayField::Balloon));
        QCOMPARE(t.fake->modified.last().first.balloonText, u"分析完毕"_s);

        t.icon.HideIcon();
        t.icon.ShowIcon();
        QCOMPARE(t.fake->added.size(), 2);
        QCOMPARE(t.fake->added.last().balloonText, u"分析完毕"_s);
    }

    void propertyChanges_goOutOnlyWhenShownAndUpdateOnChange() {
        Tray t;
        t.icon.ShowIcon();
        t.icon.setTipText(u"新提示"_s);
        QCOMPARE(t.fake->modified.size(), 1);
        QCOMPARE(t.fake->modified.last().second, TrayFields(TrayField::Tip));
        t.icon.setIconHandle(QIcon());
        QCOMPARE(t.fake->modified.last().second, TrayFields(TrayField::Icon));

        t.icon.setUpdateOnChange(false);
        t.icon.setTipText(u"稍后"_s);
        QCOMPARE(t.fake->modified.size(), 2);
        QVERIFY(t.icon.Update());
        QCOMPARE(t.fake->modified.last().first.tip, u"稍后"_s);
        QCOMPARE(t.fake->modified.last().second, TrayField::Icon | TrayField::Tip | TrayField::Balloon);
    }

    void destroyedIcon_leavesTheArea() {
        bool removed = false;
        {
            auto* fake = new FakeTray;
            fake->removedOut = &removed;
            cTrayIcon icon{std::unique_ptr<TrayBackend>(fake)};
            icon.Initialize(QIcon(), u"t"_s);
            icon.ShowIcon();
        }
        QVERIFY(removed);
    }

    // StatusNotifier desktops report every left click as Trigger and never DoubleClick; an
    // XEmbed double click comes as Trigger, Trigger, DoubleClick. The window comes back once.
    void qtBackend_clickOrDoubleClick_restoresOnce_data() {
        QTest::addColumn<QList<int>>("reasons");
        QTest::addColumn<int>("restores");
        using R = QSystemTrayIcon;
        QTest::newRow("single click") << QList<int>{R::Trigger} << 1;
        QTest::newRow("double click as presses") << QList<int>{R::Trigger, R::Trigger, R::DoubleClick} << 1;
        QTest::newRow("double click alone") << QList<int>{R::DoubleClick} << 1;
        QTest::newRow("context menu") << QList<int>{R::Context} << 0;
    }

    void qtBackend_clickOrDoubleClick_restoresOnce() {
        QFETCH(QList<int>, reasons);
        QFETCH(int, restores);
        QtTrayBackend backend;
        auto* tray = backend.findChild<QSystemTrayIcon*>();
        QVERIFY(tray);
        tray->setIcon(QIcon(QPixmap(16, 16)));
        tray->show(); // as add() does where there is a notification area
        int restored = 0;
        connect(&backend, &TrayBackend::doubleClicked, this, [&] {
            ++restored;
            backend.remove(); // what the window does when it comes back
        });
        for (int reason : std::as_const(reasons))
            emit tray->activated(QSystemTrayIcon::ActivationReason(reason));
        QCoreApplication::processEvents();
        QCOMPARE(restored, restores);
    }

    void realNotificationArea_sayWhetherItExists() {
        cTrayIcon icon;
        icon.Initialize(QIcon(), u"t"_s);
        QCOMPARE(icon.isAvailable(), QSystemTrayIcon::isSystemTrayAvailable());
        if (!icon.isAvailable()) {
            QSignalSpy errors(&icon, &cTrayIcon::NIError);
            QVERIFY(!icon.ShowIcon());
            QCOMPARE(errors.value(0).value(0).toInt(), cTrayIcon::ErrorNoTray);
        }
    }
};

QTEST_MAIN(tst_cTrayIcon)
#include "tst_ctrayicon.moc"
