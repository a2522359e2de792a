#include "TextColumn.h"

#include <algorithm>

void TextColumn::resize(qsizetype n)
{
    if (n < size()) {
        m_start.resize(n);
        m_length.resize(n);
        qsizetype end = 0;
        for (qsizetype i = 0; i < n; ++i) {
            end = std::max(end, m_start.at(i) + qsizetype(m_length.at(i)));
        }
        m_pool.truncate(end);
        return;
    }
    m_start.resize(n, m_pool.size());
    m_length.resize(n, 0);
}

void TextColumn::set(qsizetype i, QStringView text)
{
    qsizetype start = m_start.at(i);
    if (text.size() > qsizetype(m_length.at(i)) && start + qsizetype(m_length.at(i)) != m_pool.size()) {
        start = m_pool.size(); // no room where it was: the old text stays unused
    }
    if (start + text.size() > m_pool.size()) {
        m_pool.resize(start + text.size());
    }
    std::copy(text.begin(), text.end(), m_pool.begin() + start);
    m_start[i] = start;
    m_length[i] = quint32(text.size());
}

void TextColumn::insert(qsizetype i, QStringView text)
{
    m_start.insert(i, m_pool.size());
    m_length.insert(i, 0);
    set(i, text);
}

void TextColumn::remove(qsizetype i)
{
    // Its characters stay in the pool unused, as an overwritten text's do.
    m_start.remove(i);
    m_length.remove(i);
}

void TextColumn::squeeze()
{
    m_pool.squeeze();
    m_start.squeeze();
    m_length.squeeze();
}
