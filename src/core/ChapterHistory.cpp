#include "core/ChapterHistory.h"

void ChapterHistory::beginStep() {
    m_steps.append(Step());
}

void ChapterHistory::addToggle(qint32 record) {
    if (m_steps.isEmpty())
        beginStep();
    m_steps.last().toggled.append(record);
    m_canUndo = true;
}

void ChapterHistory::addEdit(const Edit& before) {
    beginStep();
    m_steps.last().edits.append(before);
    m_canUndo = true;
}

void ChapterHistory::addInsert(qint32 record) {
    beginStep();
    m_steps.last().added = record;
    m_canUndo = true;
}

void ChapterHistory::addRemoval(qint32 record, const ChapterRecord& removed, qint32 tombstone) {
    beginStep();
    Step& step = m_steps.last();
    step.removed = removed;
    step.removedAt = record;
    step.tombstone = tombstone;
    m_canUndo = true;
}

template <typename F> void ChapterHistory::forEachRecord(F f) {
    for (Step& step : m_steps) {
        for (qint32& r : step.toggled)
            f(r);
        for (Edit& e : step.edits)
            f(e.record);
        if (step.added != -1)
            f(step.added);
        if (step.removedAt != -1)
            f(step.removedAt);
    }
}

void ChapterHistory::recordInserted(qint32 record, qint32 tombstone) {
    forEachRecord([&](qint32& r) {
        if (r >= record)
            ++r;
        else if (tombstone != 0 && r == tombstone)
            r = record;
    });
}

qint32 ChapterHistory::recordRemoved(qint32 record) {
    // Negative and below -1, so that no record index and no "none" is ever taken for it.
    const qint32 tombstone = m_nextTombstone--;
    forEachRecord([&](qint32& r) {
        if (r == record)
            r = tombstone;
        else if (r > record)
            --r;
    });
    return tombstone;
}

ChapterHistory::Step ChapterHistory::takeNewest() {
    if (m_steps.isEmpty())
        return Step();
    Step step = m_steps.takeLast();
    if (m_steps.isEmpty())
        m_canUndo = false;
    return step;
}

void ChapterHistory::clear() {
    m_steps.clear();
    m_canUndo = false;
}
