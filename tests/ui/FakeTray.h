#pragma once

// A notification area for the tests: there is none off screen.

#include "cTrayIcon.h"

#include <QList>
#include <QPair>

// Records what reaches the notification area; `refuse` makes every request fail.
class FakeTray : public TrayBackend {
public:
    bool available = true;
    bool refuse = false;
    bool shown = false;
    QList<TrayData> added;
    QList<QPair<TrayData, TrayFields>> modified;
    int removed = 0;
    bool* removedOut = nullptr; // outlives the fake, which dies with its icon

    bool isAvailable() const override { return available; }
    bool add(const TrayData& data) override {
        if (refuse || !available)
            return false;
        added << data;
        shown = true;
        return true;
    }
    bool remove() override {
        if (refuse)
            return false;
        ++removed;
        shown = false;
        if (removedOut)
            *removedOut = true;
        return true;
    }
    bool modify(const TrayData& data, TrayFields fields) override {
        if (refuse)
            return false;
        modified << qMakePair(data, fields);
        return true;
    }
    qint32 lastError() const override { return available ? cTrayIcon::ErrorRefused : cTrayIcon::ErrorNoTray; }
};
