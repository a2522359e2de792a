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
